#pragma once
#include <QDialog>
#include <string>

#include "toolkit/ui/CAsyncTask.h"

class CAuditTrailModel;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

// "Audit Trail": the lines of the audit trail, filtered by part of the call's path,
// caller id and date, and the check of its chain. Reading and checking run off the
// GUI thread, since a trail may hold millions of lines.
class CAuditTrailDlg : public QDialog {
  Q_OBJECT
 public:
  // `trailPath` empty: the trail of the shared configuration folder.
  explicit CAuditTrailDlg(QWidget* parent = nullptr, const std::string& trailPath = "");
  ~CAuditTrailDlg() override;

  // Reads the trail again with the filters shown.
  void Refresh();
  // Checks the chain; the result appears in VerifyResult().
  void Verify();
  bool Busy() const { return reading_.IsRunning() || verifying_.IsRunning(); }

  CAuditTrailModel* Model() const { return model_; }
  QLineEdit* PathFilter() const { return path_; }
  QLineEdit* CallerFilter() const { return caller_; }
  QCheckBox* SinceBox() const { return sinceOn_; }
  QDateEdit* SinceDate() const { return since_; }
  QPushButton* VerifyButton() const { return verify_; }
  QLabel* VerifyResult() const { return result_; }

 private:
  std::string trailPath_;
  CAuditTrailModel* model_;
  QTableView* table_;
  QLineEdit* path_;
  QLineEdit* caller_;
  QCheckBox* sinceOn_;
  QDateEdit* since_;
  QLabel* count_;
  QLabel* result_;
  QPushButton* verify_;
  QTimer* refresh_;  // coalesces typing into one read
  CAsyncTask reading_;
  CAsyncTask verifying_;
};
