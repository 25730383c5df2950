#pragma once
#include "Archive/ui/CArchiveWizardBase.h"
#include "toolkit/ui/CAsyncTask.h"

class QGroupBox;
class QRadioButton;

// Step 4: the user starts or cancels the deletion of the archived source
// recordings or the removal of their audio.
class CArchiveWizardPageDeleteConfirm : public CArchiveWizardBase {
  Q_OBJECT
 public:
  explicit CArchiveWizardPageDeleteConfirm(std::shared_ptr<Shared> shared, QWidget* parent = nullptr);
  void initializePage() override;
  // Starts the chosen change of the originals and refuses until it has ended; the
  // wizard then moves on by itself.
  bool validatePage() override;
  QRadioButton* StartButton() const { return start_; }
  QRadioButton* CancelButton() const { return cancel_; }
  QString Title() const;

 private:
  QGroupBox* box_;
  QRadioButton* start_;
  QRadioButton* cancel_;
  CAsyncTask processing_;
};
