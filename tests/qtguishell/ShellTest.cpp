#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QGuiApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <random>

#include "Archive/ui/CArchiveCommands.h"
#include "audio/CPlaybackManager.h"
#include "audio/ui/CPlayerBar.h"
#include "audio/ui/CPlayerForm.h"
#include "core/SingletonRanks.h"
#include "organiser/CShortCuts.h"
#include "organiser/CZelVelomarDoc.h"
#include "recording/CKlFileListEntry.h"
#include "organiser/ui/CAccessPanel.h"
#include "organiser/ui/CCreateRecordingListDlg.h"
#include "organiser/ui/CRecordingListTable.h"
#include "organiser/ui/CZelVelomarView.h"
#include "shell/CInstanceChecker.h"
#include "shell/CMainFrame.h"
#include "shell/CZelVelomarApp.h"
#include "support/TestSupport.h"
#include "toolkit/ui/Notifications.h"
#include "toolkit/ui/StringTable.h"

namespace {

QString DemoFolder() {
  return qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Merovane/Ostrel Manager/Demo Recordings");
}

int DemoCount() { return static_cast<int>(QDir(DemoFolder()).entryList({"*.zel"}, QDir::Files).size()); }

// One start-up for the whole program, with the demo recordings made before it so
// that the first run finds them.
CMainFrame* Frame() {
  static CMainFrame* frame = [] {
    auto made = zeltest::RunZelctl({"make-demo", DemoFolder().toStdString()});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    auto* app = CZelVelomarApp::Instance();
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(app->InitInstance(), CZelVelomarApp::Start::Started);
    std::printf("start-up to the shown main window: %lld ms\n", static_cast<long long>(clock.elapsed()));
    return app->MainFrame();
  }();
  return frame;
}

// Answers the next message box with `button` from inside its own event loop, and
// keeps its text.
struct BoxAnswer {
  QString text;
  bool seen = false;
};
std::shared_ptr<BoxAnswer> AnswerNextBox(QMessageBox::StandardButton button) {
  auto answer = std::make_shared<BoxAnswer>();
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, answer, button] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    timer->stop();  // deleteLater may wait for an outer loop; this box is the only one
    answer->text = box->text();
    answer->seen = true;
    QAbstractButton* chosen = box->button(button);
    if (!chosen) {
      ADD_FAILURE() << "no button " << button << " in: " << box->text().toStdString();
      chosen = box->buttons().value(0);
    }
    chosen->click();
    timer->deleteLater();
  });
  timer->start(20);
  return answer;
}

SearchCriteria DemoCriteria(const QString& folder) {
  SearchCriteria criteria;
  criteria.folders = {folder.toStdString()};
  criteria.includeSubfolders = 1;
  criteria.dateMode = 0;
  return criteria;
}

size_t ViewCount() { return Frame()->Views().size(); }

// Runs the event loop until `done` holds or `ms` have passed.
bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QTest::qWait(10);
  }
  return true;
}

// The environment of a program started with its own folders under `root`.
QProcessEnvironment PrivateHome(const QString& root) {
  QDir().mkpath(root + "/run");
  QFile::setPermissions(root + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_RUNTIME_DIR", root + "/run");
  env.insert("XDG_CONFIG_HOME", root + "/config");
  env.insert("XDG_DATA_HOME", root + "/data");
  env.insert("QT_QPA_PLATFORM", "offscreen");
  return env;
}

}  // namespace

