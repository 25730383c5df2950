#pragma once
#include <QWidget>
#include <functional>

class QListWidget;
class QPushButton;

// The archive history: one line per logged run, with its comment edited,
// its report viewed, or the entry deleted. Apply saves the log, Cancel reads it
// back from the file.
class CArchiveJobsCallsLog : public QWidget {
  Q_OBJECT
 public:
  explicit CArchiveJobsCallsLog(QWidget* parent = nullptr);

  bool Apply();
  void Cancel();
  void EditComment();
  void ViewDetail();
  void Delete();
  QListWidget* List() const { return list_; }
  // Edits a comment; false when cancelled. Tests replace it.
  std::function<bool(QString&)> commentEditor;

 signals:
  void changed();

 private:
  void Fill();
  void UpdateButtons();
  // The log indices of the selected lines, in list order.
  std::vector<int> SelectedIndices() const;
  QListWidget* list_;
  QPushButton* edit_;
  QPushButton* detail_;
  QPushButton* delete_;
};
