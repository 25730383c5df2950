#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QFileSystemModel>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <sys/stat.h>

#include "organiser/CHotLists.h"
#include "organiser/CShortCuts.h"
#include "organiser/ui/CFolderTree.h"
#include "organiser/ui/CHotListsTree.h"
#include "organiser/ui/CShortCutTree.h"
#include "organiser/ui/IAccessPanelHost.h"
#include "tests/organiser/OrganiserTestSupport.h"

namespace {

class FakeHost : public IAccessPanelHost {
 public:
  bool PlayRecording(const std::string& path) override {
    played.push_back(path);
    return playable;
  }
  void OpenRecordingList(const std::vector<std::string>& paths) override { lists.push_back(paths); }
  bool playable = true;
  std::vector<std::string> played;
  std::vector<std::vector<std::string>> lists;
};

CollectionEntry Entry(int id, int parentId, const std::string& name, const std::string& target = "") {
  CollectionEntry entry;
  entry.id = id;
  entry.parentId = parentId;
  entry.name = name;
  entry.target = target;
  entry.isGroup = target.empty() ? 1 : 0;
  return entry;
}

// Which of the menu's commands are enabled, as a list of ids.
std::vector<int> Enabled(CCollectionTree& tree, QTreeWidgetItem* item) {
  std::unique_ptr<QMenu> menu = tree.CreateContextMenu(item);
  std::vector<int> ids;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator() && action->isEnabled()) ids.push_back(action->data().toInt());
  }
  return ids;
}

void Select(CCollectionTree& tree, std::initializer_list<int> ids) {
  tree.clearSelection();
  for (int id : ids) tree.ItemForEntry(id)->setSelected(true);
}

class AccessTreesTest : public ::testing::Test {
 protected:
  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
  orgtest::ScopedSink sink_;
  FakeHost host_;
};

TEST_F(AccessTreesTest, ShortcutMenuStates) {
  ::mkdir(dir_.File("calls").c_str(), 0755);
  CShortCuts store;
  store.Load();  // the root group, id 0
  store.Add(Entry(1, 0, "Office"));
  store.Add(Entry(2, 1, "Calls", dir_.File("calls")));
  store.Add(Entry(3, 1, "Gone", dir_.File("gone")));
  store.Add(Entry(4, 1, "Inner"));
  store.Add(Entry(5, 4, "Deep", dir_.File("calls")));
  store.Add(Entry(6, 0, "Empty"));
  CShortCutTree tree(store);
  using T = CShortCutTree;
  ASSERT_EQ(tree.topLevelItemCount(), 1);

  Select(tree, {0});  // the root: no target of its own, no links below it
  EXPECT_EQ(Enabled(tree, tree.ItemForEntry(0)),
            (std::vector<int>{T::kSelectAll, T::kNewGroup, T::kNewShortcut, T::kClear}));
  Select(tree, {1});
  EXPECT_EQ(Enabled(tree, tree.ItemForEntry(1)), (std::vector<int>{T::kCreateList, T::kSelectAll, T::kNewGroup,
                                                                   T::kNewShortcut, T::kRename, T::kClear, T::kRemove}));
  Select(tree, {6});  // a group without children has nothing to select
  EXPECT_EQ(Enabled(tree, tree.ItemForEntry(6)),
            (std::vector<int>{T::kNewGroup, T::kNewShortcut, T::kRename, T::kClear, T::kRemove}));
  Select(tree, {2});
  EXPECT_EQ(Enabled(tree, tree.ItemForEntry(2)),
            (std::vector<int>{T::kCreateList, T::kExplore, T::kRename, T::kRemove}));
  Select(tree, {3});  // its folder is gone: no Explore, but still a target to list
  EXPECT_EQ(Enabled(tree, tree.ItemForEntry(3)), (std::vector<int>{T::kCreateList, T::kRename, T::kRemove}));
  Select(tree, {2, 3});
  EXPECT_EQ(Enabled(tree, tree.ItemForEntry(2)), (std::vector<int>{T::kCreateList, T::kRemove}));

  // A group lists its direct links, not those of its subgroups.
  std::vector<std::vector<std::string>> posted;
  QObject::connect(&tree, &CShortCutTree::createListForFolders,
                   [&](const std::vector<std::string>& folders) { posted.push_back(folders); });
  Select(tree, {1});
  tree.RunCommand(T::kCreateList, tree.ItemForEntry(1));
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0], (std::vector<std::string>{dir_.File("calls"), dir_.File("gone")}));

  // Remove with the root selected removes only the others.
  Select(tree, {0, 2, 3});
  tree.RunCommand(T::kRemove, tree.ItemForEntry(2));
  EXPECT_FALSE(store.Exists(2));
  EXPECT_FALSE(store.Exists(3));
  EXPECT_TRUE(store.Exists(0));
  EXPECT_EQ(tree.ItemForEntry(2), nullptr);
  ASSERT_NE(tree.ItemForEntry(0), nullptr);

  // Del removes the selection from the keyboard too.
  Select(tree, {6});
  QTest::keyClick(&tree, Qt::Key_Delete);
  EXPECT_FALSE(store.Exists(6));
}

TEST_F(AccessTreesTest, FolderMenuOnlyOnFolders) {
  orgtest::WriteRecording(dir_.File("a.zel"));
  CShortCuts store;
  store.Load();
  CFolderTree tree(store);
  const auto enabled = [&](const std::string& path) {
    tree.setCurrentIndex(tree.Model()->index(QString::fromStdString(path)));
    std::unique_ptr<QMenu> menu = tree.CreateContextMenu();
    int count = 0;
    for (QAction* action : menu->actions()) count += action->isEnabled();
    return count;
  };
  EXPECT_EQ(enabled(dir_.path()), 4);
  EXPECT_EQ(enabled(dir_.File("a.zel")), 0);
}