TEST(ShellStartup, FrameShownWithPanelsMenusAndDemoShortcut) {
  CMainFrame* frame = Frame();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(frame->AccessPanel()->isVisible());
  EXPECT_EQ(frame->dockWidgetArea(frame->AccessPanel()), Qt::LeftDockWidgetArea);
  EXPECT_EQ(frame->dockWidgetArea(frame->PlayerBar()), Qt::BottomDockWidgetArea);

  bool demoLinked = false;
  for (const auto& entry : Singleton<CShortCuts>::Instance()->Entries()) {
    demoLinked = demoLinked || entry->target == DemoFolder().toStdString();
  }
  EXPECT_TRUE(demoLinked);

  // Commands carry their ids.
  EXPECT_EQ(frame->Command(CMainFrame::ID_HELP_FINDER)->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(frame->Command(CMainFrame::ID_SHOW_HISTORY)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
  EXPECT_TRUE(frame->Command(CMainFrame::ID_HISTORY_ON_STARTUP)->isCheckable());
  // The archive commands open the sheet on its pages.
  QStringList shown;
  frame->ArchiveCommands()->execDialog = [&](QDialog& dialog) {
    shown << dialog.windowTitle();
    return int(QDialog::Rejected);
  };
  frame->Command(CMainFrame::ID_ARCHIVE_SETTINGS)->trigger();
  frame->Command(CMainFrame::ID_ARCHIVE_LOGS)->trigger();
  frame->ArchiveCommands()->execDialog = nullptr;
  EXPECT_EQ(shown, QStringList({"Diza Didurido Settings and Logs", "Diza Didurido Settings and Logs"}));
  if (frame->Views().empty()) {
    EXPECT_FALSE(frame->ListMenusShown());
    EXPECT_FALSE(frame->Command(CMainFrame::ID_FILE_SAVE)->isEnabled());
  }
}

TEST(ShellSearch, CriteriaToFilledListAndNothingFound) {
  CMainFrame* frame = Frame();
  const size_t before = ViewCount();
  frame->StartSearch(DemoCriteria(DemoFolder()), CMainFrame::SearchOrigin::Create, nullptr);
  EXPECT_TRUE(frame->SearchProgress() != nullptr);
  EXPECT_EQ(frame->SearchProgress()->windowTitle(), QStringLiteral("Task in progress..."));
  ASSERT_TRUE(WaitFor([&] { return !frame->SearchRunning(); }, 10000));
  ASSERT_EQ(ViewCount(), before + 1);
  CZelVelomarView* view = frame->ActiveView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(static_cast<int>(view->Document().EntryCount()), DemoCount());
  EXPECT_TRUE(view->Document().IsBuiltBySearch());
  EXPECT_TRUE(frame->ListMenusShown());
  EXPECT_TRUE(frame->Command(CMainFrame::ID_FILE_SAVE)->isEnabled());

  zeltest::TempDir empty;
  auto answer = AnswerNextBox(QMessageBox::Ok);
  frame->StartSearch(DemoCriteria(QString::fromStdString(empty.path())), CMainFrame::SearchOrigin::Create, nullptr);
  ASSERT_TRUE(WaitFor([&] { return answer->seen; }, 5000));
  EXPECT_EQ(answer->text, QStringLiteral("No recordings found which match your specified criteria."));
  EXPECT_FALSE(frame->SearchRunning());
  EXPECT_EQ(ViewCount(), before + 1);
}

// Folders dropped on a list add their calls to what it holds, unsaved work included.
TEST(ShellSearch, DroppedFoldersAddToTheList) {
  CMainFrame* frame = Frame();
  zeltest::TempDir other;
  const QString demoCall = DemoFolder() + "/" + QDir(DemoFolder()).entryList({"*.zel"}, QDir::Files).value(0);
  const QString copy = QString::fromStdString(other.File("Extra-20250101 120000.zel"));
  ASSERT_TRUE(QFile::copy(demoCall, copy));
  frame->OnFileNew();
  CZelVelomarView* view = frame->ActiveView();
  view->AddFiles({copy});
  view->SearchFolders({DemoFolder()});
  ASSERT_TRUE(WaitFor([&] { return !frame->SearchRunning(); }, 10000));
  EXPECT_EQ(static_cast<int>(view->Document().EntryCount()), DemoCount() + 1);
  EXPECT_GE(view->Document().IndexOfPath(copy.toStdString()), 0);
  EXPECT_FALSE(view->Document().IsBuiltBySearch());
  EXPECT_TRUE(view->Document().IsModified());
  view->Document().SetModified(false);
  frame->MdiArea()->activeSubWindow()->close();
}

TEST(ShellSearch, CancelLeavesNoList) {
  CMainFrame* frame = Frame();
  const size_t before = ViewCount();
  frame->StartSearch(DemoCriteria(DemoFolder()), CMainFrame::SearchOrigin::Create, nullptr);
  ASSERT_NE(frame->SearchProgress(), nullptr);
  QTest::keyClick(frame->SearchProgress(), Qt::Key_Escape);
  ASSERT_TRUE(WaitFor([&] { return !frame->SearchRunning(); }, 5000));
  QTest::qWait(2 * CMainFrame::kSearchTickMs);
  EXPECT_EQ(ViewCount(), before);
}

TEST(ShellSearch, FoldersFromAnotherWindowGoThroughTheDialog) {
  CMainFrame* frame = Frame();
  const size_t before = ViewCount();
  bool dialogSeen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<CCreateRecordingListDlg*>(QApplication::activeModalWidget())) {
      dialogSeen = true;
      EXPECT_EQ(dialog->Criteria().folders, std::vector<std::string>{DemoFolder().toStdString()});
      dialog->accept();
    }
  });
  poll.start(20);
  ASSERT_TRUE(zelgui::PostNotification(zelgui::kCreateListForFolders, 0, QString(), {DemoFolder()}));
  ASSERT_TRUE(WaitFor([&] { return dialogSeen && !frame->SearchRunning() && ViewCount() == before + 1; }, 10000));
  EXPECT_EQ(frame->ActiveView()->Document().GetTitleText(), DemoFolder().toStdString());
}

