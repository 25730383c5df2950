#include "organiser/CCallHistory.h"

#include <sys/stat.h>

#include <algorithm>

#include "core/AtomicFile.h"
#include "core/CSettings.h"
#include "core/FileLock.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/RecordingListFile.h"
#include "recording/CKlFileListEntry.h"
#include "toolkit/CKlXmlParser.h"

CCallHistory::CCallHistory() = default;

CCallHistory::~CCallHistory() { ClearHistory(); }

std::string CCallHistory::HistoryFilePath() { return CSettings::SettingsFilePath(true, "history.reclist"); }

void CCallHistory::LoadHistory() {
  ClearHistory();
  zel::RecordingListContent content;
  CKlXmlError error;
  if (!zel::ReadRecordingList(HistoryFilePath(), content, error, false)) return;
  for (const std::string& path : content.paths) AddPlayed(path);
}

void CCallHistory::AddPlayed(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return;
  std::string passphrase = zel::TrimBlanks(Singleton<CSettings>::Instance()->GetPassphrase());
  auto entry = std::make_unique<CKlFileListEntry>();
  entry->SetPath(path);
  entry->LoadDetails(passphrase);
  ZEL_LOCK(lock_);
  entries_.push_back(std::move(entry));
}

void CCallHistory::FillDocument(CZelVelomarDoc& document) {
  ZEL_LOCK(lock_);
  std::sort(entries_.begin(), entries_.end(),
            [](const auto& a, const auto& b) { return a->StartTime() > b->StartTime(); });
  for (const auto& entry : entries_) document.AddEntry(*entry);
}

bool CCallHistory::SaveHistory() {
  std::vector<std::string> paths = Paths();
  if (paths.empty()) return true;
  // Another process may have saved its plays since this history was loaded: keep
  // them, reading the file again under its lock, and add this process's plays.
  std::string path = HistoryFilePath();
  zel::FileLock fileLock(path);
  zel::RecordingListContent current;
  CKlXmlError error;
  if (zel::ReadRecordingList(path, current, error, false)) {
    for (auto& played : paths) {
      if (std::find(current.paths.begin(), current.paths.end(), played) == current.paths.end()) {
        current.paths.push_back(std::move(played));
      }
    }
    paths = std::move(current.paths);
  }
  return zel::WriteFileAtomically(path, zel::FormatRecordingList(paths, nullptr));
}

void CCallHistory::ClearHistory() {
  ZEL_LOCK(lock_);
  entries_.clear();
}

size_t CCallHistory::Count() {
  ZEL_LOCK(lock_);
  return entries_.size();
}

std::vector<std::string> CCallHistory::Paths() {
  ZEL_LOCK(lock_);
  std::vector<std::string> paths;
  paths.reserve(entries_.size());
  for (const auto& entry : entries_) paths.push_back(entry->Path());
  return paths;
}
