#pragma once
#include <QWizardPage>
#include <memory>
#include <vector>

#include "Archive/CArchiveWizardState.h"
#include "Archive/ui/ArchiveCallList.h"

class CArchiveWizardStatusDlg;
class CKlFileListEntry;

// The base of the archive wizard's pages: the wizard's shared state, the list the
// calls come from and the status panel.
class CArchiveWizardBase : public QWizardPage {
  Q_OBJECT
 public:
  enum Step { kSetCalls = 0, kDefineJob, kProgress, kDeleteConfirm, kComplete };

  struct Shared {
    CArchiveWizardState State;
    ArchiveCallList List;
    CArchiveWizardStatusDlg* Status = nullptr;
    int JobState = 0;        // 0 not started, 1 queued, 2 started
    bool Finished = false;   // the run has ended
    bool Processed = false;  // the source recordings were processed
    // The list's recordings for `choice` (0 all, 1 selected), in list order.
    std::vector<const CKlFileListEntry*> Calls(int choice) const;
  };

  CArchiveWizardBase(std::shared_ptr<Shared> shared, int step, QWidget* parent = nullptr);

  void initializePage() override;

 protected:
  // Tells the user `text` (OK only); the page stays.
  static void Complain(const std::string& text);
  void RefreshStatus();

  std::shared_ptr<Shared> shared_;
  int step_;
};
