#pragma once
#include <QTreeWidget>

class CCollectionStore;

// The groups of a collection store as a tree to pick one from (the dialogs that
// ask where a new shortcut or link goes).
class CGroupPicker : public QTreeWidget {
  Q_OBJECT
 public:
  explicit CGroupPicker(CCollectionStore& store, QWidget* parent = nullptr);

  // The chosen group's id; -1 when none is chosen.
  int SelectedId() const;
  // Chooses the group `id` when the tree shows it.
  void SelectId(int id);
};
