#pragma once
#include "organiser/ui/CCollectionTree.h"

class CShortCuts;

// "My Shortcuts": the shortcut groups and their links to source folders. A link
// (or a group's links) leads to a search of those folders.
class CShortCutTree : public CCollectionTree {
  Q_OBJECT
 public:
  enum Command {
    kCreateList = 32969,
    kExplore = 32970,
    kSelectAll = 32971,
    kNewGroup = 32972,
    kNewShortcut = 32973,
    kRename = 32974,
    kClear = 32975,
    kRemove = 32976,
  };

  explicit CShortCutTree(CShortCuts& store, QWidget* parent = nullptr);

  std::unique_ptr<QMenu> CreateContextMenu(QTreeWidgetItem* item) override;
  bool RunCommand(int id, QTreeWidgetItem* item) override;

 signals:
  // The user asked for a list of the recordings in these folders.
  void createListForFolders(const std::vector<std::string>& folders);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void NewShortcut(QTreeWidgetItem* group);
  void RenameCurrent();
};
