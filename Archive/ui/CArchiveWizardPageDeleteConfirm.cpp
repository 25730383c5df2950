#include "Archive/ui/CArchiveWizardPageDeleteConfirm.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>
#include <QWizard>
#include <filesystem>

#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"

CArchiveWizardPageDeleteConfirm::CArchiveWizardPageDeleteConfirm(std::shared_ptr<Shared> shared, QWidget* parent)
    : CArchiveWizardBase(std::move(shared), kDeleteConfirm, parent) {
  setTitle(QStringLiteral("Original Call Modifications Requested"));
  setSubTitle(QStringLiteral("The archived calls can now be changed at their original place."));
  setCommitPage(true);
  auto* layout = new QVBoxLayout(this);
  box_ = new QGroupBox(this);
  auto* inner = new QVBoxLayout(box_);
  start_ = new QRadioButton(box_);
  cancel_ = new QRadioButton(box_);
  inner->addWidget(start_);
  inner->addWidget(cancel_);
  layout->addWidget(box_);
  layout->addStretch(1);
}

QString CArchiveWizardPageDeleteConfirm::Title() const { return box_->title(); }

void CArchiveWizardPageDeleteConfirm::initializePage() {
  CArchiveWizardBase::initializePage();
  auto labels = CArchiveWizardState::ModificationLabels(shared_->State.MediaProcessing());
  box_->setTitle(QString::fromStdString(labels[0]));
  start_->setText(QString::fromStdString(labels[1]));
  cancel_->setText(QString::fromStdString(labels[2]));
  cancel_->setChecked(true);
}

bool CArchiveWizardPageDeleteConfirm::validatePage() {
  if (start_->isChecked() && !shared_->Processed) {
    // The record first: an original is deleted or stripped only once the log
    // that says where its copy is has been written.
    auto log = Singleton<CArchiveLogger>::Instance();
    if (log->IsDirty()) log->Save();
    if (log->IsDirty()) {
      Complain("The archive log " + log->Path() + " cannot be written; no original recording was deleted or changed.");
      return false;
    }
    shared_->Processed = true;
    auto manager = Singleton<CArchiveManager>::Instance();
    // Thousands of files take a while: the work runs beside the GUI thread while
    // this window keeps answering, its buttons off, and the wizard moves on when it
    // ends (this check then passes).
    setEnabled(false);
    if (QWizard* w = wizard()) w->setEnabled(false);
    processing_ = CAsyncTask::Run(this, [manager] { manager->ProcessSourceRecordings(); }, [this, manager] {
      if (QWizard* w = wizard()) w->setEnabled(true);
      setEnabled(true);
      CJobArchListEntry job;
      if (shared_->List.removeEntry && manager->GetJob(0, job) && job.MediaProcessing() == zel::MediaProcessing::kDelete) {
        // Deleted recordings leave the list window.
        for (const auto& source : job.Sources()) {
          std::error_code error;
          if (!std::filesystem::exists(source.Path(), error)) shared_->List.removeEntry(source.Path());
        }
      }
      if (QWizard* w = wizard()) w->next();
    });
    return false;
  }
  return !processing_.IsRunning();
}
