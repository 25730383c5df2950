#pragma once
#include <QWidget>
#include <functional>

#include "Archive/CJobArchScheduler.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

// The scheduled archive job's settings, bound to a copy of the scheduler's
// settings that Apply hands back to it.
class CArchiveJobSettings : public QWidget {
  Q_OBJECT
 public:
  explicit CArchiveJobSettings(QWidget* parent = nullptr);

  // Saves "schedule.xml" and forgets the last run time; false when the file could
  // not be written (the user is told).
  bool Apply();
  const CJobArchScheduler::Settings& Values() const { return settings_; }

  QCheckBox* EnabledBox() const { return enabled_; }
  QListWidget* SpaceList() const { return space_; }
  QSpinBox* DaysBox() const { return days_; }
  QDateTimeEdit* TimeEdit() const { return time_; }
  QLineEdit* PathEdit() const { return path_; }
  QLineEdit* NameEdit() const { return name_; }
  QCheckBox* ThresholdBox() const { return threshold_; }
  QCheckBox* ClosedRunBox() const { return closedRun_; }
  QSpinBox* SizeBox() const { return size_; }
  QRadioButton* MethodButton(zel::ArchiveType type) const;
  QComboBox* MediaBox() const { return media_; }
  QComboBox* StructureBox() const { return structure_; }
  // Picks a folder (title); tests replace it.
  std::function<QString(const QString&)> folderPicker;
  // Whether a change of the closed-window timer is still being made (or its outcome
  // not yet told) by any sheet, including one already closed. GUI thread only.
  static bool ClosedRunPending();

 signals:
  void changed();

 private:
  void Load();
  void UpdateEnabled();
  QString PickFolder(const QString& title);
  CJobArchScheduler::Settings settings_;
  QCheckBox* enabled_;
  QListWidget* space_;
  QPushButton* add_;
  QPushButton* remove_;
  QRadioButton* all_;
  QRadioButton* unarchived_;
  QSpinBox* days_;
  QDateTimeEdit* time_;
  QComboBox* media_;
  QComboBox* structure_;
  QRadioButton* iso_;
  QRadioButton* disk_;
  QRadioButton* zip_;
  QLineEdit* path_;
  QPushButton* browse_;
  QLineEdit* name_;
  QCheckBox* threshold_;
  QSpinBox* size_;
  QLabel* sizeUnit_;
  std::vector<QWidget*> dependents_;
  bool loading_ = false;
  bool timeEdited_ = false;
  QCheckBox* closedRun_;
  // Installs or removes the systemd user timer beside the program's own timer;
  // systemctl may take a while, so it runs off the GUI thread.
  void ApplyClosedRun(bool wanted, int64_t when);
};
