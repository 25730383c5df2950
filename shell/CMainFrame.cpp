#include "shell/CMainFrame.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QTabBar>
#include <QStatusBar>
#include <QTimer>

#include "Archive/ui/CArchiveCommands.h"
#include "Archive/ui/CAuditTrailDlg.h"
#include "audio/CPlaybackManager.h"
#include "audio/ui/CPlayerBar.h"
#include "audio/ui/CPlayerForm.h"
#include "core/CSettings.h"
#include "core/SingletonRanks.h"
#include "organiser/CCallHistory.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/OpenedFiles.h"
#include "organiser/ui/CAccessPanel.h"
#include "organiser/ui/CCreateRecordingListDlg.h"
#include "organiser/ui/CDecryptionDlg.h"
#include "organiser/ui/CHistoryDlg.h"
#include "organiser/ui/CHotListDlg.h"
#include "organiser/ui/CSearchFlow.h"
#include "organiser/ui/CZelVelomarView.h"
#include "audio/qt/QtWaveOut.h"
#include "recording/CKlFileListEntry.h"
#include "shell/CAboutDlg.h"
#include "shell/CListAreaAccessible.h"
#include "toolkit/ui/CIconSet.h"
#include "toolkit/ui/ManualPath.h"
#include "toolkit/ui/Notifications.h"
#include "toolkit/ui/StringTable.h"

using namespace zelgui;

namespace {

QSettings Profile() { return QSettings(Str(kStrCompanyName), Str(kStrAppTitle)); }

}  // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent), mdi_(new QMdiArea(this)), accessPanel_(new CAccessPanel(this)),
      playerBar_(new CPlayerBar(this)) {
  setObjectName(QStringLiteral("MainFrame"));
  setWindowTitle(Str(kStrAppTitle));
  setAccessibleName(Str(kStrAppTitle));
  setWindowIcon(CIconSet::Icon(QStringLiteral("play")));
  // Before the area is first asked for: screen readers then see its tab bar.
  static const bool areaAccessible = [] {
    QAccessible::installFactory(&CListAreaAccessible::Factory);
    return true;
  }();
  Q_UNUSED(areaAccessible);
  mdi_->setAccessibleName(tr("Recording lists"));
  // Tiling makes room for the lists' smallest sizes: with scroll bars the area
  // scrolls; without them Qt widens the whole main window, past the screen.
  mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdi_->setDocumentMode(true);
  mdi_->setTabsClosable(true);
  mdi_->setTabsMovable(true);
  setCentralWidget(mdi_);

  accessPanel_->SetHost(this);
  addDockWidget(Qt::LeftDockWidgetArea, accessPanel_);
  playerBar_->Form()->SetHost(this);
  playerBar_->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
  addDockWidget(Qt::BottomDockWidgetArea, playerBar_);
  statusBar()->showMessage(tr("Ready"));

  search_ = std::make_unique<CSearchFlow>(this, this);
  connect(search_.get(), &CSearchFlow::RunningChanged, this, &CMainFrame::UpdateCommands);
  // Loads the schedule and arms the scheduled-archive timer.
  archive_ = new CArchiveCommands(this);
  BuildCommands();
  BuildMenus();
  QSettings profile = Profile();
  SetTabbed(profile.value(QStringLiteral("Settings/TabbedWindows"), true).toBool());
  restoreState(profile.value(QStringLiteral("Settings/WindowState")).toByteArray());
  ShowMenuSet(false);
  UpdateCommands();

  connect(mdi_, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &CMainFrame::UpdateCommands);
  connect(accessPanel_, &QDockWidget::visibilityChanged, this, &CMainFrame::UpdateCommands);
  connect(playerBar_, &QDockWidget::visibilityChanged, this, &CMainFrame::UpdateCommands);

  SetNotificationTarget(this);
  waveReceiver_ = new QtWaveNotifyReceiver({}, this);
  Singleton<CPlaybackManager>::Instance()->SetFrameWindow(waveReceiver_);
}

