#pragma once
#include <QDialog>
#include <QString>

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
};
