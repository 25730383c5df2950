#pragma once
#include <QWizard>
#include <memory>

#include "Archive/ui/CArchiveWizardBase.h"

// The archive wizard over a recording list: five pages and the status panel at
// their side. The main window shows it modally.
class CArchiveWizard : public QWizard {
  Q_OBJECT
 public:
  explicit CArchiveWizard(ArchiveCallList list, QWidget* parent = nullptr);
  ~CArchiveWizard() override;

  CArchiveWizardBase::Shared& State() { return *shared_; }
  CArchiveWizardStatusDlg* StatusPanel() const { return shared_->Status; }
  void reject() override;

 private:
  std::shared_ptr<CArchiveWizardBase::Shared> shared_;
};