CMainFrame::~CMainFrame() {
  // The lists go with the MDI area after this destructor: no more signals to here.
  closing_ = true;
  mdi_->disconnect(this);
  accessPanel_->disconnect(this);
  playerBar_->disconnect(this);
  QApplication::clipboard()->disconnect(this);
  for (QMdiSubWindow* window : mdi_->subWindowList()) window->disconnect(this);
  search_.reset();
  auto& playback = *Singleton<CPlaybackManager>::Instance();
  playback.Close();
  playback.SetFrameWindow(nullptr);
  if (NotificationTarget() == this) SetNotificationTarget(nullptr);
}

// --- Commands and menus ---

QAction* CMainFrame::AddCommand(int id, const QString& text, const QKeySequence& key) {
  auto* action = new QAction(text, this);
  action->setData(id);
  action->setObjectName(QStringLiteral("cmd%1").arg(id));
  if (!key.isEmpty()) {
    action->setShortcut(key);
    action->setShortcutContext(Qt::ApplicationShortcut);
  }
  addAction(action);  // shortcuts work with either menu set
  commands_[id] = action;
  return action;
}

QAction* CMainFrame::Command(int id) const {
  auto it = commands_.find(id);
  return it == commands_.end() ? nullptr : it->second;
}

void CMainFrame::BuildCommands() {
  connect(AddCommand(ID_FILE_NEW, tr("&New"), QKeySequence(Qt::CTRL | Qt::Key_N)), &QAction::triggered, this,
          &CMainFrame::OnFileNew);
  connect(AddCommand(ID_FILE_OPEN, tr("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O)), &QAction::triggered,
          this, &CMainFrame::OnFileOpen);
  connect(AddCommand(ID_FILE_SAVE, tr("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S)), &QAction::triggered, this,
          [this] {
            if (CZelVelomarView* view = ActiveView(); view && view->Save())
              AddRecentFile(QString::fromStdString(view->Document().PathName()));
          });
  connect(AddCommand(ID_FILE_SAVE_AS, tr("Save &As...")), &QAction::triggered, this, [this] {
    if (CZelVelomarView* view = ActiveView(); view && view->SaveAs())
      AddRecentFile(QString::fromStdString(view->Document().PathName()));
  });
  connect(AddCommand(ID_CREATE, tr("&Create...")), &QAction::triggered, this, [this] { OnCreate(); });
  connect(AddCommand(ID_APPEND, tr("&Append...")), &QAction::triggered, this, [this] {
    if (CZelVelomarView* view = ActiveView()) view->Append();
  });
  connect(AddCommand(ID_EDIT_COPY, tr("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C)), &QAction::triggered, this,
          [this] {
            if (CZelVelomarView* view = ActiveView()) view->Copy();
          });
  connect(AddCommand(ID_EDIT_PASTE, tr("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V)), &QAction::triggered,
          this, [this] {
            if (CZelVelomarView* view = ActiveView()) view->Paste();
          });
  // Copy and Paste are the list's: inside an edit field the field's own keys apply.
  Command(ID_EDIT_COPY)->setShortcutContext(Qt::WindowShortcut);
  Command(ID_EDIT_PASTE)->setShortcutContext(Qt::WindowShortcut);
  connect(AddCommand(ID_REMOVE, tr("&Remove")), &QAction::triggered, this, [this] {
    if (CZelVelomarView* view = ActiveView()) view->Remove();
  });
  connect(AddCommand(ID_TRIM, tr("&Trim")), &QAction::triggered, this, [this] {
    if (CZelVelomarView* view = ActiveView()) view->Trim();
  });
  connect(AddCommand(ID_SHOW_HISTORY, tr("Show Play History"), QKeySequence(Qt::CTRL | Qt::Key_H)),
          &QAction::triggered, this, &CMainFrame::OnShowHistory);
  QAction* onStartup = AddCommand(ID_HISTORY_ON_STARTUP, tr("Play History on Start-up"));
  onStartup->setCheckable(true);
  onStartup->setChecked(Singleton<CSettings>::Instance()->GetShowHistory() != 0);
  connect(onStartup, &QAction::toggled, this,
          [](bool on) { Singleton<CSettings>::Instance()->SetShowHistory(on ? 1 : 0); });
  QAction* access = AddCommand(ID_VIEW_ACCESS_PANEL, tr("&Access Panel"));
  access->setCheckable(true);
  connect(access, &QAction::triggered, this, [this](bool on) { accessPanel_->setVisible(on); });
  QAction* player = AddCommand(ID_VIEW_PLAYER_PANEL, tr("&Player Panel"));
  player->setCheckable(true);
  connect(player, &QAction::triggered, this, [this](bool on) {
    if (!on) Player()->Stop();
    playerBar_->setVisible(on);
  });
  connect(AddCommand(ID_ENCRYPTION, tr("&Encryption")), &QAction::triggered, this, &CMainFrame::OnEncryption);
  connect(AddCommand(ID_AUDIT_TRAIL, tr("&Audit Trail...")), &QAction::triggered, this, &CMainFrame::OnAuditTrail);
  connect(AddCommand(ID_ARCHIVE_SETTINGS, tr("&Settings...")), &QAction::triggered, archive_,
          &CArchiveCommands::ShowSettings);
  connect(AddCommand(ID_ARCHIVE_LOGS, tr("View &Logs...")), &QAction::triggered, archive_, &CArchiveCommands::ShowLogs);
  connect(AddCommand(ID_ARCHIVE_RUN_NOW, tr("&Run Scheduled Now...")), &QAction::triggered, archive_,
          &CArchiveCommands::RunScheduledNow);
  wizardAction_ = new QAction(tr("Archive &Wizard..."), this);
  wizardAction_->setObjectName(QStringLiteral("ArchiveWizard"));
  connect(wizardAction_, &QAction::triggered, this, [this] { ArchiveList(ActiveView()); });
  connect(AddCommand(ID_HELP_FINDER, tr("Setup and Call Management "), QKeySequence(Qt::Key_F1)),
          &QAction::triggered, this, &CMainFrame::OnHelpFinder);
  connect(AddCommand(ID_HELP_ARCHIVER, tr("Diza Didurido")), &QAction::triggered, this,
          &CMainFrame::OnHelpArchiver);
  connect(AddCommand(ID_APP_ABOUT, tr("&About")), &QAction::triggered, this, [this] {
    CAboutDlg dialog(this);
    dialog.exec();
  });
  QAction* exitAction = AddCommand(ID_APP_EXIT, tr("E&xit"));
  exitAction->setMenuRole(QAction::QuitRole);
  connect(exitAction, &QAction::triggered, this, &QWidget::close);

  for (int i = 0; i < kRecentFiles; ++i) {
    auto* action = new QAction(this);
    action->setData(ID_FILE_MRU_FIRST + i);
    action->setObjectName(QStringLiteral("cmd%1").arg(ID_FILE_MRU_FIRST + i));
    connect(action, &QAction::triggered, this, [this, action] { OpenListFile(action->toolTip()); });
    recentActions_.push_back(action);
  }
  tabbedAction_ = new QAction(tr("&Tabbed Windows"), this);
  tabbedAction_->setObjectName(QStringLiteral("TabbedWindows"));
  tabbedAction_->setCheckable(true);
  connect(tabbedAction_, &QAction::triggered, this, &CMainFrame::SetTabbed);
}

void CMainFrame::BuildMenus() {
  auto buildSet = [this](bool withList, std::vector<QMenu*>& menus, QMenu*& recent) {
    auto* file = new QMenu(tr("&File"), this);
    file->addAction(Command(ID_FILE_NEW));
    file->addAction(Command(ID_FILE_OPEN));
    if (withList) {
      file->addAction(Command(ID_FILE_SAVE));
      file->addAction(Command(ID_FILE_SAVE_AS));
    }
    file->addSeparator();
    file->addAction(Command(ID_CREATE));
    if (withList) file->addAction(Command(ID_APPEND));
    file->addSeparator();
    recent = file->addMenu(tr("Recent &Files"));
    file->addSeparator();
    file->addAction(Command(ID_APP_EXIT));
    menus.push_back(file);
    if (withList) {
      auto* edit = new QMenu(tr("&Edit"), this);
      edit->addAction(Command(ID_EDIT_COPY));
      edit->addAction(Command(ID_EDIT_PASTE));
      edit->addSeparator();
      edit->addAction(Command(ID_REMOVE));
      edit->addAction(Command(ID_TRIM));
      menus.push_back(edit);
    }
    auto* view = new QMenu(tr("&View"), this);
    view->addAction(Command(ID_VIEW_ACCESS_PANEL));
    view->addAction(Command(ID_VIEW_PLAYER_PANEL));
    view->addSeparator();
    view->addAction(Command(ID_SHOW_HISTORY));
    view->addAction(Command(ID_HISTORY_ON_STARTUP));
    menus.push_back(view);
    auto* archive = new QMenu(tr("&Diza Didurido"), this);
    archive->addAction(Command(ID_ARCHIVE_SETTINGS));
    archive->addAction(Command(ID_ARCHIVE_LOGS));
    archive->addAction(Command(ID_ARCHIVE_RUN_NOW));
    archive->addSeparator();
    archive->addAction(wizardAction_);
    menus.push_back(archive);
    auto* tools = new QMenu(tr("&Tools"), this);
    tools->addAction(Command(ID_ENCRYPTION));
    tools->addAction(Command(ID_AUDIT_TRAIL));
    menus.push_back(tools);
    if (withList) {
      auto* window = new QMenu(tr("&Window"), this);
      window->addAction(tabbedAction_);
      window->addSeparator();
      window->addAction(tr("&Cascade"), mdi_, &QMdiArea::cascadeSubWindows);
      window->addAction(tr("&Tile"), mdi_, &QMdiArea::tileSubWindows);
      window->addSeparator();
      window->addAction(tr("Ne&xt Window"), QKeySequence(Qt::CTRL | Qt::Key_Tab), mdi_,
                        &QMdiArea::activateNextSubWindow);
      // A list window closes with the desktop's Close keys (Ctrl+W); Ctrl+F4, the
      // other usual key, is added where the desktop does not bind it already (two
      // bindings of one key would cancel each other).
      const QKeySequence ctrlF4(Qt::CTRL | Qt::Key_F4);
      if (!QKeySequence::keyBindings(QKeySequence::Close).contains(ctrlF4))
        window->addAction(tr("Cl&ose"), ctrlF4, mdi_, &QMdiArea::closeActiveSubWindow);
      menus.push_back(window);
    }
    auto* help = new QMenu(tr("&Help"), this);
    help->addAction(Command(ID_HELP_FINDER));
    help->addAction(Command(ID_HELP_ARCHIVER));
    help->addSeparator();
    help->addAction(Command(ID_APP_ABOUT));
    menus.push_back(help);
    for (QMenu* menu : menus) connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
  };
  buildSet(false, plainMenus_, recentMenuPlain_);
  buildSet(true, listMenus_, recentMenuList_);
  UpdateRecentMenu();
}

void CMainFrame::ShowMenuSet(bool withList) {
  if (withList == listMenusShown_ && !menuBar()->actions().isEmpty()) return;
  listMenusShown_ = withList;
  menuBar()->clear();
  for (QMenu* menu : withList ? listMenus_ : plainMenus_) menuBar()->addMenu(menu);
}

void CMainFrame::UpdateCommands() {
  CZelVelomarView* view = ActiveView();
  const bool selection = view && view->HasSelection();
  Command(ID_FILE_SAVE)->setEnabled(view != nullptr);
  Command(ID_FILE_SAVE_AS)->setEnabled(view != nullptr);
  Command(ID_APPEND)->setEnabled(view != nullptr);
  Command(ID_EDIT_COPY)->setEnabled(selection);
  Command(ID_EDIT_PASTE)->setEnabled(view && view->CanPaste());
  Command(ID_REMOVE)->setEnabled(selection);
  Command(ID_TRIM)->setEnabled(selection);
  Command(ID_VIEW_ACCESS_PANEL)->setChecked(!accessPanel_->isHidden());
  Command(ID_VIEW_PLAYER_PANEL)->setChecked(!playerBar_->isHidden());
  const bool idle = !SearchRunning();
  Command(ID_CREATE)->setEnabled(idle);
  wizardAction_->setEnabled(view && view->Document().EntryCount() > 0);
  tabbedAction_->setChecked(mdi_->viewMode() == QMdiArea::TabbedView);
}

void CMainFrame::SetTabbed(bool tabbed) {
  mdi_->setViewMode(tabbed ? QMdiArea::TabbedView : QMdiArea::SubWindowView);
  // The area makes a new tab bar each time it turns tabbed.
  if (auto* bar = mdi_->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly))
    bar->setAccessibleName(tr("List windows"));
  Profile().setValue(QStringLiteral("Settings/TabbedWindows"), tabbed);
  if (tabbedAction_) tabbedAction_->setChecked(tabbed);
}

QStringList CMainFrame::RecentFiles() const {
  QSettings profile = Profile();
  QStringList files;
  for (int i = 1; i <= kRecentFiles; ++i) {
    const QString file = profile.value(QStringLiteral("Recent File List/File%1").arg(i)).toString();
    if (!file.isEmpty()) files.push_back(file);
  }
  return files;
}

void CMainFrame::AddRecentFile(const QString& path) {
  if (path.isEmpty()) return;
  QStringList files = RecentFiles();
  const QString full = QFileInfo(path).absoluteFilePath();
  files.removeAll(full);
  files.prepend(full);
  QSettings profile = Profile();
  for (int i = 0; i < kRecentFiles; ++i) {
    const QString key = QStringLiteral("Recent File List/File%1").arg(i + 1);
    if (i < files.size()) {
      profile.setValue(key, files[i]);
    } else {
      profile.remove(key);
    }
  }
  UpdateRecentMenu();
}

void CMainFrame::UpdateRecentMenu() {
  const QStringList files = RecentFiles();
  for (QMenu* menu : {recentMenuPlain_, recentMenuList_}) {
    menu->clear();
    for (int i = 0; i < files.size() && i < kRecentFiles; ++i) menu->addAction(recentActions_[i]);
    menu->setEnabled(!files.isEmpty());
  }
  for (int i = 0; i < kRecentFiles; ++i) {
    if (i < files.size()) {
      QString shown = files[i];
      shown.replace(u'&', QStringLiteral("&&"));
      recentActions_[i]->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
      recentActions_[i]->setToolTip(files[i]);
    }
  }
}

// --- List windows ---

CZelVelomarView* CMainFrame::ViewOf(QMdiSubWindow* window) const {
  return window ? qobject_cast<CZelVelomarView*>(window->widget()) : nullptr;
}

CZelVelomarView* CMainFrame::ActiveView() const { return ViewOf(mdi_->activeSubWindow()); }

std::vector<CZelVelomarView*> CMainFrame::Views() const {
  std::vector<CZelVelomarView*> views;
  for (QMdiSubWindow* window : mdi_->subWindowList()) {
    if (CZelVelomarView* view = ViewOf(window)) views.push_back(view);
  }
  return views;
}

CZelVelomarView* CMainFrame::OpenListWindow(std::unique_ptr<CZelVelomarDoc> document) {
  auto* view = new CZelVelomarView(std::move(document), this);
  QMdiSubWindow* window = mdi_->addSubWindow(view);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowIcon(CIconSet::Icon(QStringLiteral("list")));
  window->installEventFilter(this);
  connect(view, &CZelVelomarView::titleChanged, window, [this, window](const QString& title) {
    window->setWindowTitle(title);
    UpdateTitle();
  });
  connect(view, &CZelVelomarView::selectionChanged, this, &CMainFrame::UpdateCommands);
  connect(window, &QObject::destroyed, this, [this] {
    // The list may be gone now; the menus follow on the next turn of the loop.
    QTimer::singleShot(0, this, [this] {
      ShowMenuSet(!mdi_->subWindowList().isEmpty());
      UpdateCommands();
    });
  });
  view->RefreshLabels();
  ShowMenuSet(true);
  window->showMaximized();
  mdi_->setActiveSubWindow(window);
  view->setFocus();  // the keys act on the new list at once
  UpdateCommands();
  return view;
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* window) {
  ShowMenuSet(!mdi_->subWindowList().isEmpty());
  if (CZelVelomarView* view = ViewOf(window)) view->OnActivated();
  UpdateTitle();
  UpdateCommands();
}

// The active list's title and the product name, as the task bar shows it. The
// product name comes last: the desktop's window title appends the application's
// name to any title that does not already end with it.
void CMainFrame::UpdateTitle() {
  QMdiSubWindow* window = mdi_->activeSubWindow();
  const QString list = window ? window->windowTitle() : QString();
  const QString title = list.isEmpty() ? Str(kStrAppTitle) : list + QStringLiteral(" - ") + Str(kStrAppTitle);
  if (windowTitle() != title) setWindowTitle(title);
}

void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // A list maximised in windowed mode writes "<title> - [<list>]" into this window's
  // title, which the desktop would then extend by the product name once more.
  if (event->type() == QEvent::WindowTitleChange) UpdateTitle();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && !closing_) {
    if (auto* window = qobject_cast<QMdiSubWindow*>(watched)) {
      if (CZelVelomarView* view = ViewOf(window); view && !view->QueryClose()) {
        event->ignore();
        return true;
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::OnFileNew() {
  auto document = std::make_unique<CZelVelomarDoc>();
  document->SetListKind(CZelVelomarDoc::kCustomList, std::string());
  OpenListWindow(std::move(document));
}

void CMainFrame::OnFileOpen() {
  const QString path = QFileDialog::getOpenFileName(this, tr("Open"), QString(),
                                                    tr("ZEL Recording List Files (*.reclist)"));
  if (!path.isEmpty()) OpenListFile(path);
}

bool CMainFrame::OpenListFile(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    // A list file that went away leaves the recent-file list too.
    QStringList files = RecentFiles();
    if (files.removeAll(QFileInfo(path).absoluteFilePath()) > 0) {
      QSettings profile = Profile();
      profile.remove(QStringLiteral("Recent File List"));
      for (int i = 0; i < files.size(); ++i) profile.setValue(QStringLiteral("Recent File List/File%1").arg(i + 1), files[i]);
      UpdateRecentMenu();
    }
    QMessageBox::warning(this, Str(kStrAppTitle), tr("The recording list %1 does not exist.").arg(path));
    return false;
  }
  const std::string file = QFileInfo(path).absoluteFilePath().toStdString();
  for (QMdiSubWindow* window : mdi_->subWindowList()) {
    if (CZelVelomarView* view = ViewOf(window); view && view->Document().PathName() == file) {
      mdi_->setActiveSubWindow(window);
      return true;
    }
  }
  auto document = std::make_unique<CZelVelomarDoc>();
  if (!document->OpenListFile(file)) return false;  // the document showed why
  const std::string title = document->GetTitleText();
  document->SetListKind(title.empty() ? CZelVelomarDoc::kCustomList : CZelVelomarDoc::kFolderList, title);
  document->SetModified(false);
  CZelVelomarView* view = OpenListWindow(std::move(document));
  view->Redisplay();
  AddRecentFile(QString::fromStdString(file));
  return true;
}

void CMainFrame::OnShowHistory() {
  for (QMdiSubWindow* window : mdi_->subWindowList()) {
    if (CZelVelomarView* view = ViewOf(window);
        view && view->Document().GetListKind() == CZelVelomarDoc::kPlayHistory) {
      mdi_->setActiveSubWindow(window);
      return;
    }
  }
  auto document = std::make_unique<CZelVelomarDoc>();
  Singleton<CCallHistory>::Instance()->FillDocument(*document);
  document->SetListKind(CZelVelomarDoc::kPlayHistory, std::string());
  document->SetModified(false);
  CZelVelomarView* view = OpenListWindow(std::move(document));
  view->Redisplay();
}

void CMainFrame::OpenRecordingList(const std::vector<std::string>& paths) {
  auto document = std::make_unique<CZelVelomarDoc>();
  const std::string passphrase = Singleton<CSettings>::Instance()->GetPassphrase();
  for (const std::string& path : paths) {
    auto entry = std::make_unique<CKlFileListEntry>();
    entry->SetPath(path);
    entry->LoadDetails(passphrase);
    document->AddEntry(entry);
  }
  document->SetListKind(CZelVelomarDoc::kCustomList, std::string());
  CZelVelomarView* view = OpenListWindow(std::move(document));
  view->Redisplay();
}

CPlayerForm* CMainFrame::Player() { return playerBar_->Form(); }

bool CMainFrame::PlayRecording(const std::string& path) { return playerBar_->Form()->OpenAndPlay(path); }

bool CMainFrame::PickReviewGroup(QWidget* parent, int& groupId) { return CHotListDlg::Pick(parent, groupId); }

bool CMainFrame::EditHistory(QWidget* parent, std::vector<std::string>& history, std::string& play) {
  CHistoryDlg dialog(history, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  history = dialog.Paths();
  play = dialog.PlayPath();
  return true;
}

void CMainFrame::OnEncryption() {
  auto& settings = *Singleton<CSettings>::Instance();
  CDecryptionDlg dialog(this, QString::fromStdString(settings.GetPassphrase()), settings.GetSavePassphrase() != 0);
  if (dialog.exec() != QDialog::Accepted) return;
  settings.SetPassphrase(dialog.Passphrase().toStdString());
  settings.SetSavePassphrase(dialog.SavePassphrase() ? 1 : 0);
}

void CMainFrame::OnAuditTrail() {
  // One window, left open beside the lists while calls are looked into.
  if (!auditTrail_) {
    auditTrail_ = new CAuditTrailDlg(this);
    auditTrail_->setAttribute(Qt::WA_DeleteOnClose);
  }
  auditTrail_->show();
  auditTrail_->raise();
  auditTrail_->activateWindow();
}

// --- Search flow ---

void CMainFrame::OnCreate(const std::vector<std::string>& folders, SearchOrigin origin) {
  if (SearchRunning()) return;
  CCreateRecordingListDlg dialog(this, folders);
  if (dialog.exec() != QDialog::Accepted) return;
  StartSearch(dialog.Criteria(), origin, nullptr);
}

void CMainFrame::RunSearch(const SearchCriteria& criteria, CZelVelomarView* target, bool replace) {
  StartSearch(criteria, SearchOrigin::RunSearch, target, replace);
}

void CMainFrame::ArchiveList(CZelVelomarView* list) {
  if (!list) return;
  // Calls whose originals the wizard deleted leave the list, while its window is there.
  QPointer<CZelVelomarView> window(list);
  auto remove = [window](const std::string& path) {
    if (window) window->RemoveEntryByPath(path);
  };
  archive_->RunWizard({&list->Document(), list->SelectedIndices(), remove});
}

bool CMainFrame::SearchRunning() const { return search_->Running(); }

CProgressWnd* CMainFrame::SearchProgress() const { return search_->Progress(); }

void CMainFrame::StartSearch(const SearchCriteria& criteria, SearchOrigin origin, CZelVelomarView* target,
                             bool replace) {
  search_->Start(criteria, origin, target, replace);
}

// --- Notifications ---

void CMainFrame::customEvent(QEvent* event) {
  const int type = static_cast<int>(event->type());
  auto* note = dynamic_cast<NotificationEvent*>(event);
  if (!note) return;
  switch (type) {
    case kCreateListForFolders: {
      std::vector<std::string> folders;
      for (const QString& folder : note->Paths()) folders.push_back(folder.toStdString());
      if (!SearchRunning()) OnCreate(folders, SearchOrigin::CreateForFolders);
      break;
    }
    case kRepeatSearch: {
      SearchCriteria criteria = ActiveView() ? ActiveView()->Document().GetCriteria() : SearchCriteria();
      if (ActiveView()) StartSearch(criteria, SearchOrigin::RunSearch, ActiveView());
      break;
    }
    case kRecordingChanged: {
      const std::string path = note->Path().toStdString();
      for (CZelVelomarView* view : Views()) {
        if (note->Param() == 2) {
          view->RemoveEntryByPath(path);
        } else {
          view->SetEntryImportant(path, note->Param() == 0);
        }
      }
      break;
    }
    case kBookmarkChanged: {
      const long long param = note->Param();
      const int start = param < 0 ? -1 : static_cast<int>(param & 0xFFFF);
      const int end = param < 0 ? -1 : static_cast<int>((param >> 16) & 0xFFFF);
      for (CZelVelomarView* view : Views()) view->UpdateBookmark(note->Path().toStdString(), start, end);
      break;
    }
    case kCommentChanged: {
      const std::string comment = note->Paths().value(0).toStdString();
      for (CZelVelomarView* view : Views()) view->SetEntryComment(note->Path().toStdString(), comment);
      break;
    }
    case kReviewTreeChanged:
    case kShortcutTreeChanged: {
      NotificationEvent forward(static_cast<Notification>(type), note->Param());
      QCoreApplication::sendEvent(accessPanel_, &forward);
      break;
    }
    default:
      break;
  }
}

// --- Manuals ---

QString CMainFrame::ProgramFolderFile(const QString& fileName) {
  return zelgui::ManualPath(fileName);
}

void CMainFrame::OnHelpFinder() {
  const QString name = Str(kStrGuideFile);
  OpenManual(ProgramFolderFile(name),
             QStringLiteral("Failed to open User Manual (%1). Try to open Help file?").arg(name));
}

void CMainFrame::OnHelpArchiver() {
  OpenManual(ProgramFolderFile(QStringLiteral("Diza Didurido.pdf")),
             QStringLiteral("Failed to open User Manual (Diza Didurido.pdf). Try to open Help file?"));
}

void CMainFrame::OpenManual(const QString& path, const QString& question) {
  if (!QFileInfo(path).isFile()) {
    // No help file exists beside the manuals, so Yes has nothing more to open.
    QMessageBox::warning(this, Str(kStrAppTitle), question, QMessageBox::Yes | QMessageBox::No);
    return;
  }
  // xdg-open may take a while to hand the file over: its answer arrives later.
  auto* process = new QProcess(this);
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  auto failed = [this, process, question] {
    process->deleteLater();
    QMessageBox::warning(this, Str(kStrAppTitle), question, QMessageBox::Yes | QMessageBox::No);
  };
  connect(process, &QProcess::errorOccurred, this, [process, failed](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) failed();
  });
  connect(process, &QProcess::finished, this, [process, failed](int code, QProcess::ExitStatus status) {
    if (code != 0 || status != QProcess::NormalExit) {
      failed();
    } else {
      process->deleteLater();
    }
  });
  process->start(QStringLiteral("xdg-open"), {path});
}

// --- Activation and close ---

void CMainFrame::BringToFront() {
  if (isMinimized()) showNormal();
  if (isHidden()) showMaximized();
  raise();
  activateWindow();
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
    modal->raise();
    modal->activateWindow();
  }
}

void CMainFrame::OpenFiles(const QStringList& names) {
  std::vector<std::string> given;
  for (const QString& name : names) given.push_back(QFile::encodeName(name).toStdString());
  const OpenedFiles sorted = zel::SortOpenedFiles(given);
  QStringList failed;
  for (const std::string& name : sorted.unreadable) failed << QFile::decodeName(name.c_str());
  for (const std::string& list : sorted.lists) {
    if (!OpenListFile(QFile::decodeName(list.c_str()))) failed << QFile::decodeName(list.c_str());
  }
  if (sorted.recordings.size() > 1) OpenRecordingList(sorted.recordings);
  if (!sorted.recordings.empty() && !Player()->OpenWithoutPlaying(sorted.recordings.front())) {
    failed << QFile::decodeName(sorted.recordings.front().c_str());
  }
  if (!sorted.folders.empty()) {
    SearchCriteria criteria;
    criteria.folders = sorted.folders;
    criteria.includeSubfolders = 1;
    criteria.dateMode = static_cast<int>(zel::DateMode::All);
    StartSearch(criteria, SearchOrigin::Create, nullptr);
  }
  if (!failed.isEmpty()) {
    QMessageBox::warning(this, Str(kStrAppTitle),
                         tr("These could not be opened:\n\n%1").arg(failed.join(QLatin1Char('\n'))));
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // A close from outside (a signal, the session ending) while the player writes a file
  // beside the window waits for the file.
  if (Player() && Player()->Writing()) {
    event->ignore();
    QTimer::singleShot(200, this, &CMainFrame::close);
    return;
  }
  if (SearchRunning()) search_->Cancel();
  for (CZelVelomarView* view : Views()) {
    if (!view->QueryClose()) {
      event->ignore();
      return;
    }
  }
  closing_ = true;
  mdi_->closeAllSubWindows();
  QSettings profile = Profile();
  profile.setValue(QStringLiteral("Settings/WindowState"), saveState());
  accessPanel_->SaveNow();
  event->accept();
}
