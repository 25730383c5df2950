#include "organiser/ui/CDecryptionDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolkit/ui/OkCancelButtons.h"

CDecryptionDlg::CDecryptionDlg(QWidget* parent, const QString& passphrase, bool savePassphrase) : QDialog(parent) {
  setWindowTitle(tr("Decryption"));
  auto* intro = new QLabel(tr("Encrypted recordings are opened with this passphrase."), this);
  intro->setWordWrap(true);
  auto* label = new QLabel(tr("&Passphrase:"), this);
  passphrase_ = new QLineEdit(passphrase, this);
  passphrase_->setEchoMode(QLineEdit::Password);
  passphrase_->setAccessibleName(tr("Passphrase"));
  label->setBuddy(passphrase_);
  show_ = new QCheckBox(tr("S&how the passphrase"), this);
  show_->setAccessibleName(tr("Show the passphrase"));
  remember_ = new QCheckBox(tr("&Remember this Passphrase on my PC."), this);
  remember_->setAccessibleName(tr("Remember this Passphrase on my PC."));
  remember_->setChecked(savePassphrase);
  QDialogButtonBox* buttons = zelgui::OkCancelButtons(this);
  ok_ = buttons->button(QDialogButtonBox::Ok);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(intro);
  layout->addWidget(label);
  layout->addWidget(passphrase_);
  layout->addWidget(show_);
  layout->addWidget(remember_);
  layout->addStretch(1);
  layout->addWidget(buttons);

  connect(show_, &QCheckBox::toggled, this,
          [this](bool on) { passphrase_->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password); });
  passphrase_->setFocus();
  passphrase_->selectAll();
  resize(sizeHint().expandedTo(QSize(360, 0)));
}

CDecryptionDlg::~CDecryptionDlg() = default;

QString CDecryptionDlg::Passphrase() const { return passphrase_->text().trimmed(); }

bool CDecryptionDlg::SavePassphrase() const { return remember_->isChecked(); }