TEST(ShellWindows, PlayHistoryTwiceActivatesTheOne) {
  CMainFrame* frame = Frame();
  auto historyViews = [frame] {
    int count = 0;
    for (CZelVelomarView* view : frame->Views()) count += view->Document().GetListKind() == CZelVelomarDoc::kPlayHistory;
    return count;
  };
  frame->OnShowHistory();
  ASSERT_EQ(historyViews(), 1);
  frame->OnFileNew();
  ASSERT_NE(frame->ActiveView()->Document().GetListKind(), CZelVelomarDoc::kPlayHistory);
  frame->Command(CMainFrame::ID_SHOW_HISTORY)->trigger();
  EXPECT_EQ(historyViews(), 1);
  EXPECT_EQ(frame->ActiveView()->Document().GetListKind(), CZelVelomarDoc::kPlayHistory);
}

TEST(ShellWindows, PlayerOpensTheReviewAndHistoryDialogsOverItself) {
  CMainFrame* frame = Frame();
  CPlayerForm* player = frame->Player();
  const QStringList calls = QDir(DemoFolder()).entryList({"*.zel"}, QDir::Files);  // the first is encrypted
  ASSERT_TRUE(std::any_of(calls.begin(), calls.end(), [&](const QString& call) {
    return player->OpenWithoutPlaying((DemoFolder() + QLatin1Char('/') + call).toStdString());
  }));
  const std::pair<std::string, std::function<void()>> commands[] = {
      {"CHotListDlg", [player] { player->AddToCallsForReview(); }},
      {"CHistoryDlg", [player] { player->History(); }}};
  for (const auto& [dialogClass, command] : commands) {
    std::string shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        if (dialog->parentWidget() == player) shown = dialog->metaObject()->className();
        dialog->reject();
      }
    });
    poll.start(20);
    command();
    EXPECT_EQ(shown, dialogClass);
  }
  player->CloseRecording();
}

TEST(ShellWindows, OpenedListFileIsRememberedAndOpenedOnce) {
  CMainFrame* frame = Frame();
  frame->StartSearch(DemoCriteria(DemoFolder()), CMainFrame::SearchOrigin::Create, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !frame->SearchRunning(); }, 10000));
  zeltest::TempDir dir;
  const std::string file = dir.File("demo.reclist");
  ASSERT_TRUE(frame->ActiveView()->Document().SaveList(file));
  // The list saved there is open already: opening the file activates it.
  size_t before = ViewCount();
  frame->OnFileNew();
  ASSERT_TRUE(frame->OpenListFile(QString::fromStdString(file)));
  EXPECT_EQ(ViewCount(), before + 1);
  EXPECT_EQ(frame->ActiveView()->Document().PathName(), file);
  frame->MdiArea()->activeSubWindow()->close();
  ASSERT_TRUE(WaitFor([&] { return ViewCount() == before; }));

  ASSERT_TRUE(frame->OpenListFile(QString::fromStdString(file)));
  ASSERT_EQ(ViewCount(), before + 1);
  CZelVelomarDoc& opened = frame->ActiveView()->Document();
  EXPECT_EQ(static_cast<int>(opened.EntryCount()), DemoCount());
  EXPECT_EQ(opened.GetTitleText(), DemoFolder().toStdString());
  EXPECT_FALSE(opened.IsModified());
  EXPECT_EQ(frame->RecentFiles().value(0), QString::fromStdString(file));
  frame->OnFileNew();
  ASSERT_TRUE(frame->OpenListFile(QString::fromStdString(file)));
  EXPECT_EQ(ViewCount(), before + 2);  // the open one activated, not a second copy
  EXPECT_EQ(&frame->ActiveView()->Document(), &opened);

  // A remembered file that went away is refused and forgotten.
  ASSERT_TRUE(QFile::remove(QString::fromStdString(file)));
  auto answer = AnswerNextBox(QMessageBox::Ok);
  EXPECT_FALSE(frame->OpenListFile(QString::fromStdString(file)));
  EXPECT_TRUE(answer->seen);
  EXPECT_FALSE(frame->RecentFiles().contains(QString::fromStdString(file)));
}

