#pragma once
#include <QObject>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>

#include "Archive/ui/ArchiveCallList.h"

class QDialog;
class QTimer;
class QWidget;

// The archive commands of the main window: the wizard over a list window, the
// settings and logs sheet, the scheduled run with its progress dialog and the
// scheduled-archive timer. Created once with the main window as parent; loads
// the schedule and arms the timer.
class CArchiveCommands : public QObject {
  Q_OBJECT
 public:
  explicit CArchiveCommands(QWidget* mainWindow);
  ~CArchiveCommands() override;

  // The archive wizard over `list` (its calls or its selection), modal.
  void RunWizard(ArchiveCallList list);
  void ShowSettings();
  void ShowLogs();
  // The scheduled job now: asks to open the settings when it is not enabled.
  void RunScheduledNow();
  // Arms the scheduled-archive timer from the scheduler's next run time (stops
  // it while scheduled archiving is disabled).
  void ArmTimer();

  bool TimerActive() const;
  // When the timer fires (seconds since 1970), 0 while it is not armed.
  int64_t TimerDue() const { return due_; }
  // Runs a modal dialog; tests replace it to act on the dialog instead.
  std::function<int(QDialog&)> execDialog;
  // The box that reports the end of the last scheduled run while it is open.
  QMessageBox* RunReport() const { return report_; }

 private:
  void TimerFired();
  // `asked`: the user's command, else the timer.
  void RunScheduled(bool asked);
  void ShowSheet(int page);
  // The end of a scheduled run, with what it had to say, in a box that is not modal.
  void ShowRunReport(const QString& text, bool success);
  int Exec(QDialog& dialog);
  QPointer<QWidget> window_;
  QPointer<QMessageBox> report_;
  QTimer* timer_;
  int64_t due_ = 0;
  bool running_ = false;
};
