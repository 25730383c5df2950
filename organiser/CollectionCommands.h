#pragma once
#include <string>

#include "organiser/ICollectionTree.h"

class CCollectionStore;

// The commands of the collection trees, over the store and the tree control, so
// that the window only forwards to them. Messages go through zel::ShowMessage.
namespace zel {

// Removes all but one of each set of direct children of `group` that share a
// label (exact case), from the store and the tree. Shows "No duplicates found." or
// "%d entries removed as duplicates."; returns the number removed.
int RemoveDuplicates(CCollectionStore& store, ICollectionTree& tree, ICollectionTree::Item group);

// Removes every link whose target no longer exists, from the store and the tree;
// groups stay. Shows the count ("The %d invalid links to calls ware removed from
// Hotlists tree.") or "All links to calls are valid."; returns the count.
int ValidateLinks(CCollectionStore& store, ICollectionTree& tree);

// Adds a group under `parent` labelled `label` (the store's new-group label when
// empty); selects it and opens its label for editing when `edit`. Returns the
// new item, or 0 without a parent.
ICollectionTree::Item AddGroup(CCollectionStore& store, ICollectionTree& tree, ICollectionTree::Item parent,
                               const std::string& label, bool edit);

// The label of a link to `path`: its file name without extension, then ".zel".
std::string LinkLabel(const std::string& path);

// Adds a link to `path` under `parent` and selects it. Refused (0 returned) when
// `path` is empty, there is no parent, or (with `checkLabel`) a direct child of
// `parent` already carries the label.
ICollectionTree::Item AddLink(CCollectionStore& store, ICollectionTree& tree, ICollectionTree::Item parent,
                              const std::string& path, bool checkLabel = true);

// Removes the item's entry from the store and, when that succeeds, the item (with
// its subtree) from the tree; the parent loses its children mark when the store
// holds no more children for it. Entries below a removed group stay in the store.
bool RemoveItem(CCollectionStore& store, ICollectionTree& tree, ICollectionTree::Item item);

}  // namespace zel
