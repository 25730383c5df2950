#include "organiser/ui/CHotListsTree.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "core/MessageSink.h"
#include "organiser/AccessPanelCommands.h"
#include "organiser/ui/DroppedFiles.h"
#include "organiser/CHotLists.h"
#include "organiser/CollectionCommands.h"
#include "organiser/ui/IAccessPanelHost.h"

CHotListsTree::CHotListsTree(CHotLists& store, QWidget* parent) : CCollectionTree(store, parent) {
  setAccessibleName(tr("My Calls for Review"));
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::CopyAction);
  connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
    if (item && !IsGroupItem(item)) Play(item);
  });
}

std::string CHotListsTree::TargetOf(const QTreeWidgetItem* item) {
  CollectionEntry entry;
  if (!item || !Store().CopyEntry(EntryIdOf(item), entry)) return std::string();
  return entry.target;
}

std::unique_ptr<QMenu> CHotListsTree::CreateContextMenu(QTreeWidgetItem* item) {
  std::unique_ptr<QMenu> menu = NewMenu(item);
  if (!menu) return menu;
  QAction* play = AddCommand(menu.get(), kPlay, tr("Play"));
  menu->addSeparator();
  QAction* selectAll = AddCommand(menu.get(), kSelectAll, tr("Select All"));
  AddCommand(menu.get(), kCopy, tr("Copy"));
  QAction* paste = AddCommand(menu.get(), kPaste, tr("Paste"));
  QAction* remove = AddCommand(menu.get(), kDelete, tr("Delete"));
  menu->addSeparator();
  QAction* newGroup = AddCommand(menu.get(), kNewGroup, tr("New Calls for Review"));
  QAction* rename = AddCommand(menu.get(), kRename, tr("Rename Calls for Review"));
  QAction* clear = AddCommand(menu.get(), kClear, tr("Clear Calls for Review"));
  QAction* duplicates = AddCommand(menu.get(), kRemoveDuplicates, tr("Remove Duplicates"));
  menu->addSeparator();
  QAction* explore = AddCommand(menu.get(), kExplore, tr("Explore"));
  QAction* createList = AddCommand(menu.get(), kCreateList, tr("Create Recording List..."));
  menu->addSeparator();
  AddCommand(menu.get(), kValidate, tr("Validate Calls for Review"));

  const bool isLink = !IsGroupItem(item);
  const size_t selected = SelectedInTreeOrder().size();
  if (TargetOf(item).empty()) explore->setEnabled(false);
  if (!item->parent()) {
    remove->setEnabled(false);
    rename->setEnabled(false);
  }
  const QMimeData* clipboard = QApplication::clipboard()->mimeData();
  if (clipboard && !clipboard->formats().isEmpty() && zel::ui::DroppedFiles(clipboard).empty()) {
    paste->setEnabled(false);
  }
  if (selected == 0) createList->setEnabled(false);
  if (selected == 1 && isLink) {
    for (QAction* action : {selectAll, newGroup, rename, clear, duplicates}) action->setEnabled(false);
  }
  if (selected != 1) {
    for (QAction* action : {play, selectAll, newGroup, rename, clear, duplicates, explore}) action->setEnabled(false);
  }
  return menu;
}

bool CHotListsTree::RunCommand(int id, QTreeWidgetItem* item) {
  if (!item) return false;
  switch (id) {
    case kPlay:
      Play(item);
      return true;
    case kSelectAll:
      SelectAllChildren(item);
      return true;
    case kCopy: {
      QList<QUrl> urls;
      for (QTreeWidgetItem* selected : SelectedInTreeOrder()) {
        const std::string target = IsGroupItem(selected) ? std::string() : TargetOf(selected);
        if (!target.empty()) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(target)));
      }
      if (!urls.isEmpty()) {
        auto* data = new QMimeData;
        data->setUrls(urls);
        QApplication::clipboard()->setMimeData(data);
      }
      return true;
    }
    case kPaste:
      AddLinks(item, zel::ui::DroppedFiles(QApplication::clipboard()->mimeData()));
      return true;
    case kDelete:
      RemoveSelected();
      return true;
    case kNewGroup:
      if (zel::AddGroup(Store(), *this, item, "", true)) emit collectionChanged();
      return true;
    case kRename:
      if (item->parent()) EditLabel(item);
      return true;
    case kClear:
      ClearLinks(item);
      return true;
    case kRemoveDuplicates:
      if (zel::RemoveDuplicates(Store(), *this, item) > 0) emit collectionChanged();
      return true;
    case kExplore: {
      const std::string target = TargetOf(item);
      if (!target.empty()) Explore(zel::ContainingFolder(target));
      return true;
    }
    case kCreateList: {
      std::vector<QTreeWidgetItem*> selected = SelectedInTreeOrder();
      if (selected.empty()) return true;
      std::vector<std::string> paths = zel::SelectedTargets(Store(), *this, SelectedHandles());
      if (host_) host_->OpenRecordingList(paths);
      return true;
    }
    case kValidate:
      if (zel::ValidateLinks(Store(), *this) > 0) emit collectionChanged();
      return true;
    default:
      return false;
  }
}

void CHotListsTree::Play(QTreeWidgetItem* item) {
  std::string target;
  if (!IsGroupItem(item)) {
    target = TargetOf(item);
  } else if (item->childCount() > 0) {
    target = TargetOf(item->child(0));
  }
  if (target.empty() || !host_ || !host_->PlayRecording(target)) {
    zel::ShowMessage("No files have been selected to play.", IMessageSink::Icon::Warning);
  }
}

int CHotListsTree::AddLinks(QTreeWidgetItem* item, const std::vector<std::string>& files) {
  QTreeWidgetItem* group = item && !IsGroupItem(item) ? item->parent() : item;
  int added = 0;
  for (const std::string& file : files) {
    if (QFileInfo(QString::fromStdString(file)).isDir()) continue;
    if (zel::AddLink(Store(), *this, group, file)) ++added;
  }
  if (added > 0) emit collectionChanged();
  return added;
}

// Dragging links out gives the recordings as a file list; dropping files in adds links.

QStringList CHotListsTree::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* CHotListsTree::mimeData(const QList<QTreeWidgetItem*>& items) const {
  QList<QUrl> urls;
  auto& self = const_cast<CHotListsTree&>(*this);
  for (QTreeWidgetItem* item : items) {
    if (IsGroupItem(item)) continue;
    const std::string target = self.TargetOf(item);
    if (!target.empty()) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(target)));
  }
  if (urls.isEmpty()) return nullptr;
  auto* data = new QMimeData;
  data->setUrls(urls);
  return data;
}

Qt::DropActions CHotListsTree::supportedDropActions() const { return Qt::CopyAction; }

void CHotListsTree::dragEnterEvent(QDragEnterEvent* event) {
  if (zel::ui::DroppedFiles(event->mimeData()).empty()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CHotListsTree::dragMoveEvent(QDragMoveEvent* event) {
  QTreeWidgetItem* item = itemAt(event->position().toPoint());
  if (!item || zel::ui::DroppedFiles(event->mimeData()).empty()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CHotListsTree::dropEvent(QDropEvent* event) {
  QTreeWidgetItem* item = itemAt(event->position().toPoint());
  std::vector<std::string> files = zel::ui::DroppedFiles(event->mimeData());
  if (!item || files.empty()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  AddLinks(item, files);
}
