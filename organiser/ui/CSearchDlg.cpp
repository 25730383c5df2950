#include "organiser/ui/CSearchDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "toolkit/ui/OkCancelButtons.h"

CSearchDlg::CSearchDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Search for specific calls"));
  field_ = new QComboBox(this);
  field_->addItems({QStringLiteral("User ID"), QStringLiteral("Caller ID"), QStringLiteral("Comment"),
                    QStringLiteral("All")});
  field_->setCurrentIndex(static_cast<int>(zel::ListSearchField::All));
  direction_ = new QComboBox(this);
  direction_->addItems({QStringLiteral("Both"), QStringLiteral("Incoming Only"), QStringLiteral("Outgoing Only")});
  direction_->setCurrentIndex(static_cast<int>(zel::ListSearchDirection::Both));
  text_ = new QLineEdit(this);
  text_->setMaxLength(kMaxText);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Search &in:"), field_);
  form->addRow(QStringLiteral("&Direction:"), direction_);
  form->addRow(QStringLiteral("&For:"), text_);
  field_->setAccessibleName(QStringLiteral("Search in:"));
  direction_->setAccessibleName(QStringLiteral("Direction:"));
  text_->setAccessibleName(QStringLiteral("For:"));

  auto* note = new QLabel(QStringLiteral("Please note that the chevrons '<' and '>' are not required to be entered "
                                         "when searching for incoming or outgoing calls."),
                          this);
  note->setWordWrap(true);

  QDialogButtonBox* buttons = zelgui::OkCancelButtons(this);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addWidget(buttons);
  text_->setFocus();
}

zel::ListSearchField CSearchDlg::Field() const { return static_cast<zel::ListSearchField>(field_->currentIndex()); }

zel::ListSearchDirection CSearchDlg::Direction() const {
  return static_cast<zel::ListSearchDirection>(direction_->currentIndex());
}

QString CSearchDlg::Text() const { return text_->text(); }

std::string CSearchDlg::Mask() const { return zel::ListSearchMask(text_->text().toStdString()); }

void CSearchDlg::SetField(zel::ListSearchField field) { field_->setCurrentIndex(static_cast<int>(field)); }

void CSearchDlg::SetDirection(zel::ListSearchDirection direction) {
  direction_->setCurrentIndex(static_cast<int>(direction));
}

void CSearchDlg::SetText(const QString& text) { text_->setText(text.left(kMaxText)); }
