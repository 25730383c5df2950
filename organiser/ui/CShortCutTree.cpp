#include "organiser/ui/CShortCutTree.h"

#include <QKeyEvent>
#include <QMenu>

#include "organiser/AccessPanelCommands.h"
#include "organiser/CShortCuts.h"
#include "organiser/CollectionCommands.h"
#include "organiser/ui/CNewShortcutDlg.h"

CShortCutTree::CShortCutTree(CShortCuts& store, QWidget* parent) : CCollectionTree(store, parent) {
  setAccessibleName(tr("My Shortcuts"));
  // A double-click on a link lists its folder; on a group it only opens or closes it.
  connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    if (item && !IsGroupItem(item)) RunCommand(kCreateList, item);
  });
}

std::unique_ptr<QMenu> CShortCutTree::CreateContextMenu(QTreeWidgetItem* item) {
  std::unique_ptr<QMenu> menu = NewMenu(item);
  if (!menu) return menu;
  QAction* createList = AddCommand(menu.get(), kCreateList, tr("Create Recording List..."));
  QAction* explore = AddCommand(menu.get(), kExplore, tr("Explore"));
  menu->addSeparator();
  QAction* selectAll = AddCommand(menu.get(), kSelectAll, tr("Select All"));
  menu->addSeparator();
  QAction* newGroup = AddCommand(menu.get(), kNewGroup, tr("New Group"));
  QAction* newShortcut = AddCommand(menu.get(), kNewShortcut, tr("New Shortcut"));
  QAction* rename = AddCommand(menu.get(), kRename, tr("Rename\tF2,Ins"));
  menu->addSeparator();
  QAction* clear = AddCommand(menu.get(), kClear, tr("Clear Shortcuts"));
  QAction* remove = AddCommand(menu.get(), kRemove, tr("Remove\tDel"));

  CollectionEntry entry;
  Store().CopyEntry(EntryIdOf(item), entry);
  const bool isLink = !IsGroupItem(item);
  const size_t selected = SelectedInTreeOrder().size();

  if (!zel::IsFolder(entry.target)) {
    explore->setEnabled(false);
    if (zel::SelectedTargets(Store(), *this, SelectedHandles()).empty()) createList->setEnabled(false);
  }
  if (!item->parent()) {
    rename->setEnabled(false);
    remove->setEnabled(false);
  }
  if (isLink) {
    for (QAction* action : {selectAll, newGroup, newShortcut, clear}) action->setEnabled(false);
  } else if (item->childCount() == 0) {
    selectAll->setEnabled(false);
  }
  if (selected != 1) {
    for (QAction* action : {explore, selectAll, newGroup, newShortcut, rename, clear}) action->setEnabled(false);
  }
  return menu;
}

bool CShortCutTree::RunCommand(int id, QTreeWidgetItem* item) {
  if (!item) return false;
  switch (id) {
    case kCreateList: {
      std::vector<std::string> folders = zel::SelectedTargets(Store(), *this, SelectedHandles());
      if (!folders.empty()) emit createListForFolders(folders);
      return true;
    }
    case kExplore: {
      CollectionEntry entry;
      if (Store().CopyEntry(EntryIdOf(item), entry) && zel::IsFolder(entry.target)) Explore(entry.target);
      return true;
    }
    case kSelectAll:
      SelectAllChildren(item);
      return true;
    case kNewGroup:
      if (zel::AddGroup(Store(), *this, item, "", true)) emit collectionChanged();
      return true;
    case kNewShortcut:
      NewShortcut(item);
      return true;
    case kRename:
      if (item->parent()) EditLabel(item);
      return true;
    case kClear:
      ClearLinks(item);
      return true;
    case kRemove:
      RemoveSelected();
      return true;
    default:
      return false;
  }
}

void CShortCutTree::NewShortcut(QTreeWidgetItem* group) {
  CNewShortcutDlg dialog(Store(), this);
  dialog.SetParentId(EntryIdOf(group));
  dialog.SetAskForFolder(true);
  if (dialog.exec() != QDialog::Accepted) return;
  CollectionEntry entry;
  entry.id = std::max(Store().NextId(), 0);
  entry.parentId = dialog.ParentId();
  entry.name = dialog.Name();
  entry.target = dialog.Folder();
  entry.isGroup = 0;
  if (!Store().Add(entry)) return;
  QTreeWidgetItem* parent = ItemForEntry(entry.parentId);
  if (parent) {
    Item added = AppendItem(parent, entry.name, entry.id, false);
    SetHasChildren(parent, true);
    SelectItem(added);
  }
  emit collectionChanged();
}

void CShortCutTree::RenameCurrent() {
  QTreeWidgetItem* item = currentItem();
  if (item && item->parent() && SelectedInTreeOrder().size() <= 1) EditLabel(item);
}

void CShortCutTree::keyPressEvent(QKeyEvent* event) {
  if (state() != QAbstractItemView::EditingState) {
    switch (event->key()) {
      case Qt::Key_F2:
      case Qt::Key_Insert:
        RenameCurrent();
        return;
      case Qt::Key_Delete:
        RemoveSelected();
        return;
      default:
        break;
    }
  }
  CCollectionTree::keyPressEvent(event);
}
