#include "Archive/ui/CArchiveWizardBase.h"

#include <algorithm>

#include "Archive/ui/CArchiveWizardStatusDlg.h"
#include "core/MessageSink.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/ui/CZelVelomarView.h"

std::vector<const CKlFileListEntry*> CArchiveWizardBase::Shared::Calls(int choice) const {
  std::vector<const CKlFileListEntry*> calls;
  if (!View) return calls;
  CZelVelomarDoc& doc = View->Document();
  if (choice == 0) {
    for (size_t i = 0; i < doc.EntryCount(); ++i) calls.push_back(doc.EntryAt(i));
  } else if (choice == 1) {
    auto indices = View->SelectedIndices();
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    for (size_t i : indices) {
      if (i < doc.EntryCount()) calls.push_back(doc.EntryAt(i));
    }
  }
  return calls;
}

CArchiveWizardBase::CArchiveWizardBase(std::shared_ptr<Shared> shared, int step, QWidget* parent)
    : QWizardPage(parent), shared_(std::move(shared)), step_(step) {}

void CArchiveWizardBase::initializePage() {
  if (shared_->Status) shared_->Status->SetCurrent(step_);
  RefreshStatus();
}

void CArchiveWizardBase::Complain(const std::string& text) {
  zel::MessageSink()->ShowMessage(text, "Zel Velomar", IMessageSink::Icon::Warning);
}

void CArchiveWizardBase::RefreshStatus() {
  if (shared_->Status) shared_->Status->Refresh(shared_->State);
}
