#pragma once
#include <QWizard>
#include <memory>

#include "Archive/ui/CArchiveWizardBase.h"

class CZelVelomarView;

// The archive wizard over a recording list window: five pages and the status
// panel at their side. The main window shows it modally.
class CArchiveWizard : public QWizard {
  Q_OBJECT
 public:
  explicit CArchiveWizard(CZelVelomarView* view, QWidget* parent = nullptr);
  ~CArchiveWizard() override;

  CArchiveWizardBase::Shared& State() { return *shared_; }
  CArchiveWizardStatusDlg* StatusPanel() const { return shared_->Status; }
  void reject() override;

 private:
  std::shared_ptr<CArchiveWizardBase::Shared> shared_;
};
