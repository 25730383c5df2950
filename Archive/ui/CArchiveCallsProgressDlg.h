#pragma once
#include <QDialog>

class QProgressBar;
class QTimer;

// The progress of a scheduled archive run: refreshed once a second from the
// archive manager's statistics; ends with OK when the manager's thread has
// ended, with Cancel when the user cancelled the run.
class CArchiveCallsProgressDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CArchiveCallsProgressDlg(QWidget* parent = nullptr);
  void reject() override;
  QProgressBar* Bar() const { return bar_; }
  // Reads the statistics once (what the timer does every second).
  void Poll();

 private:
  QProgressBar* bar_;
  QTimer* timer_;
};
