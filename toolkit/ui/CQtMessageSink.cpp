#include "toolkit/ui/CQtMessageSink.h"

#include <QApplication>
#include <QMessageBox>

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
  QMessageBox box(BoxIcon(icon), QString::fromStdString(caption), Text(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

IMessageSink::Answer CQtMessageSink::AskYesNo(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Question, QString::fromStdString(caption), Text(text),
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}
