#include "Archive/ui/CArchiveWizardBase.h"

#include <algorithm>

#include "Archive/ui/CArchiveWizardStatusDlg.h"
#include "core/MessageSink.h"
#include "organiser/CZelVelomarDoc.h"

std::vector<const CKlFileListEntry*> CArchiveWizardBase::Shared::Calls(int choice) const {
  std::vector<const CKlFileListEntry*> calls;
  if (!List.document) return calls;
  const CZelVelomarDoc& doc = *List.document;
  if (choice == 0) {
    for (size_t i = 0; i < doc.EntryCount(); ++i) calls.push_back(doc.EntryAt(i));
  } else if (choice == 1) {
    auto indices = List.selected;
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
