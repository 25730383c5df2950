#include "organiser/ui/CAccessPanel.h"

#include <QCoreApplication>
#include <QTimer>
#include <QToolBox>

#include "core/CKlLogger.h"
#include "core/SingletonRanks.h"
#include "organiser/CHotLists.h"
#include "organiser/CShortCuts.h"
#include "organiser/ui/CFolderTree.h"
#include "organiser/ui/CHotListsTree.h"
#include "organiser/ui/CShortCutTree.h"
#include "toolkit/ui/CIconSet.h"
#include "toolkit/ui/Notifications.h"

CAccessPanel::CAccessPanel(QWidget* parent)
    : CAccessPanel(*Singleton<CShortCuts>::Instance(), *Singleton<CHotLists>::Instance(), parent) {}

CAccessPanel::CAccessPanel(CShortCuts& shortcuts, CHotLists& hotLists, QWidget* parent)
    : QDockWidget(tr("Access Panel"), parent), shortcuts_(shortcuts), hotLists_(hotLists) {
  setObjectName(QStringLiteral("AccessPanel"));
  setAccessibleName(tr("Access Panel"));
  setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
  toolBox_ = new QToolBox(this);
  toolBox_->setAccessibleName(tr("Access Panel"));
  shortcutTree_ = new CShortCutTree(shortcuts_, toolBox_);
  hotListsTree_ = new CHotListsTree(hotLists_, toolBox_);
  folderTree_ = new CFolderTree(shortcuts_, toolBox_);
  toolBox_->addItem(shortcutTree_, CIconSet::Icon(QStringLiteral("link")), tr("My Shortcuts"));
  toolBox_->addItem(hotListsTree_, CIconSet::Icon(QStringLiteral("review")), tr("My Calls for Review"));
  toolBox_->addItem(folderTree_, CIconSet::Icon(QStringLiteral("folder")), tr("My Explorer"));
  setWidget(toolBox_);
  setMinimumWidth(200);

  saveTimer_ = new QTimer(this);
  saveTimer_->setSingleShot(true);
  saveTimer_->setInterval(kSaveDelayMs);
  connect(saveTimer_, &QTimer::timeout, this, &CAccessPanel::SaveNow);
  connect(shortcutTree_, &CCollectionTree::collectionChanged, this, [this] { ScheduleSave(true, false); });
  connect(hotListsTree_, &CCollectionTree::collectionChanged, this, [this] { ScheduleSave(false, true); });
  connect(folderTree_, &CFolderTree::shortcutsChanged, this, [this] {
    RefreshShortcuts();
    ScheduleSave(true, false);
    zelgui::PostNotification(zelgui::kShortcutTreeChanged, 0);
  });
  connect(shortcutTree_, &CShortCutTree::createListForFolders, this, &CAccessPanel::PostListForFolders);
  connect(folderTree_, &CFolderTree::createListForFolders, this, &CAccessPanel::PostListForFolders);
  // A quit that skips the destructor still writes what is pending.
  if (QCoreApplication* app = QCoreApplication::instance()) {
    connect(app, &QCoreApplication::aboutToQuit, this, &CAccessPanel::SaveNow);
  }
}

CAccessPanel::~CAccessPanel() { SaveNow(); }

void CAccessPanel::SetHost(IAccessPanelHost* host) {
  shortcutTree_->SetHost(host);
  hotListsTree_->SetHost(host);
}

void CAccessPanel::RefreshShortcuts() { shortcutTree_->Refresh(); }

void CAccessPanel::RefreshCallsForReview() { hotListsTree_->Refresh(); }

void CAccessPanel::PostListForFolders(const std::vector<std::string>& folders) {
  if (folders.empty()) return;
  QStringList paths;
  for (const std::string& folder : folders) paths.push_back(QString::fromStdString(folder));
  zelgui::PostNotification(zelgui::kCreateListForFolders, 0, QString(), paths);
}

void CAccessPanel::ScheduleSave(bool shortcuts, bool hotLists) {
  shortcutsDirty_ = shortcutsDirty_ || shortcuts;
  hotListsDirty_ = hotListsDirty_ || hotLists;
  saveTimer_->start();
}

void CAccessPanel::SaveNow() {
  saveTimer_->stop();
  // A file that cannot be written stays marked, so the next edit or the exit tries again.
  if (shortcutsDirty_) {
    shortcutsDirty_ = !shortcuts_.Save();
    if (shortcutsDirty_) Singleton<CKlLogger>::Instance()->LogLine("Access panel: could not save the shortcuts");
  }
  if (hotListsDirty_) {
    hotListsDirty_ = !hotLists_.Save();
    if (hotListsDirty_) Singleton<CKlLogger>::Instance()->LogLine("Access panel: could not save Calls for Review");
  }
}

// The main window forwards the collection notifications here: another part (the
// player, the folder tree) changed a store, so rebuild its tree and save it.
bool CAccessPanel::event(QEvent* event) {
  if (event->type() == static_cast<QEvent::Type>(zelgui::kReviewTreeChanged)) {
    RefreshCallsForReview();
    ScheduleSave(false, true);
    return true;
  }
  if (event->type() == static_cast<QEvent::Type>(zelgui::kShortcutTreeChanged)) {
    RefreshShortcuts();
    ScheduleSave(true, false);
    return true;
  }
  return QDockWidget::event(event);
}