TEST(ShellWindows, CloseAsksForEveryModifiedList) {
  CMainFrame* frame = Frame();
  frame->OnFileNew();
  CZelVelomarView* view = frame->ActiveView();
  view->Document().SetModified(true);
  const size_t before = ViewCount();

  auto cancel = AnswerNextBox(QMessageBox::Cancel);
  frame->close();
  EXPECT_TRUE(cancel->seen);
  EXPECT_TRUE(cancel->text.contains(QStringLiteral("Save changes to")));
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(ViewCount(), before);

  auto no = AnswerNextBox(QMessageBox::No);
  frame->MdiArea()->activeSubWindow()->close();
  EXPECT_TRUE(no->seen);
  ASSERT_TRUE(WaitFor([&] { return ViewCount() == before - 1; }));
}

TEST(ShellWindows, NotificationsReachEveryListAndMenusFollowTheLists) {
  CMainFrame* frame = Frame();
  frame->StartSearch(DemoCriteria(DemoFolder()), CMainFrame::SearchOrigin::Create, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !frame->SearchRunning(); }, 10000));
  frame->StartSearch(DemoCriteria(DemoFolder()), CMainFrame::SearchOrigin::Create, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !frame->SearchRunning(); }, 10000));
  std::vector<CZelVelomarView*> views = frame->Views();
  CZelVelomarView* a = views[views.size() - 2];
  CZelVelomarView* b = views.back();
  const CKlFileListEntry* first = a->Document().EntryAt(0);
  const QString path = QString::fromStdString(first->Path());
  const bool wasImportant = first->Important() != 0;
  ASSERT_TRUE(zelgui::PostNotification(zelgui::kRecordingChanged, wasImportant ? 1 : 0, path));
  ASSERT_TRUE(WaitFor([&] { return (a->Document().EntryAt(0)->Important() != 0) != wasImportant; }));
  const long index = b->Document().IndexOfPath(first->Path());
  ASSERT_GE(index, 0);
  EXPECT_NE(b->Document().EntryAt(static_cast<size_t>(index))->Important() != 0, wasImportant);

  ASSERT_TRUE(zelgui::PostNotification(zelgui::kCommentChanged, 0, path, {QStringLiteral("Call back at five")}));
  ASSERT_TRUE(WaitFor([&] { return a->Document().EntryAt(0)->CommentText() == "Call back at five"; }));
  EXPECT_EQ(b->Document().EntryAt(static_cast<size_t>(index))->CommentText(), "Call back at five");

  const size_t before = b->Document().EntryCount();
  ASSERT_TRUE(zelgui::PostNotification(zelgui::kRecordingChanged, 2, path));
  ASSERT_TRUE(WaitFor([&] { return b->Document().EntryCount() == before - 1; }));
  EXPECT_EQ(a->Document().IndexOfPath(path.toStdString()), -1);

  // Without a list window the menus without list commands return.
  for (CZelVelomarView* view : frame->Views()) view->Document().SetModified(false);
  frame->MdiArea()->closeAllSubWindows();
  ASSERT_TRUE(WaitFor([&] { return frame->Views().empty() && !frame->ListMenusShown(); }));
  EXPECT_FALSE(frame->Command(CMainFrame::ID_FILE_SAVE)->isEnabled());
  EXPECT_FALSE(frame->Command(CMainFrame::ID_REMOVE)->isEnabled());
}

// At the default size a list window shows all its buttons; tiled or cascaded in
// windowed mode, four lists keep the main window on the screen.
TEST(ShellWindows, TileAndCascadeKeepTheWindowOnTheScreen) {
  CMainFrame* frame = Frame();
  const int width = std::min(850, frame->screen()->availableGeometry().width());
  frame->showNormal();
  frame->resize(width, 680);
  for (int i = 0; i < 4; ++i) frame->OnFileNew();
  auto buttonsWithin = [](CZelVelomarView* view, QWidget* area) {
    for (QPushButton* button : view->findChildren<QPushButton*>()) {
      EXPECT_TRUE(area->rect().contains(QRect(button->mapTo(area, QPoint()), button->size())))
          << button->text().toStdString();
    }
  };
  QTest::qWait(50);
  EXPECT_EQ(frame->width(), width);
  buttonsWithin(frame->ActiveView(), frame->MdiArea()->viewport());
  QAction* tabbed = frame->findChild<QAction*>(QStringLiteral("TabbedWindows"));
  ASSERT_TRUE(tabbed->isChecked());
  tabbed->trigger();
  for (auto arrange : {&QMdiArea::tileSubWindows, &QMdiArea::cascadeSubWindows}) {
    (frame->MdiArea()->*arrange)();
    QTest::qWait(50);
    EXPECT_EQ(frame->width(), width);
    for (CZelVelomarView* view : frame->Views()) buttonsWithin(view, view);
  }
  tabbed->trigger();
  for (CZelVelomarView* view : frame->Views()) view->Document().SetModified(false);
  frame->MdiArea()->closeAllSubWindows();
  frame->showMaximized();
}

