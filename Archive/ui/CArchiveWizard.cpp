#include "Archive/ui/CArchiveWizard.h"

#include "Archive/ui/CArchivePageSetCalls.h"
#include "Archive/ui/CArchiveWizardPageComplete.h"
#include "Archive/ui/CArchiveWizardPageDefineJob.h"
#include "Archive/ui/CArchiveWizardPageDeleteConfirm.h"
#include "Archive/ui/CArchiveWizardPageProgress.h"
#include "Archive/ui/CArchiveWizardStatusDlg.h"

CArchiveWizard::CArchiveWizard(ArchiveCallList list, QWidget* parent)
    : QWizard(parent), shared_(std::make_shared<CArchiveWizardBase::Shared>()) {
  setWindowTitle(QStringLiteral("Archive Calls"));
  setWizardStyle(QWizard::ClassicStyle);
  setOption(QWizard::NoBackButtonOnStartPage, true);
  setButtonText(QWizard::CommitButton, buttonText(QWizard::NextButton));
  shared_->List = std::move(list);
  shared_->Status = new CArchiveWizardStatusDlg(this);
  setSideWidget(shared_->Status);
  setPage(CArchiveWizardBase::kSetCalls, new CArchivePageSetCalls(shared_, this));
  setPage(CArchiveWizardBase::kDefineJob, new CArchiveWizardPageDefineJob(shared_, this));
  setPage(CArchiveWizardBase::kProgress, new CArchiveWizardPageProgress(shared_, this));
  setPage(CArchiveWizardBase::kDeleteConfirm, new CArchiveWizardPageDeleteConfirm(shared_, this));
  setPage(CArchiveWizardBase::kComplete, new CArchiveWizardPageComplete(shared_, this));
  setStartId(CArchiveWizardBase::kSetCalls);
  shared_->Status->Refresh(shared_->State);
  resize(920, 460);
}

CArchiveWizard::~CArchiveWizard() = default;

void CArchiveWizard::reject() {
  // A running job is stopped first: the archive stays as it was and no original is touched.
  static_cast<CArchiveWizardPageProgress*>(page(CArchiveWizardBase::kProgress))->CancelRun();
  QWizard::reject();
}
