#include "toolkit/ui/CProgressWnd.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <algorithm>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

CProgressWnd::CProgressWnd(QWidget* parent, const QString& title)
    : QDialog(parent), text_(new QLabel(this)), bar_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral(" Cancel"), this)) {
  setWindowTitle(title);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(bar_);
  layout->addWidget(cancel_, 0, Qt::AlignRight);
  bar_->setAccessibleName(QStringLiteral("Progress"));
  cancel_->setAccessibleName(QStringLiteral("Cancel"));
  setMinimumWidth(320);
  connect(cancel_, &QPushButton::clicked, this, [this] {
    if (cancelled_) return;
    cancelled_ = true;
    cancel_->setEnabled(false);
    emit cancelRequested();
  });
}

void CProgressWnd::SetText(const QString& text) {
  text_->setText(text);
  text_->setAccessibleName(text);
}
void CProgressWnd::SetRange(int lower, int upper) { bar_->setRange(lower, upper); }
void CProgressWnd::SetPos(int pos) { bar_->setValue(pos); }
void CProgressWnd::StepIt() { bar_->setValue(std::min(bar_->value() + 1, bar_->maximum())); }

void CProgressWnd::SetCancellable(bool cancellable) {
  cancellable_ = cancellable;
  cancel_->setVisible(cancellable);
}

void CProgressWnd::reject() {
  if (cancellable_) QDialog::reject();
}

// Esc and the window's close button ask for what Cancel does: the owner ends the work
// and closes the window, which never hides while the work goes on. The owner's own
// close() still closes it.
void CProgressWnd::keyPressEvent(QKeyEvent* event) {
  if (!event->matches(QKeySequence::Cancel)) {
    QDialog::keyPressEvent(event);
    return;
  }
  if (cancellable_) cancel_->click();
}

void CProgressWnd::closeEvent(QCloseEvent* event) {
  if (!event->spontaneous()) {
    QDialog::closeEvent(event);
    return;
  }
  if (cancellable_) cancel_->click();
  event->ignore();
}

void CProgressWnd::ShowAfter(int milliseconds) {
  QTimer::singleShot(milliseconds, this, [this, milliseconds] {
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != this) {
      ShowAfter(milliseconds);
      return;
    }
    show();
  });
}
