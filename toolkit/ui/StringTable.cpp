#include "toolkit/ui/StringTable.h"

#include <QFile>
#include <QHash>
#include <QXmlStreamReader>

namespace zelgui {
namespace {

const QHash<int, QString>& BuiltIn() {
  static const QHash<int, QString> table = {
      {kStrProductName, QStringLiteral("Ostrel Manager")},
      {kStrDocTemplate, QStringLiteral("\nOstrel Manager\nOstrel Manager\nZEL Recording List Files (*.reclist)\n"
                                       ".reclist\nZel Velomar.Document\nZel Velomar.Document")},
      {kStrUserId, QStringLiteral("User ID")},
      {kStrCallerId, QStringLiteral("Caller ID")},
      {kStrDateTime, QStringLiteral("Date + Time")},
      {kStrDuration, QStringLiteral("Duration")},
      {kStrBookmarkColumn, QStringLiteral("BM")},
      {kStrComment, QStringLiteral("Comment")},
      {kStrSelectDirectory, QStringLiteral("Select directory to add to this recordings list")},
      {kStrTaskInProgress, QStringLiteral("Task in progress...")},
      {kStrScanning, QStringLiteral("Scanning...")},
      {kStrCompiling, QString::fromUtf8("Compiling Recording List\u2026\n\nReading %d of %d recordings found.")},
      {kStrExporting, QString::fromUtf8("Exporting Recording List\u2026\n\nExporting %d of %d.")},
      {kStrExportFailed, QStringLiteral("Failed to export one or more files!\rPossibly it is Read Only?")},
      {kStrExportLocation, QStringLiteral("Select the location to save the exported files.")},
      {kStrDeleteQuestion, QStringLiteral("This will delete %d call(s)\n\nAre you sure?")},
      {kStrDeleting, QString::fromUtf8("Deleteing Recording List\u2026\n\nDeleting %d of %d.")},
      {kStrDeleteFailed, QStringLiteral("Failed to delete one or more files!\rPossibly it is Read Only?")},
      {kStrConfigProduct, QStringLiteral("Zel Config")},
      {kStrEncryptedColumn, QStringLiteral("ENC")},
      {kStrCloseListQuestion,
       QStringLiteral("You are about to close current list window and loose your results.\nSave changes to %1?\n"
                      " - Press 'Yes' to save and close current list.\n"
                      " - Press 'No' to close current list without saving.\n - Press 'Cancel' to cancel.")},
      {kStrArchivedColumn, QStringLiteral("Archived")},
      {kStrGuideFile, QStringLiteral("Velomar 3 Guide.pdf")},
      {kStrCompanyName, QStringLiteral("Merovane")},
      {kStrBookmarkTip, QStringLiteral("Bookmark the call")},
      {kStrImportantTip, QStringLiteral("Important")},
      {kStrEncryptedTip, QStringLiteral("Call Encrypted")},
      {kStrAppTitle, QStringLiteral("Zel Velomar")},
  };
  return table;
}

QHash<int, QString>& Overrides() {
  static QHash<int, QString> overrides;
  return overrides;
}

}  // namespace

QString StringTable::Get(int id) {
  auto it = Overrides().constFind(id);
  if (it != Overrides().constEnd()) return *it;
  return BuiltIn().value(id);
}

void StringTable::Override(int id, const QString& text) { Overrides().insert(id, text); }

bool StringTable::LoadOverrides(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  QHash<int, QString> read;
  QXmlStreamReader xml(&file);
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("string")) continue;
    bool ok = false;
    const int id = xml.attributes().value(QLatin1String("id")).toInt(&ok);
    const QString text = xml.readElementText();
    if (ok) read.insert(id, text);
  }
  if (xml.hasError()) return false;
  for (auto it = read.cbegin(); it != read.cend(); ++it) Overrides().insert(it.key(), it.value());
  return true;
}

void StringTable::ClearOverrides() { Overrides().clear(); }

}  // namespace zelgui
