#include "organiser/CollectionCommands.h"

#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <vector>

#include "core/MessageSink.h"
#include "organiser/CCollectionStore.h"
#include "organiser/SearchRules.h"

namespace zel {

bool RemoveItem(CCollectionStore& store, ICollectionTree& tree, ICollectionTree::Item item) {
  if (!item) return false;
  if (!store.Remove(tree.EntryId(item))) return false;
  ICollectionTree::Item parent = tree.Parent(item);
  tree.DeleteItem(item);
  if (parent && !store.HasChildren(tree.EntryId(parent))) tree.SetHasChildren(parent, false);
  return true;
}

int RemoveDuplicates(CCollectionStore& store, ICollectionTree& tree, ICollectionTree::Item group) {
  if (!group || !tree.ItemHasChildren(group)) return 0;
  std::vector<ICollectionTree::Item> children;
  for (auto child = tree.FirstChild(group); child; child = tree.NextSibling(child)) children.push_back(child);
  if (children.size() < 2) {
    ShowMessage("No duplicates found.", IMessageSink::Icon::Information);
    return 0;
  }
  std::map<std::string, bool> seen;
  std::vector<ICollectionTree::Item> marked;
  for (auto child : children) {
    if (!seen.emplace(tree.Label(child), true).second) marked.push_back(child);
  }
  if (marked.empty()) {
    ShowMessage("No duplicates found.", IMessageSink::Icon::Information);
    return 0;
  }
  int removed = 0;
  for (auto child : marked) {
    if (store.Remove(tree.EntryId(child))) {
      tree.DeleteItem(child);
      ++removed;
    }
  }
  char text[96];
  std::snprintf(text, sizeof text, "%d entries removed as duplicates.", removed);
  ShowMessage(text, IMessageSink::Icon::Information);
  return removed;
}

namespace {
// The next item in depth-first order; with `skipSubtree` the item's own children
// are passed over (it is about to be deleted with them).
ICollectionTree::Item NextDepthFirst(ICollectionTree& tree, ICollectionTree::Item item, bool skipSubtree) {
  if (!skipSubtree) {
    if (auto child = tree.FirstChild(item)) return child;
  }
  for (auto at = item; at; at = tree.Parent(at)) {
    if (auto next = tree.NextSibling(at)) return next;
  }
  return nullptr;
}
}  // namespace

int ValidateLinks(CCollectionStore& store, ICollectionTree& tree) {
  int count = 0;
  auto item = tree.FirstRoot();
  while (item) {
    CollectionEntry entry;
    bool invalid = false;
    if (store.CopyEntry(tree.EntryId(item), entry) && !entry.isGroup) {
      struct stat st;
      invalid = ::stat(entry.target.c_str(), &st) != 0;
    }
    auto next = NextDepthFirst(tree, item, invalid);
    if (invalid && RemoveItem(store, tree, item)) ++count;
    item = next;
  }
  if (count == 0) {
    ShowMessage("All links to calls are valid.", IMessageSink::Icon::Information);
  } else {
    char text[128];
    std::snprintf(text, sizeof text, "The %d invalid links to calls ware removed from Hotlists tree.", count);
    ShowMessage(text, IMessageSink::Icon::Information);
  }
  return count;
}

ICollectionTree::Item AddGroup(CCollectionStore& store, ICollectionTree& tree, ICollectionTree::Item parent,
                               const std::string& label, bool edit) {
  if (!parent) return nullptr;
  CollectionEntry entry;
  entry.id = store.NextId();
  if (entry.id < 0) entry.id = 0;
  entry.parentId = tree.EntryId(parent);
  entry.name = label.empty() ? store.GetTraits().newGroupLabel : label;
  entry.isGroup = 1;
  if (!store.Add(entry)) return nullptr;
  auto item = tree.AppendItem(parent, entry.name, entry.id, true);
  tree.SetHasChildren(parent, true);
  if (edit) {
    tree.SelectItem(item);
    tree.EditLabel(item);
  }
  return item;
}

std::string LinkLabel(const std::string& path) { return FileNameStem(path) + ".zel"; }

ICollectionTree::Item AddLink(CCollectionStore& store, ICollectionTree& tree, ICollectionTree::Item parent,
                              const std::string& path, bool checkLabel) {
  if (path.empty() || !parent) return nullptr;
  const std::string label = LinkLabel(path);
  if (checkLabel) {
    for (auto child = tree.FirstChild(parent); child; child = tree.NextSibling(child)) {
      if (tree.Label(child) == label) return nullptr;
    }
  }
  CollectionEntry entry;
  entry.id = store.NextId();
  if (entry.id < 0) entry.id = 0;
  entry.parentId = tree.EntryId(parent);
  entry.name = label;
  entry.target = path;
  entry.isGroup = 0;
  if (!store.Add(entry)) return nullptr;
  auto item = tree.AppendItem(parent, label, entry.id, false);
  tree.SetHasChildren(parent, true);
  tree.SelectItem(item);
  return item;
}

}  // namespace zel
