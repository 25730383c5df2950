#include "organiser/ui/CFolderTree.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "organiser/AccessPanelCommands.h"
#include "organiser/ui/DroppedFiles.h"
#include "organiser/CShortCuts.h"
#include "organiser/ui/CNewShortcutDlg.h"

CFolderTree::CFolderTree(CShortCuts& shortcuts, QWidget* parent) : QTreeView(parent), shortcuts_(shortcuts) {
  setAccessibleName(tr("My Explorer"));
  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setNameFilters({QStringLiteral("*.[zZ][eE][lL]")});
  model_->setNameFilterDisables(false);
  model_->setReadOnly(true);
  model_->setRootPath(QDir::rootPath());
  setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::CopyAction);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  SelectPath(QDir::homePath().toStdString());
}

std::string CFolderTree::FolderAt(const QModelIndex& index) const {
  if (!index.isValid() || !model_->isDir(index)) return std::string();
  return model_->filePath(index).toStdString();
}

void CFolderTree::SelectPath(const std::string& path) {
  QModelIndex index = model_->index(QString::fromStdString(path));
  if (!index.isValid()) return;
  setCurrentIndex(index);
  scrollTo(index);
}

std::string CFolderTree::SelectedFolder() const { return FolderAt(currentIndex()); }

std::unique_ptr<QMenu> CFolderTree::CreateContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  const bool folder = !SelectedFolder().empty();
  const std::pair<int, QString> items[] = {{kCreateList, tr("Create Recording List...")},
                                           {kCreateShortcutList, tr("Create Shortcut List...")},
                                           {kAddToShortcuts, tr("Add to Shortcuts...")},
                                           {kExplore, tr("Explore")}};
  for (const auto& [id, text] : items) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    action->setEnabled(folder);
  }
  connect(menu.get(), &QMenu::triggered, this, [this](QAction* action) { RunCommand(action->data().toInt()); });
  return menu;
}

bool CFolderTree::RunCommand(int id) {
  const std::string folder = SelectedFolder();
  switch (id) {
    case kCreateList:
      if (!folder.empty()) emit createListForFolders({folder});
      return true;
    case kCreateShortcutList:
      if (!folder.empty()) AddShortcuts(folder, true);
      return true;
    case kAddToShortcuts:
      if (!folder.empty()) AddShortcuts(folder, false);
      return true;
    case kExplore:
      if (!folder.empty()) QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
      return true;
    default:
      return false;
  }
}

// With `subfolders` one shortcut per direct subfolder (the typed name is not
// used), else one for the folder itself.
void CFolderTree::AddShortcuts(const std::string& folder, bool subfolders) {
  CNewShortcutDlg dialog(shortcuts_, this);
  dialog.SetName(QFileInfo(QString::fromStdString(folder)).fileName().toStdString());
  dialog.SetParentId(0);
  if (dialog.exec() != QDialog::Accepted) return;
  if (subfolders) {
    zel::AddSubfolderShortcuts(shortcuts_, dialog.ParentId(), folder);
  } else {
    CollectionEntry entry;
    entry.id = std::max(shortcuts_.NextId(), 0);
    entry.parentId = dialog.ParentId();
    entry.name = dialog.Name();
    entry.target = folder;
    entry.isGroup = 0;
    shortcuts_.Add(entry);
  }
  emit shortcutsChanged();
}

void CFolderTree::contextMenuEvent(QContextMenuEvent* event) {
  QModelIndex index = indexAt(event->pos());
  if (index.isValid()) setCurrentIndex(index);
  std::unique_ptr<QMenu> menu = CreateContextMenu();
  menu->exec(event->globalPos());
}

void CFolderTree::dragEnterEvent(QDragEnterEvent* event) {
  if (zel::ui::DroppedFiles(event->mimeData()).empty()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CFolderTree::dragMoveEvent(QDragMoveEvent* event) {
  if (FolderAt(indexAt(event->position().toPoint())).empty() || zel::ui::DroppedFiles(event->mimeData()).empty()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CFolderTree::dropEvent(QDropEvent* event) {
  const std::string folder = FolderAt(indexAt(event->position().toPoint()));
  const std::vector<std::string> files = zel::ui::DroppedFiles(event->mimeData());
  if (folder.empty() || files.empty()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  zel::CopyRecordingsToFolder(files, folder);
}
