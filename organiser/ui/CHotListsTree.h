#pragma once
#include "organiser/ui/CCollectionTree.h"

class CHotLists;
class QMimeData;

// "My Calls for Review": groups of links to single recordings. Recording files
// dropped or pasted on a group become links; the links can be played, copied and
// dragged out as files.
class CHotListsTree : public CCollectionTree {
  Q_OBJECT
 public:
  enum Command {
    kPlay = 33069,
    kSelectAll = 33070,
    kCopy = 33071,
    kPaste = 33072,
    kDelete = 33073,
    kNewGroup = 33074,
    kRename = 33075,
    kClear = 33076,
    kRemoveDuplicates = 33077,
    kExplore = 33078,
    kCreateList = 33079,
    kValidate = 33080,
  };

  explicit CHotListsTree(CHotLists& store, QWidget* parent = nullptr);

  std::unique_ptr<QMenu> CreateContextMenu(QTreeWidgetItem* item) override;
  bool RunCommand(int id, QTreeWidgetItem* item) override;

  // Adds links to `files` under the group of `item` (a link's own group), skipping
  // labels the group already holds and folders. Returns the number added.
  int AddLinks(QTreeWidgetItem* item, const std::vector<std::string>& files);

 protected:
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;
  Qt::DropActions supportedDropActions() const override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void Play(QTreeWidgetItem* item);
  std::string TargetOf(const QTreeWidgetItem* item);
};