TEST_F(AccessTreesTest, CallsForReviewMenuStates) {
  const std::string a = dir_.File("a.zel");
  orgtest::WriteRecording(a);
  CHotLists store;
  store.Load();  // root 0 with the groups 1 to 4
  store.Add(Entry(5, 1, "a.zel", a));
  store.Add(Entry(6, 1, "b.zel", dir_.File("b.zel")));
  CHotListsTree tree(store);
  tree.SetHost(&host_);
  using T = CHotListsTree;
  QApplication::clipboard()->clear();

  Select(tree, {0});
  EXPECT_EQ(Enabled(tree, tree.ItemForEntry(0)),
            (std::vector<int>{T::kPlay, T::kSelectAll, T::kCopy, T::kPaste, T::kNewGroup, T::kClear,
                              T::kRemoveDuplicates, T::kCreateList, T::kValidate}));
  Select(tree, {5});
  EXPECT_EQ(Enabled(tree, tree.ItemForEntry(5)), (std::vector<int>{T::kPlay, T::kCopy, T::kPaste, T::kDelete,
                                                                   T::kExplore, T::kCreateList, T::kValidate}));
  Select(tree, {5, 6});
  EXPECT_EQ(Enabled(tree, tree.ItemForEntry(5)),
            (std::vector<int>{T::kCopy, T::kPaste, T::kDelete, T::kCreateList, T::kValidate}));
  tree.clearSelection();
  EXPECT_EQ(Enabled(tree, tree.ItemForEntry(1)), (std::vector<int>{T::kCopy, T::kPaste, T::kDelete, T::kValidate}));

  // Data on the clipboard that is not a file list disables Paste.
  QApplication::clipboard()->setText("just text");
  Select(tree, {1});
  auto menu = tree.CreateContextMenu(tree.ItemForEntry(1));
  EXPECT_FALSE(CCollectionTree::FindAction(menu.get(), T::kPaste)->isEnabled());

  // Play on a group plays its first link; a failed load says so.
  tree.RunCommand(T::kPlay, tree.ItemForEntry(1));
  EXPECT_EQ(host_.played, (std::vector<std::string>{a}));
  host_.playable = false;
  tree.RunCommand(T::kPlay, tree.ItemForEntry(6));
  ASSERT_EQ(sink_.messages().size(), 1u);
  EXPECT_EQ(sink_.messages()[0].text, "No files have been selected to play.");

  Select(tree, {1, 5});
  tree.RunCommand(T::kCreateList, tree.ItemForEntry(1));
  ASSERT_EQ(host_.lists.size(), 1u);
  EXPECT_EQ(host_.lists[0], (std::vector<std::string>{a, dir_.File("b.zel")}));
}

TEST_F(AccessTreesTest, RemoveDuplicatesValidateAndPaste) {
  const std::string kept = dir_.File("kept.zel");
  orgtest::WriteRecording(kept);
  CHotLists store;
  store.Load();
  store.Add(Entry(5, 1, "A", kept));
  store.Add(Entry(6, 1, "A", kept));
  store.Add(Entry(7, 1, "B", kept));
  store.Add(Entry(8, 2, "lost.zel", dir_.File("lost.zel")));
  CHotListsTree tree(store);
  int changes = 0;
  QObject::connect(&tree, &CCollectionTree::collectionChanged, [&] { ++changes; });

  Select(tree, {1});
  tree.RunCommand(CHotListsTree::kRemoveDuplicates, tree.ItemForEntry(1));
  EXPECT_EQ(tree.ItemForEntry(1)->childCount(), 2);
  EXPECT_EQ(store.Count(), 8u);
  EXPECT_EQ(sink_.messages().back().text, "1 entries removed as duplicates.");

  tree.RunCommand(CHotListsTree::kValidate, tree.ItemForEntry(0));
  EXPECT_FALSE(store.Exists(8));
  EXPECT_EQ(store.Count(), 7u);  // the groups and the two links to "kept" stay
  EXPECT_EQ(tree.ItemForEntry(2)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
  EXPECT_EQ(sink_.messages().back().text, "The 1 invalid links to calls ware removed from Hotlists tree.");
  EXPECT_EQ(changes, 2);

  // Pasting on a link adds to its group; a label the group holds is not added again.
  auto* data = new QMimeData;
  data->setUrls({QUrl::fromLocalFile(QString::fromStdString(kept)), QUrl::fromLocalFile(dir_.path().c_str())});
  QApplication::clipboard()->setMimeData(data);
  tree.RunCommand(CHotListsTree::kPaste, tree.ItemForEntry(7));
  ASSERT_EQ(tree.ItemForEntry(1)->childCount(), 3);
  EXPECT_EQ(tree.ItemForEntry(1)->child(2)->text(0), "kept.zel");
  tree.RunCommand(CHotListsTree::kPaste, tree.ItemForEntry(1));
  EXPECT_EQ(tree.ItemForEntry(1)->childCount(), 3);
  EXPECT_EQ(store.Count(), 8u);

  // A finished label edit renames the entry; an empty one keeps the name.
  tree.ItemForEntry(3)->setText(0, "Lost Deals");
  EXPECT_EQ(store.GetEntry(3)->name, "Lost Deals");
  tree.ItemForEntry(3)->setText(0, "  ");
  EXPECT_EQ(store.GetEntry(3)->name, "Lost Deals");
  EXPECT_EQ(tree.ItemForEntry(3)->text(0), "Lost Deals");
}

}  // namespace