// Screen readers find the list windows' tabs; the title names the product once; Ctrl+F4
// closes the active list.
TEST(ShellWindows, TabsTitleAndCtrlF4) {
  CMainFrame* frame = Frame();
  frame->OnFileNew();
  frame->OnShowHistory();
  auto productOnce = [frame] {
    // The desktop appends the application's name to a title that does not end with it.
    const QString product = QGuiApplication::applicationDisplayName();
    EXPECT_TRUE(frame->windowTitle().endsWith(product)) << frame->windowTitle().toStdString();
    EXPECT_EQ(frame->windowTitle().count(product), 1);
  };
  productOnce();
  QAction* tabbed = frame->findChild<QAction*>(QStringLiteral("TabbedWindows"));
  tabbed->trigger();  // windowed, the list maximised
  frame->MdiArea()->activeSubWindow()->showMaximized();
  productOnce();
  tabbed->trigger();

  QAccessibleInterface* area = QAccessible::queryAccessibleInterface(frame->MdiArea());
  QAccessibleInterface* tabs = nullptr;
  for (int i = 0; i < area->childCount(); ++i) {
    QAccessibleInterface* child = area->child(i);
    if (child->role() == QAccessible::PageTabList) tabs = child;
    EXPECT_EQ(area->indexOfChild(child), i);
  }
  ASSERT_NE(tabs, nullptr);
  EXPECT_FALSE(tabs->text(QAccessible::Name).isEmpty());
  EXPECT_EQ(tabs->parent()->object(), frame->MdiArea());
  QStringList titles, names;
  for (QMdiSubWindow* window : frame->MdiArea()->subWindowList()) titles << window->windowTitle();
  for (int i = 0; i < tabs->childCount(); ++i) {
    if (tabs->child(i)->role() == QAccessible::PageTab) names << tabs->child(i)->text(QAccessible::Name);
  }
  EXPECT_EQ(names, titles);

  const size_t before = ViewCount();
  frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
  QTest::keyClick(frame->ActiveView()->Table(), Qt::Key_F4, Qt::ControlModifier);
  EXPECT_TRUE(WaitFor([&] { return ViewCount() == before - 1; }));
}

TEST(ShellHelp, F1WithoutGuideAsksTheQuestion) {
  CMainFrame* frame = Frame();
  ASSERT_FALSE(QFileInfo::exists(CMainFrame::ProgramFolderFile(QStringLiteral("Velomar 3 Guide.pdf"))));
  auto answer = AnswerNextBox(QMessageBox::Yes);
  frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
  QTest::keyClick(frame, Qt::Key_F1);
  ASSERT_TRUE(WaitFor([&] { return answer->seen; }));
  EXPECT_EQ(answer->text, QStringLiteral("Failed to open User Manual (Velomar 3 Guide.pdf). Try to open Help file?"));
  QTest::qWait(100);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // Yes has nothing more to open
}

TEST(ShellInstance, SecondStartRestoresTheFirstAndEnds) {
  CMainFrame* frame = Frame();
  frame->showMinimized();
  QSignalSpy asked(&CZelVelomarApp::Instance()->InstanceChecker(), &CInstanceChecker::activateRequested);
  QProcess second;
  QElapsedTimer clock;
  clock.start();
  second.start(QStringLiteral(ZEL_VELOMAR_PATH), {});
  ASSERT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }, 5000));
  const qint64 took = clock.elapsed();
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_LT(took, 1500);
  EXPECT_EQ(asked.count(), 1);
  EXPECT_FALSE(frame->isMinimized());
  frame->showMaximized();
}

