#include "organiser/CCallHistory.h"

#include <sys/stat.h>

#include <algorithm>

#include "core/AtomicFile.h"
#include "core/CSettings.h"
#include "core/DamagedFile.h"
#include "core/FileLock.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/RecordingListFile.h"
#include "recording/CKlFileListEntry.h"
#include "toolkit/CKlXmlParser.h"

CCallHistory::CCallHistory() = default;

CCallHistory::~CCallHistory() { ClearHistory(); }

std::string CCallHistory::HistoryFilePath() { return CSettings::SettingsFilePath(true, "history.reclist"); }

namespace {

// The history file's paths; false when there is none to use. A file that is there
// but cannot be used is set aside first, so the next save does not replace it.
bool ReadHistoryFile(const std::string& path, zel::RecordingListContent& content) {
  std::string text;
  // An empty file is an empty list, as for every recording list.
  if (!zel::ReadDataFileOrSetAside(path, text, false, "The play history starts empty.")) return false;
  CKlXmlError error;
  if (zel::ParseRecordingList(text, content, error, false)) return true;
  zel::SetAsideDamaged(path, error.text.empty() ? "it is not well-formed" : error.text,
                       "The play history starts empty.");
  return false;
}

}  // namespace

void CCallHistory::LoadHistory() {
  ClearHistory();
  zel::RecordingListContent content;
  if (!ReadHistoryFile(HistoryFilePath(), content)) return;
  for (const std::string& path : content.paths) AddPlayed(path);
}

void CCallHistory::AddPlayed(const std::string& path) {
  struct stat st;
  // Only recordings: a FIFO of that name would block every reader.
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
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
  if (ReadHistoryFile(path, current)) {
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
