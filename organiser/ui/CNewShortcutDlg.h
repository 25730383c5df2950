#pragma once
#include <QDialog>
#include <string>

class CCollectionStore;
class CGroupPicker;
class QLabel;
class QLineEdit;
class QPushButton;

// "New Shortcut": a name and the parent group of a new shortcut, and, when the
// caller has no folder yet, the folder it leads to. OK stays disabled until a
// name is typed, a parent group is chosen and (when asked) an existing folder
// given.
class CNewShortcutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CNewShortcutDlg(CCollectionStore& store, QWidget* parent = nullptr);

  void SetName(const std::string& name);
  void SetParentId(int id);
  // Shows the folder line (hidden by default, for callers that know the folder).
  void SetAskForFolder(bool ask);
  void SetFolder(const std::string& folder);

  std::string Name() const;
  int ParentId() const;
  std::string Folder() const;

  QLineEdit* NameEdit() const { return name_; }
  QLineEdit* FolderEdit() const { return folder_; }
  CGroupPicker* Groups() const { return groups_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  void UpdateOk();
  void Browse();

  QLineEdit* name_;
  CGroupPicker* groups_;
  QLabel* folderLabel_;
  QLineEdit* folder_;
  QPushButton* browse_;
  QPushButton* ok_;
  bool askFolder_ = false;
};
