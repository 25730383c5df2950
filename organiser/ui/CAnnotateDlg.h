#pragma once
#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QPlainTextEdit;

// "Annotate the call": the comment of the recording held by the player (at most 1,024
// characters) and the predefined comments. The caller sets the comment before exec()
// and reads it after OK.
class CAnnotateDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAnnotateDlg(QWidget* parent = nullptr);
  ~CAnnotateDlg() override;

  void SetComment(const QString& comment);
  QString Comment() const;
  // The predefined comments offered, in their order.
  QStringList Phrases() const;
  // A predefined comment chosen: it replaces the comment, keeping the bookmark line
  // of the recording held by the player.
  void ChoosePhrase(const QString& phrase);

 private:
  QComboBox* phrases_;
  QPlainTextEdit* edit_;
};
