#pragma once
#include <QDialog>

class CGroupPicker;
class CHotLists;
class QPushButton;

// "Calls for Review": picks the group that a recording is added to. OK stays
// disabled until a group is chosen.
class CHotListDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CHotListDlg(CHotLists& store, QWidget* parent = nullptr);

  // Shows the dialog over the Calls for Review store with `groupId` chosen first
  // (when it is a group); on OK stores the chosen group in `groupId` and returns true.
  static bool Pick(QWidget* parent, int& groupId);

  int GroupId() const;
  void SetGroupId(int id);
  CGroupPicker* Groups() const { return groups_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  CGroupPicker* groups_;
  QPushButton* ok_;
};
