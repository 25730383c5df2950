#include "audio/ui/CQtSaveFileChooser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QThread>

QString CQtSaveFileChooser::QtFilter(const std::string& windowsFilter) {
  QStringList parts = QString::fromStdString(windowsFilter).split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i].trimmed();
    QString patterns = parts[i + 1].trimmed();
    if (name.isEmpty()) break;
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << (name.contains(QLatin1Char('(')) ? name : name + QStringLiteral(" (") + patterns + QLatin1Char(')'));
  }
  return filters.join(QStringLiteral(";;"));
}

std::optional<SaveFileChoice> CQtSaveFileChooser::ChooseSaveFile(const SaveFileRequest& request) {
  if (qApp != nullptr && QThread::currentThread() != qApp->thread()) {
    // An export running beside the window asks here: the dialog is the GUI thread's.
    std::optional<SaveFileChoice> choice;
    QMetaObject::invokeMethod(qApp, [this, &request, &choice] { choice = ChooseSaveFile(request); },
                              Qt::BlockingQueuedConnection);
    return choice;
  }
  QString filter = QtFilter(request.filter);
  QStringList filters = filter.split(QStringLiteral(";;"));
  QString selected;
  QString start = QDir(QString::fromStdString(request.initialFolder)).filePath(QString::fromStdString(request.fileName));
  QFileDialog dialog(parent_ ? parent_.data() : QApplication::activeWindow(), QStringLiteral("Save As"), start, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  SaveFileChoice choice;
  choice.path = dialog.selectedFiles().first().toStdString();
  choice.filterIndex = std::max(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
  return choice;
}
