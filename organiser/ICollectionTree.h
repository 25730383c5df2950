#pragma once
#include <string>

// What the collection commands need of a tree control showing a CCollectionStore:
// items carry the id of their store entry. Handles are opaque; 0 is "no item".
class ICollectionTree {
 public:
  using Item = void*;
  virtual ~ICollectionTree() = default;

  virtual Item FirstRoot() = 0;
  virtual Item FirstChild(Item item) = 0;
  virtual Item NextSibling(Item item) = 0;
  virtual Item Parent(Item item) = 0;
  virtual int EntryId(Item item) = 0;
  virtual std::string Label(Item item) = 0;
  virtual bool ItemHasChildren(Item item) = 0;
  // Deletes the item and everything below it.
  virtual void DeleteItem(Item item) = 0;
  virtual void SetHasChildren(Item item, bool hasChildren) = 0;
  // Appends an item as the last child of `parent` (0: a root item).
  virtual Item AppendItem(Item parent, const std::string& label, int entryId, bool isGroup) = 0;
  virtual void SelectItem(Item item) = 0;
  virtual void EditLabel(Item item) = 0;
};
