#include "toolkit/ui/CQtMessageSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace {
QMessageBox::Icon BoxIcon(IMessageSink::Icon icon) {
  switch (icon) {
    case IMessageSink::Icon::Warning: return QMessageBox::Warning;
    case IMessageSink::Icon::Error: return QMessageBox::Critical;
    case IMessageSink::Icon::Question: return QMessageBox::Question;
    case IMessageSink::Icon::Information: break;
  }
  return QMessageBox::Information;
}

// Texts may carry the "\r" line breaks of the original messages; show them as breaks.
QString Text(const std::string& text) {
  QString t = QString::fromStdString(text);
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return t;
}
}  // namespace

void CQtMessageSink::ShowMessage(const std::string& text, const std::string& caption, Icon icon) {
  if (qApp != nullptr && QThread::currentThread() != qApp->thread()) {
    // Core threads (an archive run) report too: the box is shown by the GUI
    // thread, and the reporting thread waits for it as it would for its own.
    QMetaObject::invokeMethod(qApp, [this, text, caption, icon] { ShowMessage(text, caption, icon); },
                              Qt::BlockingQueuedConnection);
    return;
  }
  QMessageBox box(BoxIcon(icon), QString::fromStdString(caption), Text(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);  // the texts name files and callers
  box.exec();
}

IMessageSink::Answer CQtMessageSink::AskYesNo(const std::string& text, const std::string& caption) {
  if (qApp != nullptr && QThread::currentThread() != qApp->thread()) {
    Answer answer = Answer::No;
    QMetaObject::invokeMethod(qApp, [this, text, caption, &answer] { answer = AskYesNo(text, caption); },
                              Qt::BlockingQueuedConnection);
    return answer;
  }
  QMessageBox box(QMessageBox::Question, QString::fromStdString(caption), Text(text),
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}
