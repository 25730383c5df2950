#pragma once
#include <QWidget>
#include <vector>

class CArchiveWizardState;
class QLabel;

// The archive wizard's side panel: the five steps, each pending, done or current,
// and the job's choices so far.
class CArchiveWizardStatusDlg : public QWidget {
  Q_OBJECT
 public:
  explicit CArchiveWizardStatusDlg(QWidget* parent = nullptr);

  // Step `current` (0..4) is the current one, the steps before it are done.
  void SetCurrent(int current);
  void Refresh(const CArchiveWizardState& state);
  QString StepText(int step) const;
  QString InfoText(int line) const;

 private:
  std::vector<QLabel*> steps_;
  std::vector<QLabel*> info_;
};