// Names given to a second start open in the first: the folder as a list of its
// recordings, the recording in the player, the missing name in one message.
TEST(ShellInstance, SecondStartHandsItsFilesToTheFirst) {
  CMainFrame* frame = Frame();
  const size_t before = ViewCount();
  // User 4713's demo calls are never encrypted, so the player can load one whatever the date.
  const QString recording = DemoFolder() + "/" + QDir(DemoFolder()).entryList({"4713-*.zel"}, QDir::Files).value(0);
  auto answer = AnswerNextBox(QMessageBox::Ok);
  QProcess second;
  second.setWorkingDirectory(DemoFolder());
  second.start(QStringLiteral(ZEL_VELOMAR_PATH), {".", QFileInfo(recording).fileName(), "no-such-call.zel"});
  ASSERT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }, 5000));
  EXPECT_EQ(second.exitCode(), 0);
  ASSERT_TRUE(WaitFor([&] { return answer->seen && !frame->SearchRunning() && ViewCount() == before + 1; }, 10000));
  EXPECT_TRUE(answer->text.contains(DemoFolder() + "/no-such-call.zel")) << answer->text.toStdString();
  EXPECT_EQ(static_cast<int>(frame->ActiveView()->Document().EntryCount()), DemoCount());
  EXPECT_EQ(Singleton<CPlaybackManager>::Instance()->Recording().Path(), recording.toStdString());
}

// A name cannot smuggle in another request, and one start hands over at most 1,000
// names and the count of the rest.
TEST(ShellInstance, HandOverKeepsEachNameWholeAndAtMostAThousand) {
  zeltest::TempDir home;
  const QString root = QString::fromStdString(home.path());
  QProcess second;
  second.setProcessEnvironment(PrivateHome(root));
  const QByteArray ownRuntime = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", (root + "/run").toLocal8Bit());
  CInstanceChecker first;
  ASSERT_TRUE(first.RegisterAsFirstInstance());
  qputenv("XDG_RUNTIME_DIR", ownRuntime);
  QSignalSpy asked(&first, &CInstanceChecker::activateRequested);
  QStringList names{QStringLiteral("a\nfile /etc\r%0A")};
  for (int i = 0; i < 1004; ++i) names << QString::number(i);
  second.setWorkingDirectory(root);
  second.start(QStringLiteral(ZEL_VELOMAR_PATH), names);
  ASSERT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }, 10000));
  EXPECT_EQ(second.exitCode(), 0);
  ASSERT_EQ(asked.count(), 1);
  const QStringList files = asked[0][0].toStringList();
  ASSERT_EQ(files.size(), 1000);
  EXPECT_EQ(files[0], root + "/a\nfile /etc\r%0A");
  EXPECT_EQ(files[999], root + "/998");
  EXPECT_EQ(asked[0][1].toInt(), 5);
}

// The socket lives only in a folder of this user alone, never in the shared
// temporary folder, and another user's program on either end is ignored.
TEST(ShellInstance, SocketOnlyInAPrivateFolderAndOnlyWithThisUser) {
  zeltest::TempDir home;
  const std::string root = home.path();
  // Qt refuses both runtime folders it knows: they are no folders.
  zeltest::ScopedEnv runtime("XDG_RUNTIME_DIR", home.File("file"));
  zeltest::WriteFile(home.File("file"), "");
  zeltest::WriteFile(home.File(std::string("runtime-") + getpwuid(geteuid())->pw_name), "");
  zeltest::ScopedEnv tmp("TMPDIR", root);
  zeltest::ScopedEnv cache("XDG_CACHE_HOME", root + "/cache");
  const std::string folder = CInstanceChecker::RuntimeFolder().toStdString();
  EXPECT_EQ(folder, root + "/cache/zel-velomar-run");
  struct stat st {};
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  chmod(folder.c_str(), 0777);
  EXPECT_EQ(CInstanceChecker::RuntimeFolder(), QString());
  EXPECT_FALSE(CInstanceChecker().RegisterAsFirstInstance());
  chmod(folder.c_str(), 0700);

  if (geteuid() != 0 || !zeltest::ToolAvailable("setpriv") || !QFileInfo("/usr/bin/python3").isExecutable()) {
    GTEST_SKIP() << "another user's programs need root, setpriv and python3";
  }
  chmod(root.c_str(), 0711);
  CInstanceChecker own;
  const QString server = own.ServerName();
  ASSERT_FALSE(server.isEmpty());
  auto asNobody = [](QProcess& program, const char* script, const QString& socket) {
    program.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c", script, socket});
    EXPECT_TRUE(program.waitForReadyRead(5000)) << program.readAllStandardError().toStdString();
  };
  QProcess listener;
  chmod(folder.c_str(), 0777);  // only so that the other user can get in for the test
  asNobody(listener,
           "import socket,sys,time\ns=socket.socket(socket.AF_UNIX)\ns.bind(sys.argv[1])\ns.listen()\n"
           "print('ready',flush=True)\nwhile True: s.accept()[0].recv(9)",
           server);
  chmod(folder.c_str(), 0700);
  EXPECT_FALSE(own.IsAnotherInstanceRunning());
  ASSERT_TRUE(own.RegisterAsFirstInstance());
  listener.kill();
  listener.waitForFinished();

  QSignalSpy asked(&own, &CInstanceChecker::activateRequested);
  chmod(folder.c_str(), 0777);
  chmod(server.toLocal8Bit().constData(), 0777);
  QProcess client;
  client.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c",
                           "import socket,sys\nc=socket.socket(socket.AF_UNIX)\nc.connect(sys.argv[1])\n"
                           "try:\n c.sendall(b'activate\\n\\n')\n r=c.recv(9)\nexcept OSError:\n r=b''\nprint(repr(r))",
                           server});
  ASSERT_TRUE(WaitFor([&] { return client.state() == QProcess::NotRunning; }, 5000));
  chmod(folder.c_str(), 0700);
  EXPECT_EQ(client.readAllStandardOutput().trimmed(), "b''") << client.readAllStandardError().toStdString();
  EXPECT_EQ(asked.count(), 0);
}

