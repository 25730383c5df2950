#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>

#include <unistd.h>

#include "OrganiserTestSupport.h"
#include "organiser/CHotLists.h"
#include "organiser/CShortCuts.h"
#include "organiser/CollectionCommands.h"
#include "support/FaultFiles.h"

namespace {

// A tree control in memory: items own their children in order.
class MemoryTree : public ICollectionTree {
 public:
  struct Node {
    Node* parent = nullptr;
    std::string label;
    int id = 0;
    bool group = false;
    bool hasChildren = false;
    std::list<std::unique_ptr<Node>> children;
  };

  // Builds the items from the store as the tree control does.
  void Fill(CCollectionStore& store) {
    roots_.clear();
    std::function<void(Node*, int)> add = [&](Node* parent, int parentId) {
      for (const auto& e : store.Entries()) {
        if (e->parentId != parentId) continue;
        Node* n = static_cast<Node*>(AppendItem(parent, e->name, e->id, e->isGroup != 0));
        add(n, e->id);
        n->hasChildren = !n->children.empty();
      }
    };
    add(nullptr, -1);
  }
  Node* Find(const std::string& label) {
    Node* found = nullptr;
    std::function<void(std::list<std::unique_ptr<Node>>&)> walk = [&](std::list<std::unique_ptr<Node>>& list) {
      for (auto& n : list) {
        if (!found && n->label == label) found = n.get();
        walk(n->children);
      }
    };
    walk(roots_);
    return found;
  }
  std::vector<std::string> Labels(Item item) {
    std::vector<std::string> out;
    for (auto& c : N(item)->children) out.push_back(c->label);
    return out;
  }

  Item FirstRoot() override { return roots_.empty() ? nullptr : roots_.front().get(); }
  Item FirstChild(Item item) override {
    return N(item)->children.empty() ? nullptr : N(item)->children.front().get();
  }
  Item NextSibling(Item item) override {
    auto& list = Siblings(N(item));
    for (auto it = list.begin(); it != list.end(); ++it) {
      if (it->get() == item) return std::next(it) == list.end() ? nullptr : std::next(it)->get();
    }
    return nullptr;
  }
  Item Parent(Item item) override { return N(item)->parent; }
  int EntryId(Item item) override { return N(item)->id; }
  std::string Label(Item item) override { return N(item)->label; }
  bool ItemHasChildren(Item item) override { return N(item)->hasChildren; }
  void DeleteItem(Item item) override {
    auto& list = Siblings(N(item));
    list.remove_if([&](const std::unique_ptr<Node>& n) { return n.get() == item; });
    ++deleted;
  }
  void SetHasChildren(Item item, bool has) override { N(item)->hasChildren = has; }
  Item AppendItem(Item parent, const std::string& label, int id, bool group) override {
    auto node = std::make_unique<Node>();
    node->parent = N(parent);
    node->label = label;
    node->id = id;
    node->group = group;
    Node* raw = node.get();
    (parent ? N(parent)->children : roots_).push_back(std::move(node));
    return raw;
  }
  void SelectItem(Item item) override { selected = item; }
  void EditLabel(Item item) override { editing = item; }

  Item selected = nullptr;
  Item editing = nullptr;
  int deleted = 0;

