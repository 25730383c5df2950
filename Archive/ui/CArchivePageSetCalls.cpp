#include "Archive/ui/CArchivePageSetCalls.h"

#include <QButtonGroup>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

CArchivePageSetCalls::CArchivePageSetCalls(std::shared_ptr<Shared> shared, QWidget* parent)
    : CArchiveWizardBase(std::move(shared), kSetCalls, parent) {
  setTitle(QStringLiteral("Set Calls to Archive"));
  setSubTitle(QStringLiteral("Choose the calls of the Call List to archive."));
  auto* layout = new QVBoxLayout(this);
  all_ = new QRadioButton(QStringLiteral("&All calls in the Call List"), this);
  selected_ = new QRadioButton(QStringLiteral("&Only selected calls"), this);
  auto* group = new QButtonGroup(this);
  group->addButton(all_, 0);
  group->addButton(selected_, 1);
  layout->addWidget(all_);
  layout->addWidget(selected_);
  layout->addStretch(1);
  if (shared_->List.document && shared_->List.selected.empty()) selected_->setEnabled(false);
  // Toggled, not clicked: a screen reader or the arrow keys check a button without a click.
  connect(group, &QButtonGroup::idToggled, this, [this](int choice, bool checked) {
    if (checked) Choose(choice);
  });
}

void CArchivePageSetCalls::Choose(int choice) {
  shared_->State.SetCalls(choice, shared_->Calls(choice));
  RefreshStatus();
}

bool CArchivePageSetCalls::validatePage() {
  std::string problem = shared_->State.CallsProblem();
  if (!problem.empty()) {
    Complain(problem);
    return false;
  }
  // The list may have changed while the page was shown.
  Choose(shared_->State.CallsChoice());
  return true;
}
