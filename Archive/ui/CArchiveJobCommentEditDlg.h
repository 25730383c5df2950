#pragma once
#include <QDialog>
#include <functional>

class QPlainTextEdit;

// Edits the comment of an archive job (up to 1024 characters).
class CArchiveJobCommentEditDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CArchiveJobCommentEditDlg(const QString& comment, QWidget* parent = nullptr);
  QString Comment() const;
  // Lets the user edit `comment` in this dialog over `parent`, or through `editor`
  // when one is given (tests answer there). False when cancelled; `comment` is then
  // left as it was.
  static bool Edit(QString& comment, QWidget* parent, const std::function<bool(QString&)>& editor);
  QPlainTextEdit* Editor() const { return edit_; }

 private:
  QPlainTextEdit* edit_;
};
