#pragma once
#include <atomic>

#include "Archive/IProgressBarSink.h"
#include "Archive/ui/CArchiveWizardBase.h"

class QLabel;
class QProgressBar;
class QTimer;

// Step 3: runs the wizard's job on the archive manager's thread. The manager's
// calls arrive on its thread and are posted to this page; the bar also follows
// the run's statistics, which move while the archiver writes. The run's log
// entry is saved as the run ends, before any original can be changed. A run
// that archived nothing may be mended: Back leads to the job's settings.
class CArchiveWizardPageProgress : public CArchiveWizardBase, public IProgressBarSink {
  Q_OBJECT
 public:
  explicit CArchiveWizardPageProgress(std::shared_ptr<Shared> shared, QWidget* parent = nullptr);
  ~CArchiveWizardPageProgress() override;

  void initializePage() override;
  // Going back after a run that archived nothing: the job leaves the manager.
  void cleanupPage() override;
  bool isComplete() const override;
  // Stops a running job as the manager's Cancel does: nothing is logged and no
  // original is touched. Returns false when no run was going.
  bool CancelRun();
  int nextId() const override;
  QProgressBar* Bar() const { return bar_; }

  // IProgressBarSink, called on the manager's thread.
  void OnProgress(int percent) override;
  void OnStarted() override;
  void OnFinished(CJobArchListEntry* job) override;

 signals:
  void runFinished();

 private:
  void StartJob();
  void Finish(int logIndex);
  void Poll();
  void LockButtons(bool locked);
  QProgressBar* bar_;
  QLabel* text_;
  QTimer* poll_;
  std::atomic<bool> sinkActive_{false};
  std::atomic<bool> cancelled_{false};
};
