#include "toolkit/ui/ManualPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace zelgui {

QString ManualPath(const QString& fileName) {
  const QDir program(QCoreApplication::applicationDirPath());
  const QString beside = program.filePath(fileName);
  if (QFileInfo::exists(beside)) return beside;
  const QString installed = QDir::cleanPath(program.filePath(QStringLiteral("../share/doc/zel-velomar/") + fileName));
  return QFileInfo::exists(installed) ? installed : beside;
}

}  // namespace zelgui
