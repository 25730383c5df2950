#include "organiser/ui/CAnnotateDlg.h"

#include <QComboBox>
#include <algorithm>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "audio/CPlaybackManager.h"
#include "audio/CRecordingEdits.h"
#include "organiser/PredefinedComments.h"
#include "toolkit/ui/OkCancelButtons.h"

namespace {

constexpr int kMaxComment = 1024;

// A comment edit that refuses text beyond the header's comment field.
class CCommentEdit : public QPlainTextEdit {
 public:
  explicit CCommentEdit(QWidget* parent) : QPlainTextEdit(parent) {
    connect(this, &QPlainTextEdit::textChanged, this, &CCommentEdit::Limit);
  }

 private:
  void Limit() {
    const QString text = toPlainText();
    if (text.size() <= kMaxComment) return;
    // Typed or pasted text that does not fit is refused where it went in.
    QTextCursor cursor = textCursor();
    const int position = cursor.position();
    const int excess = static_cast<int>(text.size()) - kMaxComment;
    const int from = std::max(0, position - excess);
    QString kept = text;
    kept.remove(from, excess);
    if (kept.size() > kMaxComment) kept.truncate(kMaxComment);
    const QSignalBlocker block(this);
    setPlainText(kept);
    cursor = textCursor();
    cursor.setPosition(std::min(from, static_cast<int>(kept.size())));
    setTextCursor(cursor);
  }
};

}  // namespace

CAnnotateDlg::CAnnotateDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Annotate the call"));
  auto* phrasesLabel = new QLabel(QStringLiteral("&Predefined comments:"), this);
  phrases_ = new QComboBox(this);
  phrases_->setAccessibleName(QStringLiteral("Predefined comments:"));
  phrasesLabel->setBuddy(phrases_);
  for (const std::string& phrase : zel::ReadPredefinedComments(zel::PredefinedCommentsPath()))
    phrases_->addItem(QString::fromStdString(phrase));
  phrases_->setCurrentIndex(-1);
  phrases_->setPlaceholderText(QStringLiteral("Choose a comment"));

  auto* commentLabel = new QLabel(QStringLiteral("&Comment:"), this);
  edit_ = new CCommentEdit(this);
  edit_->setAccessibleName(QStringLiteral("Comment"));
  edit_->setTabChangesFocus(true);
  commentLabel->setBuddy(edit_);

  QDialogButtonBox* buttons = zelgui::OkCancelButtons(this);
  connect(phrases_, &QComboBox::activated, this, [this](int index) { ChoosePhrase(phrases_->itemText(index)); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(phrasesLabel);
  layout->addWidget(phrases_);
  layout->addWidget(commentLabel);
  layout->addWidget(edit_, 1);
  layout->addWidget(buttons);
  // The dialog's controls stand on white.
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  setAutoFillBackground(true);
  resize(460, 300);
  edit_->setFocus();
}

CAnnotateDlg::~CAnnotateDlg() = default;

void CAnnotateDlg::SetComment(const QString& comment) { edit_->setPlainText(comment.left(kMaxComment)); }

QString CAnnotateDlg::Comment() const { return edit_->toPlainText(); }

QStringList CAnnotateDlg::Phrases() const {
  QStringList list;
  for (int i = 0; i < phrases_->count(); ++i) list << phrases_->itemText(i);
  return list;
}

void CAnnotateDlg::ChoosePhrase(const QString& phrase) {
  const CKlRecordFile& rec = Singleton<CPlaybackManager>::Instance()->Recording();
  const QString comment =
      rec.HasFile() ? QString::fromStdString(CRecordingEdits::CommentKeepingBookmark(rec.Header(), phrase.toStdString()))
                    : phrase;
  edit_->setPlainText(comment.left(kMaxComment));
}
