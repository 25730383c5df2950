#pragma once
#include <QTreeView>
#include <memory>
#include <string>
#include <vector>

class CShortCuts;
class QFileSystemModel;
class QMenu;

// "My Explorer": the file system's folders and recordings. A folder leads to a
// list of its recordings or to new shortcuts; recordings dropped on a folder are
// copied there.
class CFolderTree : public QTreeView {
  Q_OBJECT
 public:
  enum Command {
    kCreateList = 32869,
    kAddToShortcuts = 32870,
    kExplore = 32871,
    kCreateShortcutList = 32872,
  };

  explicit CFolderTree(CShortCuts& shortcuts, QWidget* parent = nullptr);

  QFileSystemModel* Model() const { return model_; }
  // The path of `index`, or empty when it is not a folder.
  std::string FolderAt(const QModelIndex& index) const;
  // Shows and selects `path`.
  void SelectPath(const std::string& path);

  // The context menu for the selected item; actions carry their command ids.
  std::unique_ptr<QMenu> CreateContextMenu();
  bool RunCommand(int id);

 signals:
  void createListForFolders(const std::vector<std::string>& folders);
  // Shortcuts were added to the store.
  void shortcutsChanged();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  std::string SelectedFolder() const;
  void AddShortcuts(const std::string& folder, bool subfolders);

  CShortCuts& shortcuts_;
  QFileSystemModel* model_;
};
