#pragma once
#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;

// "Decryption": the passphrase for encrypted recordings and whether to remember it.
class CDecryptionDlg : public QDialog {
  Q_OBJECT
 public:
  CDecryptionDlg(QWidget* parent, const QString& passphrase, bool savePassphrase);
  ~CDecryptionDlg() override;

  // The typed passphrase without leading and trailing blanks.
  QString Passphrase() const;
  bool SavePassphrase() const;

  QLineEdit* PassphraseEdit() const { return passphrase_; }
  QCheckBox* RememberBox() const { return remember_; }
  QCheckBox* ShowBox() const { return show_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  QLineEdit* passphrase_;
  QCheckBox* show_;
  QCheckBox* remember_;
  QPushButton* ok_;
};
