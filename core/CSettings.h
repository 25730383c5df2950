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
  int GetShowHistory() const;
  void SetShowHistory(int value);
  int GetSavePassphrase() const;
  void SetSavePassphrase(int value);
  std::string GetPassphrase() const;
  void SetPassphrase(const std::string& text);
  // Playback: speed in tenths (5 to 20, 10 normal), pause skipping, even loudness.
  int GetPlaybackSpeed() const;
  void SetPlaybackSpeed(int tenths);
  int GetSkipSilence() const;
  void SetSkipSilence(int value);
  int GetEvenLoudness() const;
  void SetEvenLoudness(int value);
  bool IsExportBlocked() const;
  bool IsDeleteDisabled() const;

  // <product configuration folder>/fileName, common or the user's.
  static std::string SettingsFilePath(bool common, const std::string& fileName);
  // <"Zel Config" configuration folder>/fileName.
  static std::string GlobalSettingsFilePath(bool common, const std::string& fileName);

 private:
  mutable CKlLoggedSemaphore lock_{"SETTINGS"};
  std::array<int, kColumnCount> ColumnWidths_ GUARDED_BY(lock_);
  int DisableDelete_ GUARDED_BY(lock_) = 0;
  int BlockExport_ GUARDED_BY(lock_) = 0;
  int ShowHistory_ GUARDED_BY(lock_) = 1;
  std::string Passphrase_ GUARDED_BY(lock_);
  int SavePassphrase_ GUARDED_BY(lock_) = 0;
  int PlaybackSpeed_ GUARDED_BY(lock_) = 10;
  int SkipSilence_ GUARDED_BY(lock_) = 0;
  int EvenLoudness_ GUARDED_BY(lock_) = 0;
};

namespace zel {
// Text without leading and trailing blanks (spaces, tabs, line ends).
std::string TrimBlanks(const std::string& text);
}  // namespace zel
