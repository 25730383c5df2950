#pragma once
#include <QDialog>
#include <QString>

// "Decryption": the passphrase for encrypted recordings and whether to remember it.
class CDecryptionDlg : public QDialog {
  Q_OBJECT
 public:
  CDecryptionDlg(QWidget* parent, const QString& passphrase, bool savePassphrase);
  ~CDecryptionDlg() override;

  QString Passphrase() const;
  bool SavePassphrase() const;
};
