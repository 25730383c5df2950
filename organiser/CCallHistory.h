#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/CKlLoggedSemaphore.h"
#include "organiser/SearchRules.h"

class CZelVelomarDoc;

// The play history: every recording the player starts, kept from one run to the
// next in "history.reclist" in the shared configuration folder. A singleton
// (Singleton<CCallHistory>); used from the user-interface thread.
class CCallHistory {
 public:
  CCallHistory();
  virtual ~CCallHistory();
  CCallHistory(const CCallHistory&) = delete;
  CCallHistory& operator=(const CCallHistory&) = delete;

  // Replaces the store with the file's recordings; a missing or broken file, and
  // recordings that no longer exist, leave nothing.
  void LoadHistory();
  // Appends the recording at `path` when its file exists (duplicates allowed).
  void AddPlayed(const std::string& path);
  // Sorts the store newest first and offers copies to `document`, which lists each
  // path once.
  void FillDocument(CZelVelomarDoc& document);
  // Writes the store (atomically); an empty store leaves the file as it is.
  // False when the file cannot be written.
  bool SaveHistory();
  void ClearHistory();

  size_t Count();
  // The paths in store order.
  std::vector<std::string> Paths();
  // "history.reclist" in the shared configuration folder.
  static std::string HistoryFilePath();

 private:
  CKlLoggedSemaphore lock_{"CALL_HISTORY"};
  zel::EntryList entries_ GUARDED_BY(lock_);
};
