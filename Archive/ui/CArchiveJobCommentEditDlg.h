#pragma once
#include <QDialog>

class QPlainTextEdit;

// Edits the comment of an archive job (up to 1024 characters).
class CArchiveJobCommentEditDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CArchiveJobCommentEditDlg(const QString& comment, QWidget* parent = nullptr);
  QString Comment() const;
  QPlainTextEdit* Editor() const { return edit_; }

 private:
  QPlainTextEdit* edit_;
};
