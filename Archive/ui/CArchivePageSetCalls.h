#pragma once
#include "Archive/ui/CArchiveWizardBase.h"

class QRadioButton;

// Step 1: every call of the list window or only its selected calls.
class CArchivePageSetCalls : public CArchiveWizardBase {
  Q_OBJECT
 public:
  explicit CArchivePageSetCalls(std::shared_ptr<Shared> shared, QWidget* parent = nullptr);
  bool validatePage() override;
  QRadioButton* AllButton() const { return all_; }
  QRadioButton* SelectedButton() const { return selected_; }

 private:
  void Choose(int choice);
  QRadioButton* all_;
  QRadioButton* selected_;
};
