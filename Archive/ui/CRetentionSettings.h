#pragma once
#include <QWidget>
#include <functional>

#include "Archive/CRetention.h"
#include "toolkit/ui/CAsyncTask.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTreeWidget;

// The retention rule's page beside the archive settings: what is removed, how, from
// which folders; a preview of what a run would remove, and a run on demand. Bound to
// a copy of the rule that Apply hands back to CRetention.
class CRetentionSettings : public QWidget {
  Q_OBJECT
 public:
  explicit CRetentionSettings(QWidget* parent = nullptr);
  ~CRetentionSettings() override;

  // Saves "retention.xml" when the page was edited; false when it could not be written (the user is told).
  bool Apply();
  const CRetention::Settings& Values() const { return settings_; }
  // Lists what a run of the rule as shown would remove and keep, without saving it.
  void Preview();
  // Asks, saves the rule and runs it.
  void RunNow();
  bool Busy() const { return task_.IsRunning(); }

  QCheckBox* EnabledBox() const { return enabled_; }
  QSpinBox* DaysBox() const { return days_; }
  QSpinBox* SecondsBox() const { return seconds_; }
  QComboBox* ActionBox() const { return action_; }
  QListWidget* FolderList() const { return folders_; }
  QPushButton* AddButton() const { return add_; }
  QTreeWidget* Outcome() const { return outcome_; }
  QLabel* Summary() const { return summary_; }
  // Picks a folder (title); tests replace it.
  std::function<QString(const QString&)> folderPicker;

 signals:
  void changed();

 private:
  void Load();
  void Show(const CRetention::Result& result, bool run);
  void SetBusy(bool busy);
  CRetention::Settings settings_;
  QCheckBox* enabled_;
  QSpinBox* days_;
  QSpinBox* seconds_;
  QComboBox* action_;
  QListWidget* folders_;
  QPushButton* add_;
  QPushButton* remove_;
  QPushButton* preview_;
  QPushButton* run_;
  QTreeWidget* outcome_;
  QLabel* summary_;
  bool loading_ = false;
  bool edited_ = false;  // saved only when edited: zelctl may have changed the file meanwhile
  CAsyncTask task_;
};
