#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDialogButtonBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolBox>

#include "organiser/CHotLists.h"
#include "organiser/CShortCuts.h"
#include "organiser/ui/CAccessPanel.h"
#include "organiser/ui/CGroupPicker.h"
#include "organiser/ui/CHistoryDlg.h"
#include "organiser/ui/CHotListsTree.h"
#include "organiser/ui/CNewShortcutDlg.h"
#include "organiser/ui/CShortCutTree.h"
#include "tests/organiser/OrganiserTestSupport.h"
#include "toolkit/ui/Notifications.h"

namespace {

class AccessPanelTest : public ::testing::Test {
 protected:
  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
  orgtest::ScopedSink sink_;
};

// Stands in for the main window: keeps the folders of the last folder-list notification.
class Receiver : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != static_cast<QEvent::Type>(zelgui::kCreateListForFolders)) return QObject::event(event);
    folders = static_cast<zelgui::NotificationEvent*>(event)->Paths();
    return true;
  }
  QStringList folders;
};

// Every widget a user can reach is named for screen readers.
void ExpectAccessibleNames(QWidget* root) {
  for (QWidget* widget : root->findChildren<QWidget*>()) {
    if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(root)) continue;
    if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QAbstractItemView*>(widget) ||
        qobject_cast<QLineEdit*>(widget)) {
      EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->metaObject()->className();
    }
  }
}

TEST_F(AccessPanelTest, RendersTheThreeTreesAndSavesEdits) {
  CShortCuts shortcuts;
  shortcuts.Load();
  CHotLists hotLists;
  hotLists.Load();
  const std::string call = dir_.File("4711-20261208-093000.zel");
  orgtest::WriteRecording(call);
  CollectionEntry link{10, 1, "4711-20261208-093000.zel", call, 0};
  hotLists.Add(link);
  CollectionEntry folder{1, 0, "Office", dir_.path(), 0};
  shortcuts.Add(folder);

  CAccessPanel panel(shortcuts, hotLists);
  ASSERT_EQ(panel.ToolBox()->count(), 3);
  EXPECT_EQ(panel.ToolBox()->itemText(0), "My Shortcuts");
  EXPECT_EQ(panel.ToolBox()->itemText(1), "My Calls for Review");
  EXPECT_EQ(panel.ToolBox()->itemText(2), "My Explorer");
  ExpectAccessibleNames(&panel);

  // One picture per page, under the build folder, to look at.
  panel.CallsForReview()->expandAll();
  panel.resize(260, 420);
  panel.show();
  for (int page = 0; page < 3; ++page) {
    panel.ToolBox()->setCurrentIndex(page);
    QApplication::processEvents();
    QImage image = panel.grab().toImage();
    const QString png = QApplication::applicationDirPath() + QStringLiteral("/access-panel-%1.png").arg(page);
    ASSERT_TRUE(image.save(png));
    int differing = 0;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 4) {
      for (int x = 0; x < image.width(); x += 4) differing += image.pixel(x, y) != first;
    }
    EXPECT_GT(differing, 100) << png.toStdString();
  }

  // An edit reaches the file shortly after, without waiting for the exit.
  CHotListsTree* tree = panel.CallsForReview();
  tree->clearSelection();
  tree->ItemForEntry(1)->setSelected(true);
  tree->RunCommand(CHotListsTree::kNewGroup, tree->ItemForEntry(1));
  QTRY_VERIFY_WITH_TIMEOUT(zeltest::FileExists(hotLists.FilePath()), 3 * CAccessPanel::kSaveDelayMs);
  EXPECT_NE(zeltest::ReadFile(hotLists.FilePath()).find("New Hotlist"), std::string::npos);

  // A link added elsewhere (the player) shows after the refresh notification.
  CollectionEntry added{20, 2, "other.zel", call, 0};
  hotLists.Add(added);
  zelgui::NotificationEvent changed(zelgui::kReviewTreeChanged, 0);
  QApplication::sendEvent(&panel, &changed);
  EXPECT_NE(tree->ItemForEntry(20), nullptr);

  // A shortcut's list goes to the main window as the folder-list notification.
  Receiver frame;
  zelgui::SetNotificationTarget(&frame);
  CShortCutTree* shortcutTree = panel.Shortcuts();
  shortcutTree->clearSelection();
  shortcutTree->ItemForEntry(1)->setSelected(true);
  shortcutTree->RunCommand(CShortCutTree::kCreateList, shortcutTree->ItemForEntry(1));
  QApplication::processEvents();
  zelgui::SetNotificationTarget(nullptr);
  EXPECT_EQ(frame.folders, QStringList{QString::fromStdString(dir_.path())});
}

TEST_F(AccessPanelTest, NewShortcutNeedsANameAndAParent) {
  CShortCuts shortcuts;
  shortcuts.Load();
  CNewShortcutDlg dialog(shortcuts);
  ExpectAccessibleNames(&dialog);
  EXPECT_FALSE(dialog.OkButton()->isEnabled());
  dialog.NameEdit()->setText("Sales");
  EXPECT_FALSE(dialog.OkButton()->isEnabled());
  dialog.SetParentId(0);
  EXPECT_TRUE(dialog.OkButton()->isEnabled());
  dialog.NameEdit()->setText("   ");
  EXPECT_FALSE(dialog.OkButton()->isEnabled());
  dialog.NameEdit()->setText("Sales");
  dialog.SetAskForFolder(true);
  EXPECT_FALSE(dialog.OkButton()->isEnabled());
  dialog.FolderEdit()->setText(QString::fromStdString(dir_.path()));
  EXPECT_TRUE(dialog.OkButton()->isEnabled());
  EXPECT_EQ(dialog.ParentId(), 0);
  dialog.show();
  EXPECT_TRUE(dialog.grab().save(QApplication::applicationDirPath() + "/new-shortcut.png"));
}

TEST_F(AccessPanelTest, HistoryButtonsFollowTheSelection) {
  CHistoryDlg dialog({"/calls/a.zel", "/calls/b.wav", "/calls/c.zel"});
  ExpectAccessibleNames(&dialog);
  QListWidget* list = dialog.List();
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(1)->text(), "b.zel");
  EXPECT_TRUE(dialog.ClearButton()->isEnabled());
  EXPECT_FALSE(dialog.RemoveButton()->isEnabled());
  list->item(0)->setSelected(true);
  list->item(2)->setSelected(true);
  EXPECT_FALSE(dialog.PlayButton()->isEnabled());
  dialog.RemoveButton()->click();
  EXPECT_EQ(dialog.Paths(), (std::vector<std::string>{"/calls/b.wav"}));
  list->item(0)->setSelected(true);
  dialog.PlayButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.PlayPath(), "/calls/b.wav");
}

}  // namespace
