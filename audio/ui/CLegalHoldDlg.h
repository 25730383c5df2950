#pragma once
#include <QDialog>
#include <string>
#include <vector>

#include "recording/CLegalHolds.h"

class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QWidget;

// "Place on Legal Hold" (a required reason, and whether the hold keeps the chosen
// calls or every call of their caller ids) and "Release Hold" (the holds that apply
// to the chosen calls, to tick off). The holds are set and lifted by CLegalHolds,
// which writes the audit trail's lines.
class CLegalHoldDlg : public QDialog {
  Q_OBJECT
 public:
  struct Call {
    std::string path;
    std::string caller;
  };

  // Runs the dialog for `calls` and applies it; failures are shown. True when a
  // hold was set or released.
  static bool Place(QWidget* parent, const std::vector<Call>& calls);
  static bool Release(QWidget* parent, const std::vector<Call>& calls);

  // Placing a hold on `calls`.
  CLegalHoldDlg(QWidget* parent, std::vector<Call> calls);
  // Releasing some of `holds`.
  CLegalHoldDlg(QWidget* parent, std::vector<CLegalHolds::Hold> holds);
  ~CLegalHoldDlg() override;

  QLineEdit* ReasonEdit() const { return reason_; }
  QRadioButton* CallerButton() const { return byCaller_; }
  QListWidget* HoldList() const { return list_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  void Build(const QString& title, const QString& intro, bool reasonRequired);
  void UpdateOk();
  // Sets or releases what the dialog was accepted with; false with `errors`.
  bool Apply(std::string& errors);

  std::vector<Call> calls_;
  std::vector<CLegalHolds::Hold> holds_;
  bool placing_;
  QLineEdit* reason_ = nullptr;
  QRadioButton* byCall_ = nullptr;
  QRadioButton* byCaller_ = nullptr;
  QListWidget* list_ = nullptr;
  QPushButton* ok_ = nullptr;
};
