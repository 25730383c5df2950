#pragma once
#include <QTreeWidget>
#include <memory>
#include <string>
#include <vector>

#include "organiser/ICollectionTree.h"

class CCollectionStore;
class IAccessPanelHost;
class QMenu;

// A tree control over a collection store (the Shortcuts or the Calls for Review):
// one item per reachable entry, carrying the entry's id, children under the item
// of their parent. The collection commands of the core work on it through
// ICollectionTree; the two concrete trees add their menus.
class CCollectionTree : public QTreeWidget, public ICollectionTree {
  Q_OBJECT
 public:
  CCollectionTree(CCollectionStore& store, QWidget* parent = nullptr);
  ~CCollectionTree() override;

  // Rebuilds the items from the store, keeping what was expanded and selected.
  void Refresh();

  void SetHost(IAccessPanelHost* host) { host_ = host; }
  CCollectionStore& Store() { return store_; }

  // The context menu for `item` (the item under the cursor) with the current
  // selection; each action carries its command id as data. Null without an item.
  virtual std::unique_ptr<QMenu> CreateContextMenu(QTreeWidgetItem* item) = 0;
  // Runs the menu command `id` on `item`; false for an unknown id.
  virtual bool RunCommand(int id, QTreeWidgetItem* item) = 0;
  static QAction* FindAction(QMenu* menu, int id);

  QTreeWidgetItem* ItemForEntry(int id);
  QTreeWidgetItem* ItemOf(Item item) const { return static_cast<QTreeWidgetItem*>(item); }
  int EntryIdOf(const QTreeWidgetItem* item) const;
  bool IsGroupItem(const QTreeWidgetItem* item) const;
  // The selected items in tree order.
  std::vector<QTreeWidgetItem*> SelectedInTreeOrder() const;

  // ICollectionTree
  Item FirstRoot() override;
  Item FirstChild(Item item) override;
  Item NextSibling(Item item) override;
  Item Parent(Item item) override;
  int EntryId(Item item) override;
  std::string Label(Item item) override;
  bool ItemHasChildren(Item item) override;
  void DeleteItem(Item item) override;
  void SetHasChildren(Item item, bool hasChildren) override;
  Item AppendItem(Item parent, const std::string& label, int entryId, bool isGroup) override;
  void SelectItem(Item item) override;
  void EditLabel(Item item) override;

 signals:
  // The store was edited through this tree (it should be saved soon).
  void collectionChanged();

 protected:
  // Commands shared by both trees.
  void SelectAllChildren(QTreeWidgetItem* group);
  void RemoveSelected();
  void ClearLinks(QTreeWidgetItem* group);
  // Opens `folder` with the desktop's file manager.
  static void Explore(const std::string& folder);
  std::vector<Item> SelectedHandles() const;
  std::unique_ptr<QMenu> NewMenu(QTreeWidgetItem* item);
  QAction* AddCommand(QMenu* menu, int id, const QString& text);

  void contextMenuEvent(QContextMenuEvent* event) override;

  IAccessPanelHost* host_ = nullptr;

 private:
  void OnItemChanged(QTreeWidgetItem* item, int column);
  QTreeWidgetItem* NewItem(const std::string& label, int entryId, bool isGroup);

  CCollectionStore& store_;
  bool filling_ = false;
};
