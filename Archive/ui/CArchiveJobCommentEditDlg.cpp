#include "Archive/ui/CArchiveJobCommentEditDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "Archive/CJobArchListEntry.h"
#include "toolkit/ui/OkCancelButtons.h"

CArchiveJobCommentEditDlg::CArchiveJobCommentEditDlg(const QString& comment, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Archive Job Comment"));
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(QStringLiteral("&Comment:"), this);
  edit_ = new QPlainTextEdit(comment, this);
  edit_->setAccessibleName(QStringLiteral("Comment"));
  label->setBuddy(edit_);
  layout->addWidget(label);
  layout->addWidget(edit_);
  layout->addWidget(zelgui::OkCancelButtons(this));
  resize(420, 220);
}

bool CArchiveJobCommentEditDlg::Edit(QString& comment, QWidget* parent,
                                     const std::function<bool(QString&)>& editor) {
  if (editor) return editor(comment);
  CArchiveJobCommentEditDlg dialog(comment, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  comment = dialog.Comment();
  return true;
}

QString CArchiveJobCommentEditDlg::Comment() const {
  return QString::fromStdString(zel::CutUtf8(edit_->toPlainText().toStdString(), CJobArchListEntry::kCommentWidth));
}
