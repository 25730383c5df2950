#pragma once
#include <QDialog>
#include <QFileDialog>
#include <QPointer>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "organiser/SearchCriteria.h"

namespace zel {
class CreateListForm;
}
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

// "Create Recording List": the folders to search (with or without their sub-folders),
// the date rule, the length and the caller rules of a search. On OK, Criteria() gives
// what the user chose.
class CCreateRecordingListDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CCreateRecordingListDlg(QWidget* parent = nullptr, const std::vector<std::string>& folders = {});
  ~CCreateRecordingListDlg() override;

  SearchCriteria Criteria() const;

  // What the folder picker does with the folder the user picked.
  void AddFolder(const QString& folder);
  // The open folder picker, null when none is open.
  QFileDialog* FolderPicker() const { return picker_; }

  QListWidget* SourceList() const { return sources_; }
  QCheckBox* SubfoldersBox() const { return subfolders_; }
  QPushButton* AddButton() const { return add_; }
  QPushButton* RemoveButton() const { return remove_; }
  QPushButton* CompileButton() const { return compile_; }
  QLineEdit* NameMaskEdit() const { return nameMask_; }
  QLineEdit* CallerIdMaskEdit() const { return callerMask_; }
  QLineEdit* CommentMaskEdit() const { return commentMask_; }
  // By date rule number (0 all dates .. 4 the range).
  QRadioButton* DateButton(int mode) const { return dates_.at(static_cast<size_t>(mode)); }
  QDateEdit* AfterPicker() const { return after_; }
  QDateEdit* BeforePicker() const { return before_; }
  QRadioButton* AllCallsButton() const { return allCalls_; }
  QRadioButton* LongerCallsButton() const { return longerCalls_; }
  QSpinBox* MinutesSpin() const { return minutes_; }

 private:
  void OpenPicker();
  void RemoveLine();
  void SubfoldersToggled(bool on);
  void DateRuleChosen(int mode);
  void LengthChosen(bool limit);
  void DatesChanged();
  // Shows the form's lines, selection and the states that follow from them.
  void ShowFolders();

  std::unique_ptr<zel::CreateListForm> form_;
  QListWidget* sources_;
  QCheckBox* subfolders_;
  QPushButton* add_;
  QPushButton* remove_;
  QLineEdit* nameMask_;
  QLineEdit* callerMask_;
  QLineEdit* commentMask_;
  std::array<QRadioButton*, 5> dates_{};
  QLabel* afterLabel_;
  QLabel* beforeLabel_;
  QDateEdit* after_;
  QDateEdit* before_;
  QRadioButton* allCalls_;
  QRadioButton* longerCalls_;
  QSpinBox* minutes_;
  QLabel* minutesUnit_;
  QPushButton* compile_;
  QPushButton* cancel_;
  QPointer<QFileDialog> picker_;
};
