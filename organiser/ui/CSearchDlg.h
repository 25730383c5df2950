#pragma once
#include <QDialog>
#include <string>

#include "organiser/SearchRules.h"

class QComboBox;
class QLineEdit;

// "Search for specific calls": which texts of the list's recordings to search, which
// call directions to keep and the text to look for.
class CSearchDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kMaxText = 1024;

  explicit CSearchDlg(QWidget* parent = nullptr);

  zel::ListSearchField Field() const;
  zel::ListSearchDirection Direction() const;
  // The typed text as entered.
  QString Text() const;
  // The mask the entries are matched with (upper-cased, wrapped in "*").
  std::string Mask() const;

  void SetField(zel::ListSearchField field);
  void SetDirection(zel::ListSearchDirection direction);
  void SetText(const QString& text);

 private:
  QComboBox* field_;
  QComboBox* direction_;
  QLineEdit* text_;
};
