#include "organiser/ui/CNewShortcutDlg.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "organiser/AccessPanelCommands.h"
#include "organiser/ui/CGroupPicker.h"
#include "toolkit/ui/OkCancelButtons.h"

CNewShortcutDlg::CNewShortcutDlg(CCollectionStore& store, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("New Shortcut"));
  auto* nameLabel = new QLabel(tr("Shortcut &Name:"), this);
  name_ = new QLineEdit(this);
  name_->setAccessibleName(tr("Shortcut Name:"));
  nameLabel->setBuddy(name_);
  auto* groupsLabel = new QLabel(tr("Please select a parent item for new shortcut:"), this);
  groups_ = new CGroupPicker(store, this);
  groups_->setAccessibleName(tr("Please select a parent item for new shortcut:"));
  groupsLabel->setBuddy(groups_);
  folderLabel_ = new QLabel(tr("&Folder:"), this);
  folder_ = new QLineEdit(this);
  folder_->setAccessibleName(tr("Folder:"));
  folderLabel_->setBuddy(folder_);
  browse_ = new QPushButton(tr("&Browse..."), this);
  browse_->setAccessibleName(tr("Browse..."));
  QDialogButtonBox* buttons = zelgui::OkCancelButtons(this);
  ok_ = buttons->button(QDialogButtonBox::Ok);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(nameLabel);
  layout->addWidget(name_);
  auto* folderRow = new QGridLayout;
  folderRow->addWidget(folderLabel_, 0, 0, 1, 2);
  folderRow->addWidget(folder_, 1, 0);
  folderRow->addWidget(browse_, 1, 1);
  layout->addLayout(folderRow);
  layout->addWidget(groupsLabel);
  layout->addWidget(groups_, 1);
  layout->addWidget(buttons);
  setTabOrder(name_, folder_);
  setTabOrder(folder_, browse_);
  setTabOrder(browse_, groups_);
  setTabOrder(groups_, buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(name_, &QLineEdit::textChanged, this, &CNewShortcutDlg::UpdateOk);
  connect(folder_, &QLineEdit::textChanged, this, &CNewShortcutDlg::UpdateOk);
  connect(groups_, &QTreeWidget::itemSelectionChanged, this, &CNewShortcutDlg::UpdateOk);
  connect(browse_, &QPushButton::clicked, this, &CNewShortcutDlg::Browse);
  SetAskForFolder(false);
  resize(360, 400);
}

void CNewShortcutDlg::SetName(const std::string& name) { name_->setText(QString::fromStdString(name)); }

void CNewShortcutDlg::SetParentId(int id) { groups_->SelectId(id); }

void CNewShortcutDlg::SetAskForFolder(bool ask) {
  askFolder_ = ask;
  folderLabel_->setVisible(ask);
  folder_->setVisible(ask);
  browse_->setVisible(ask);
  UpdateOk();
}

void CNewShortcutDlg::SetFolder(const std::string& folder) { folder_->setText(QString::fromStdString(folder)); }

std::string CNewShortcutDlg::Name() const { return name_->text().trimmed().toStdString(); }

int CNewShortcutDlg::ParentId() const { return groups_->SelectedId(); }

std::string CNewShortcutDlg::Folder() const { return folder_->text().trimmed().toStdString(); }

void CNewShortcutDlg::UpdateOk() {
  bool ok = !Name().empty() && ParentId() >= 0;
  if (askFolder_) ok = ok && zel::IsFolder(Folder());
  ok_->setEnabled(ok);
}

void CNewShortcutDlg::Browse() {
  const QString folder = QFileDialog::getExistingDirectory(this, tr("Folder:"), folder_->text());
  if (folder.isEmpty()) return;
  folder_->setText(folder);
  if (name_->text().trimmed().isEmpty()) name_->setText(QFileInfo(folder).fileName());
}
