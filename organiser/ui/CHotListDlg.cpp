#include "organiser/ui/CHotListDlg.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/SingletonRanks.h"
#include "organiser/CHotLists.h"
#include "organiser/ui/CGroupPicker.h"
#include "toolkit/ui/OkCancelButtons.h"

CHotListDlg::CHotListDlg(CHotLists& store, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Calls for Review"));
  groups_ = new CGroupPicker(store, this);
  groups_->setAccessibleName(tr("Calls for Review"));
  QDialogButtonBox* buttons = zelgui::OkCancelButtons(this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(groups_);
  layout->addWidget(buttons);
  connect(groups_, &QTreeWidget::itemSelectionChanged, this, [this] { ok_->setEnabled(GroupId() >= 0); });
  connect(groups_, &QTreeWidget::itemDoubleClicked, this, [this] {
    if (GroupId() >= 0) accept();
  });
  ok_->setEnabled(false);
  resize(320, 360);
}

int CHotListDlg::GroupId() const { return groups_->SelectedId(); }

void CHotListDlg::SetGroupId(int id) { groups_->SelectId(id); }

bool CHotListDlg::Pick(QWidget* parent, int& groupId) {
  CHotListDlg dialog(*Singleton<CHotLists>::Instance(), parent);
  dialog.SetGroupId(groupId);
  if (dialog.exec() != QDialog::Accepted || dialog.GroupId() < 0) return false;
  groupId = dialog.GroupId();
  return true;
}