 private:
  static Node* N(Item item) { return static_cast<Node*>(item); }
  std::list<std::unique_ptr<Node>>& Siblings(Node* n) { return n->parent ? n->parent->children : roots_; }
  std::list<std::unique_ptr<Node>> roots_;
};

class CollectionTest : public ::testing::Test {
 protected:
  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
  orgtest::ScopedSink sink_;
};

TEST_F(CollectionTest, DefaultsOnFirstRunAndAfterBrokenFiles) {
  CHotLists hot;
  hot.Load();
  ASSERT_EQ(hot.Count(), 5u);
  EXPECT_EQ(hot.Entries()[0]->name, "Links to Recordings...");
  EXPECT_EQ(hot.Entries()[0]->parentId, -1);
  EXPECT_EQ(hot.Entries()[4]->name, "Personal");
  EXPECT_EQ(hot.Entries()[4]->parentId, 0);
  EXPECT_EQ(hot.NextId(), 5);
  CShortCuts shortcuts;
  shortcuts.Load();
  ASSERT_EQ(shortcuts.Count(), 1u);
  EXPECT_EQ(shortcuts.Entries()[0]->name, "Shortcuts to Sources..");
  EXPECT_FALSE(zeltest::FileExists(hot.FilePath()));  // nothing written until a save

  // Truncated and random files fall back to the defaults.
  ASSERT_TRUE(hot.Save());
  const std::string good = zeltest::ReadFile(hot.FilePath());
  std::mt19937 rng(3);
  for (int round = 0; round < 100; ++round) {
    std::string broken = good.substr(0, rng() % good.size());
    for (int i = 0; i < round % 4; ++i) broken[rng() % broken.size()] = static_cast<char>(rng());
    zeltest::WriteFile(hot.FilePath(), broken);
    zeltest::WriteFile(shortcuts.FilePath(), broken);
    hot.Load();
    shortcuts.Load();
    EXPECT_GE(hot.Count(), 1u);
  }
  zeltest::WriteFile(hot.FilePath(), "\x01\x02 not xml");
  hot.Load();
  EXPECT_EQ(hot.Count(), 5u);
  zeltest::WriteFile(shortcuts.FilePath(), "");
  shortcuts.Load();
  EXPECT_EQ(shortcuts.Count(), 1u);
}

TEST_F(CollectionTest, ADamagedFileIsKeptAsideBeforeTheDefaultsAreSaved) {
  CHotLists hot;
  CShortCuts shortcuts;
  const std::string broken = "<?xml version=\"1.0\"?><profile version=\"1\"><hotlist ID=\"0\"><Name>Mine";
  zeltest::WriteFile(hot.FilePath(), broken);
  ASSERT_TRUE(zeltest::MakeFifo(shortcuts.FilePath()));
  alarm(20);  // a load blocked on the FIFO ends the program instead of hanging
  hot.Load();
  shortcuts.Load();
  alarm(0);
  EXPECT_EQ(hot.Count(), 5u);
  EXPECT_EQ(shortcuts.Count(), 1u);
  ASSERT_TRUE(hot.Save());  // as the desktop program does at exit
  ASSERT_TRUE(shortcuts.Save());
  auto copies = zeltest::DamagedCopies(hot.FilePath());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(zeltest::ReadFile(copies[0]), broken);
  EXPECT_EQ(zeltest::DamagedCopies(shortcuts.FilePath()).size(), 1u);
  ASSERT_EQ(sink_.messages().size(), 2u);
  EXPECT_NE(sink_.messages()[0].text.find(copies[0]), std::string::npos);
}

TEST_F(CollectionTest, FileLayoutIdsAndLookups) {
  CShortCuts store;
  zeltest::WriteFile(store.FilePath(),
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<profile version=\"1\">\n"
                     "<shortcut ID=\"0\"><ParentID>-1</ParentID><Name>Root</Name><Target></Target><IsGroup>1</IsGroup></shortcut>\n"
                     "<shortcut ID=\"7\"><ParentID>0</ParentID><Name>Office</Name><Target>/calls/office</Target><IsGroup>0</IsGroup></shortcut>\n"
                     "<other ID=\"9\"/>\n"
                     "<shortcut ID=\"7\"><ParentID>0</ParentID><Name>Dup</Name><Target>/x</Target><IsGroup>0</IsGroup></shortcut>\n"
                     "<shortcut ID=\"3\"><Name>Sub</Name><IsGroup>1</IsGroup></shortcut>\n"
                     "</profile>\n");
  store.Load();
  ASSERT_EQ(store.Count(), 3u);
  EXPECT_EQ(store.Entries()[1]->name, "Office");  // the first of two equal ids
  EXPECT_EQ(store.Entries()[2]->parentId, 0);     // missing ParentID reads 0
  EXPECT_EQ(store.Entries()[2]->target, "");
  EXPECT_EQ(store.NextId(), 8);
  EXPECT_TRUE(store.Exists(3));
  EXPECT_FALSE(store.Exists(9));
  EXPECT_TRUE(store.HasChildren(0));
  EXPECT_TRUE(store.HasChildGroup(0));
  EXPECT_FALSE(store.HasChildren(7));
  CollectionEntry copy;
  ASSERT_TRUE(store.CopyEntry(7, copy));
  EXPECT_EQ(copy.target, "/calls/office");
  EXPECT_FALSE(store.CopyEntry(42, copy));
  EXPECT_EQ(store.GetEntry(42), nullptr);
  EXPECT_EQ(store.GetEntry(3)->name, "Sub");

  CollectionEntry extra{8, 0, "Ex & <tra>", "/a&b", 0};
  EXPECT_TRUE(store.Add(extra));
  EXPECT_FALSE(store.Add(extra));
  // Iteration by parent, with a removal in between.
  std::vector<int> ids;
  for (auto* e = store.FindFirst(0, 1); e; e = store.FindNext(0, 1)) {
    ids.push_back(e->id);
    if (e->id == 7) store.Remove(7);
  }
  EXPECT_EQ(ids, (std::vector<int>{7, 3, 8}));
  EXPECT_EQ(store.FindNext(0, 1), nullptr);
  EXPECT_EQ(store.FindFirst(0, 2), nullptr);
  EXPECT_EQ(store.FindFirst(8, 0)->name, "Ex & <tra>");
  EXPECT_FALSE(store.Remove(7));

  ASSERT_TRUE(store.Save());
  CShortCuts again;
  again.Load();
  ASSERT_EQ(again.Count(), 3u);
  EXPECT_EQ(again.Entries()[2]->name, "Ex & <tra>");
  EXPECT_EQ(again.Entries()[2]->target, "/a&b");
  EXPECT_EQ(again.Entries()[1]->isGroup, 1);
  EXPECT_NE(zeltest::ReadFile(store.FilePath()).find("<shortcut ID=\"8\">"), std::string::npos);

  // An empty store writes nothing.
  while (again.Count()) again.Remove(again.Entries()[0]->id);
  EXPECT_EQ(again.NextId(), -1);
  const std::string before = zeltest::ReadFile(store.FilePath());
  ASSERT_TRUE(again.Save());
  EXPECT_EQ(zeltest::ReadFile(store.FilePath()), before);
}

TEST_F(CollectionTest, RemoveDuplicates) {
  CHotLists store;
  store.Load();
  MemoryTree tree;
  tree.Fill(store);
  auto* group = tree.Find("Important Calls");
  ASSERT_NE(group, nullptr);
  ASSERT_NE(zel::AddLink(store, tree, group, "/calls/A.zel"), nullptr);
  ASSERT_NE(zel::AddLink(store, tree, group, "/calls/B.wav"), nullptr);
  // The label check refuses the same label under the same group ...
  EXPECT_EQ(zel::AddLink(store, tree, group, "/other/A.zel"), nullptr);
  EXPECT_EQ(zel::AddLink(store, tree, group, ""), nullptr);
  EXPECT_EQ(zel::AddLink(store, tree, nullptr, "/x.zel"), nullptr);
  // ... the player's add does not check.
  auto* dup = zel::AddLink(store, tree, group, "/other/A.zel", false);
  ASSERT_NE(dup, nullptr);
  EXPECT_EQ(tree.selected, dup);
  EXPECT_EQ(tree.Labels(group), (std::vector<std::string>{"A.zel", "B.zel", "A.zel"}));
  const size_t before = store.Count();

  EXPECT_EQ(zel::RemoveDuplicates(store, tree, group), 1);
  EXPECT_EQ(tree.Labels(group), (std::vector<std::string>{"A.zel", "B.zel"}));
  EXPECT_EQ(store.Count(), before - 1);
  ASSERT_EQ(sink_.messages().size(), 1u);
  EXPECT_EQ(sink_.messages()[0].text, "1 entries removed as duplicates.");
  EXPECT_EQ(zel::RemoveDuplicates(store, tree, group), 0);
  EXPECT_EQ(sink_.messages().back().text, "No duplicates found.");
  // A group without children: nothing happens, no message.
  const size_t messages = sink_.messages().size();
  EXPECT_EQ(zel::RemoveDuplicates(store, tree, tree.Find("Personal")), 0);
  EXPECT_EQ(sink_.messages().size(), messages);

  // New groups.
  auto* added = zel::AddGroup(store, tree, tree.Find("Personal"), "", true);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(tree.Label(added), "New Hotlist");
  EXPECT_EQ(tree.editing, added);
  EXPECT_TRUE(tree.ItemHasChildren(tree.Find("Personal")));
  CShortCuts shortcuts;
  shortcuts.Load();
  MemoryTree stree;
  stree.Fill(shortcuts);
  auto* g = zel::AddGroup(shortcuts, stree, stree.FirstRoot(), "", false);
  EXPECT_EQ(stree.Label(g), "New Group");
  EXPECT_EQ(stree.editing, nullptr);
}

TEST_F(CollectionTest, ValidateRemovesOnlyBrokenLinks) {
  orgtest::WriteRecording(dir_.File("kept.zel"));
  CHotLists store;
  store.Load();
  MemoryTree tree;
  tree.Fill(store);
  auto* important = tree.Find("Important Calls");
  auto* won = tree.Find("Won Sales");
  zel::AddLink(store, tree, important, dir_.File("kept.zel"));
  zel::AddLink(store, tree, important, dir_.File("gone1.zel"));
  zel::AddLink(store, tree, won, dir_.File("gone2.zel"));
  zel::AddLink(store, tree, won, dir_.File("gone3.zel"));
  // A group whose name looks like a missing path stays.
  zel::AddGroup(store, tree, won, "/nonexistent", false);

  EXPECT_EQ(zel::ValidateLinks(store, tree), 3);
  EXPECT_EQ(sink_.messages().back().text, "The 3 invalid links to calls ware removed from Hotlists tree.");
  EXPECT_EQ(tree.Labels(important), (std::vector<std::string>{"kept.zel"}));
  EXPECT_EQ(tree.Labels(won), (std::vector<std::string>{"/nonexistent"}));
  EXPECT_EQ(store.Count(), 5u + 2u);
  EXPECT_EQ(zel::ValidateLinks(store, tree), 0);
  EXPECT_EQ(sink_.messages().back().text, "All links to calls are valid.");

  // The parent loses its children mark with its last child.
  auto* lost = tree.Find("Lost Sales");
  zel::AddLink(store, tree, lost, dir_.File("gone4.zel"));
  EXPECT_TRUE(tree.ItemHasChildren(lost));
  EXPECT_EQ(zel::ValidateLinks(store, tree), 1);
  EXPECT_FALSE(tree.ItemHasChildren(lost));
}

}  // namespace
