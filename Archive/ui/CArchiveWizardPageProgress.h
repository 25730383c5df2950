#pragma once
#include <atomic>

#include "Archive/IProgressBarSink.h"
#include "Archive/ui/CArchiveWizardBase.h"

class QLabel;
class QProgressBar;
class QTimer;

// Step 3: runs the wizard's job on the archive manager's thread. The manager's
// calls arrive on its thread and are posted to this page; the bar also follows
// the run's statistics, which move while the archiver writes.
class CArchiveWizardPageProgress : public CArchiveWizardBase, public IProgressBarSink {
  Q_OBJECT
 public:
  explicit CArchiveWizardPageProgress(std::shared_ptr<Shared> shared, QWidget* parent = nullptr);
  ~CArchiveWizardPageProgress() override;

  void initializePage() override;
  bool isComplete() const override;
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
};
