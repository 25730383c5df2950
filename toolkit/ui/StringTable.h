#pragma once
#include <QString>

// The numbered texts of the windows (titles, messages, column headers, file names),
// in one table so that each text stands in one place and a branding bundle can
// replace any of them. Look-ups of unknown numbers give an empty string.
namespace zelgui {

enum StringId : int {
  kStrProductName = 128,       // "Ostrel Manager"
  kStrDocTemplate = 129,
  kStrUserId = 133,
  kStrCallerId = 134,
  kStrDateTime = 135,
  kStrDuration = 136,
  kStrBookmarkColumn = 138,
  kStrComment = 139,
  kStrSelectDirectory = 142,
  kStrTaskInProgress = 143,
  kStrScanning = 144,
  kStrCompiling = 145,         // %d of %d
  kStrExporting = 149,         // %d of %d
  kStrExportFailed = 150,
  kStrExportLocation = 151,
  kStrDeleteQuestion = 152,    // %d
  kStrDeleting = 153,          // %d of %d
  kStrDeleteFailed = 154,
  kStrConfigProduct = 159,     // "Zel Config"
  kStrEncryptedColumn = 161,
  kStrCloseListQuestion = 164, // %1 (a QString::arg placeholder)
  kStrArchivedColumn = 165,
  kStrGuideFile = 170,
  kStrCompanyName = 1000,      // "Merovane"
  kStrBookmarkTip = 2016,
  kStrImportantTip = 2019,
  kStrEncryptedTip = 2023,
  kStrAppTitle = 57344,        // "Zel Velomar"
};

class StringTable {
 public:
  // The text of `id`: a branding override when one is set, else the built-in text.
  static QString Get(int id);
  // Replaces the text of `id` (branding bundles).
  static void Override(int id, const QString& text);
  // Reads overrides from an XML file of <string id="N">text</string> elements;
  // false when it cannot be read or parsed (nothing is changed then).
  static bool LoadOverrides(const QString& path);
  static void ClearOverrides();
};

// Short form for the windows.
inline QString Str(int id) { return StringTable::Get(id); }

}  // namespace zelgui