// Two programs started at once over a stale lock and a stale socket: one stays, the
// other hands over.
TEST(ShellInstance, TwoStartsAtOnceLeaveOneOverStaleFiles) {
  zeltest::TempDir home;
  const QString root = QString::fromStdString(home.path());
  const QProcessEnvironment env = PrivateHome(root);

  // What a crashed instance leaves: a socket file nobody listens on, and a lock of a
  // process that is gone.
  const QByteArray ownRuntime = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", (root + "/run").toLocal8Bit());
  CInstanceChecker probe;
  const QString server = probe.ServerName();
  const QString lock = probe.LockPath();
  qputenv("XDG_RUNTIME_DIR", ownRuntime);
  zeltest::WriteFile(server.toStdString(), "");
  zeltest::WriteFile(lock.toStdString(), "999999\nzel-velomar\n" + QHostInfo::localHostName().toStdString() + "\n");

  QProcess a, b;
  a.setProcessEnvironment(env);
  b.setProcessEnvironment(env);
  a.start(QStringLiteral(ZEL_VELOMAR_PATH), {});
  b.start(QStringLiteral(ZEL_VELOMAR_PATH), {});
  ASSERT_TRUE(WaitFor([&] { return a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning; }, 10000));
  QTest::qWait(500);
  QProcess& ended = a.state() == QProcess::NotRunning ? a : b;
  QProcess& running = &ended == &a ? b : a;
  EXPECT_EQ(ended.exitCode(), 0);
  EXPECT_EQ(running.state(), QProcess::Running);
  // A terminated instance still closes the ordinary way and writes its settings.
  running.terminate();
  ASSERT_TRUE(running.waitForFinished(5000));
  EXPECT_EQ(running.exitStatus(), QProcess::NormalExit);
  EXPECT_TRUE(QFileInfo::exists(root + "/config/Merovane/Ostrel Manager/Configuration/config.xml"));
}

// The demo folder becomes a shortcut at the first start that finds it, also when the
// program ran before the folder was made; once only.
TEST(ShellStartup, DemoShortcutOnceTheDemoFolderExists) {
  zeltest::TempDir home;
  const QString root = QString::fromStdString(home.path());
  const QProcessEnvironment env = PrivateHome(root);
  const QString shortcuts = root + "/data/Merovane/Ostrel Manager/Configuration/shortcut.xml";
  auto startAndClose = [&] {
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ZEL_VELOMAR_PATH), {});
    EXPECT_TRUE(program.waitForStarted(5000));
    QTest::qWait(700);
    program.terminate();
    EXPECT_TRUE(program.waitForFinished(5000));
    return QString::fromStdString(zeltest::ReadFile(shortcuts.toStdString()));
  };
  const QString before = startAndClose();
  ASSERT_FALSE(before.isEmpty());
  EXPECT_FALSE(before.contains("Demo Recordings"));
  QDir().mkpath(root + "/data/Merovane/Ostrel Manager/Demo Recordings");
  EXPECT_TRUE(startAndClose().contains("Demo Recordings"));
  zeltest::WriteFile(shortcuts.toStdString(), before.toStdString());  // the user removed it
  EXPECT_FALSE(startAndClose().contains("Demo Recordings"));
}

