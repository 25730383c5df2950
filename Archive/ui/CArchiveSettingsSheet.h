#pragma once
#include <QDialog>

class CArchiveJobSettings;
class CArchiveJobsCallsLog;
class CRetentionSettings;
class QPushButton;
class QTabWidget;

// "Diza Didurido Settings and Logs": the scheduled job's settings, the archive
// history and the retention rule as pages with OK, Cancel and Apply.
class CArchiveSettingsSheet : public QDialog {
  Q_OBJECT
 public:
  enum Page { kSettingsPage = 0, kLogPage = 1, kRetentionPage = 2 };
  explicit CArchiveSettingsSheet(Page active, QWidget* parent = nullptr);

  // Applies every page; false when one could not save.
  bool Apply();
  void accept() override;
  void reject() override;
  CArchiveJobSettings* SettingsPage() const { return settings_; }
  CArchiveJobsCallsLog* LogPage() const { return log_; }
  CRetentionSettings* RetentionPage() const { return retention_; }
  QTabWidget* Tabs() const { return tabs_; }

 signals:
  // The schedule was saved: the scheduled-archive timer must be armed again.
  void scheduleApplied();

 private:
  QTabWidget* tabs_;
  CArchiveJobSettings* settings_;
  CArchiveJobsCallsLog* log_;
  CRetentionSettings* retention_;
  QPushButton* apply_ = nullptr;
};
