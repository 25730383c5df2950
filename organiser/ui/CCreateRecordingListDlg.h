#pragma once
#include <QDialog>
#include <string>
#include <vector>

#include "organiser/SearchCriteria.h"

// "Create Recording List": the folders to search (with or without their sub-folders),
// the date rule, the length and the caller rules of a search. On OK, Criteria() gives
// what the user chose.
class CCreateRecordingListDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CCreateRecordingListDlg(QWidget* parent = nullptr, const std::vector<std::string>& folders = {});
  ~CCreateRecordingListDlg() override;

  SearchCriteria Criteria() const;
};