TEST(ShellStartup, ResourceBundleOverridesTextsAndAMissingOneIsRefused) {
  Frame();
  auto* app = CZelVelomarApp::Instance();
  EXPECT_FALSE(app->LoadResourceBundle(QStringLiteral("no-such-bundle.rcc")));
  EXPECT_TRUE(app->LoadResourceBundle(QString()));

  const QString rcc = QStringLiteral("/usr/lib/qt6/libexec/rcc");
  if (!QFileInfo(rcc).isExecutable()) GTEST_SKIP() << "no rcc";
  zeltest::TempDir dir;
  zeltest::WriteFile(dir.File("strings.xml"), "<strings><string id=\"57344\">Acme Calls</string></strings>");
  zeltest::WriteFile(dir.File("b.qrc"), "<RCC><qresource prefix=\"/\"><file>strings.xml</file></qresource></RCC>");
  QProcess tool;
  tool.setWorkingDirectory(QString::fromStdString(dir.path()));
  tool.start(rcc, {"--binary", "b.qrc", "-o", "acme.rcc"});
  ASSERT_TRUE(tool.waitForFinished(10000));
  ASSERT_EQ(tool.exitCode(), 0);
  EXPECT_TRUE(app->LoadResourceBundle(QString::fromStdString(dir.File("acme.rcc"))));
  EXPECT_EQ(zelgui::Str(zelgui::kStrAppTitle), QStringLiteral("Acme Calls"));
  // Damaged bundles are refused or harmless, never a crash; a cut one is refused.
  const std::string whole = zeltest::ReadFile(dir.File("acme.rcc"));
  std::mt19937 random(22);
  for (int i = 0; i < 100; ++i) {
    std::string damaged = whole;
    for (int n = 0; n < 3; ++n) damaged[random() % damaged.size()] = static_cast<char>(random());
    zeltest::WriteFile(dir.File("damaged.rcc"), damaged);
    app->LoadResourceBundle(QString::fromStdString(dir.File("damaged.rcc")));
  }
  zeltest::WriteFile(dir.File("damaged.rcc"), whole.substr(0, whole.size() - 1));
  EXPECT_FALSE(app->LoadResourceBundle(QString::fromStdString(dir.File("damaged.rcc"))));
  zelgui::StringTable::ClearOverrides();
}

// A file name or caller that looks like markup is shown as it is, and cannot size the panel.
TEST(ShellStartup, MarkupInFileTextsIsShownAsText) {
  CMainFrame* frame = Frame();
  const QString markup = QStringLiteral("<img width=4000 height=3000>");
  zeltest::TempDir dir;
  const QString demo = DemoFolder() + "/" + QDir(DemoFolder()).entryList({"4713-*.zel"}, QDir::Files).value(0);
  const std::string path = dir.File(markup.toStdString() + ".zel");
  ASSERT_TRUE(QFile::copy(demo, QString::fromStdString(path)));
  ASSERT_EQ(zeltest::RunZelctl({"annotate", "--caller", markup.toStdString(), path}).exitCode, 0);
  ASSERT_TRUE(Singleton<CPlaybackManager>::Instance()->Load(path));
  frame->Player()->ShowRecording(path);
  for (auto* label : frame->Player()->findChildren<QLabel*>()) {
    EXPECT_LT(label->sizeHint().width(), 1000) << label->text().toStdString();
  }
  EXPECT_EQ(frame->Player()->Title(), "File - " + markup + ".zel");
}

TEST(ShellScreenshot, MainWindowWithDemoListAndLoadedRecording) {
  CMainFrame* frame = Frame();
  frame->showNormal();
  frame->resize(1280, 800);
  frame->StartSearch(DemoCriteria(DemoFolder()), CMainFrame::SearchOrigin::Create, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !frame->SearchRunning(); }, 10000));
  CZelVelomarView* view = frame->ActiveView();
  ASSERT_NE(view, nullptr);
  ASSERT_GT(view->Document().EntryCount(), 0u);
  const std::string path = view->Document().EntryAt(0)->Path();
  ASSERT_TRUE(Singleton<CPlaybackManager>::Instance()->Load(path));
  frame->Player()->ShowRecording(path);
  QTest::qWait(200);
  const QString png = QCoreApplication::applicationDirPath() + QStringLiteral("/main-window.png");
  EXPECT_TRUE(frame->grab().save(png));
  std::printf("screenshot: %s\n", qPrintable(png));

  // What a screen reader finds: every control the keyboard reaches has a name.
  for (QWidget* widget : frame->findChildren<QWidget*>()) {
    if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisible()) continue;
    if (!qobject_cast<QAbstractButton*>(widget) && !qobject_cast<QAbstractItemView*>(widget) &&
        !qobject_cast<QLineEdit*>(widget) && !qobject_cast<QComboBox*>(widget) &&
        !qobject_cast<QAbstractSpinBox*>(widget) && !qobject_cast<QAbstractSlider*>(widget)) {
      continue;
    }
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(accessible, nullptr);
    EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty())
        << widget->metaObject()->className() << " " << widget->objectName().toStdString() << " "
        << widget->toolTip().toStdString();
  }
}
