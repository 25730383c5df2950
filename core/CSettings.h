#pragma once
#include <array>
#include <string>

#include "core/CKlLoggedSemaphore.h"
#include "core/Singleton.h"

// The application settings: list column widths, the play-history switch, the
// remembered passphrase, the resource library name, and the administrator's
// export and delete switches. Load reads "global.xml", the global "config.xml" and
// the user's "config.xml"; Save writes only the user's "config.xml" (atomically,
// mode 0600 because it may hold the passphrase).
class CSettings {
 public:
  static constexpr int kColumnCount = 9;

  CSettings();
  virtual ~CSettings();

  void Load();
  void Save();
  std::string GetResourceFile();

  int GetColumnWidth(int i) const;
  void SetColumnWidth(int i, int width);
  int GetShowHistory() const { return ShowHistory_; }
  void SetShowHistory(int value) { ShowHistory_ = value; }
  int GetSavePassphrase() const { return SavePassphrase_; }
  void SetSavePassphrase(int value) { SavePassphrase_ = value; }
  std::string GetPassphrase() const;
  void SetPassphrase(const std::string& text);
  bool IsExportBlocked() const { return BlockExport_ != 0; }
  bool IsDeleteDisabled() const { return DisableDelete_ != 0; }

  // <product configuration folder>/fileName, common or the user's.
  static std::string SettingsFilePath(bool common, const std::string& fileName);
  // <"Zel Config" configuration folder>/fileName.
  static std::string GlobalSettingsFilePath(bool common, const std::string& fileName);

 private:
  mutable CKlLoggedSemaphore lock_{"SETTINGS"};
  std::array<int, kColumnCount> ColumnWidths_;
  int DisableDelete_ = 0;
  int BlockExport_ = 0;
  int ShowHistory_ = 1;
  std::string Passphrase_;
  int SavePassphrase_ = 0;
};

namespace zel {
// Text without leading and trailing blanks (spaces, tabs, line ends).
std::string TrimBlanks(const std::string& text);
}  // namespace zel
