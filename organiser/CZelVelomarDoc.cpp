#include "organiser/CZelVelomarDoc.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "core/AtomicFile.h"
#include "core/CSettings.h"
#include "core/MessageSink.h"
#include "core/TimeUnits.h"
#include "organiser/IArchiveLookup.h"
#include "organiser/RecordingListFile.h"
#include "recording/CKlFileListEntry.h"
#include "toolkit/CKlXmlParser.h"

CZelVelomarDoc::CZelVelomarDoc() = default;

CZelVelomarDoc::~CZelVelomarDoc() { ClearEntries(); }

bool CZelVelomarDoc::Accept(std::unique_ptr<CKlFileListEntry> entry) {
  CKlFileListEntry* raw = entry.get();
  entries_.push_back(std::move(entry));
  byPath_.Insert(raw);
  if (raw->Important()) ++importantCount_;
  totalSeconds_ += raw->Duration();
  modified_ = true;
  return true;
}

bool CZelVelomarDoc::AddEntry(std::unique_ptr<CKlFileListEntry>& entry) {
  if (!entry || byPath_.Find(entry->Path())) return false;
  struct stat st;
  if (::stat(entry->Path().c_str(), &st) != 0) return false;
  return Accept(std::move(entry));
}

bool CZelVelomarDoc::AddEntry(const CKlFileListEntry& entry) {
  if (byPath_.Find(entry.Path())) return false;
  struct stat st;
  if (::stat(entry.Path().c_str(), &st) != 0) return false;
  return Accept(std::make_unique<CKlFileListEntry>(entry));
}

void CZelVelomarDoc::RemoveEntryAt(size_t index) {
  if (index >= entries_.size()) return;
  CKlFileListEntry* entry = entries_[index].get();
  if (entry->Important()) --importantCount_;
  totalSeconds_ -= entry->Duration();
  byPath_.Erase(entry->Path());
  entries_.erase(entries_.begin() + static_cast<long>(index));
  modified_ = true;
}

void CZelVelomarDoc::RemoveEntriesAt(std::vector<size_t> indices) {
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  for (auto it = indices.rbegin(); it != indices.rend(); ++it) RemoveEntryAt(*it);
}

void CZelVelomarDoc::TrimToEntries(const std::vector<size_t>& indices) {
  std::vector<bool> keep(entries_.size(), false);
  for (size_t index : indices) {
    if (index < keep.size()) keep[index] = true;
  }
  std::vector<size_t> drop;
  for (size_t i = 0; i < keep.size(); ++i) {
    if (!keep[i]) drop.push_back(i);
  }
  RemoveEntriesAt(std::move(drop));
}

void CZelVelomarDoc::RefreshDetails(const std::string& passphrase) {
  importantCount_ = 0;
  totalSeconds_ = 0;
  for (auto& entry : entries_) {
    // A call that could not be decrypted before may open with the passphrase now.
    entry->RetryDetails(passphrase);
    entry->LoadDetails(passphrase);
    if (entry->Important()) ++importantCount_;
    totalSeconds_ += entry->Duration();
  }
}

void CZelVelomarDoc::ClearEntries() {
  if (!entries_.empty()) modified_ = true;
  byPath_.Clear();
  entries_.clear();
  importantCount_ = 0;
  totalSeconds_ = 0;
}

void CZelVelomarDoc::AdjustImportant(size_t index, bool flag) {
  if (index >= entries_.size()) return;
  bool current = entries_[index]->Important() != 0;
  if (current == flag) return;
  importantCount_ += flag ? 1 : -1;
}

CKlFileListEntry* CZelVelomarDoc::EntryAt(size_t index) const {
  return index < entries_.size() ? entries_[index].get() : nullptr;
}

long CZelVelomarDoc::IndexOfPath(const std::string& path) const {
  const CKlFileListEntry* found = byPath_.Find(path);
  if (found == nullptr) return -1;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].get() == found) return static_cast<long>(i);
  }
  return -1;
}

void CZelVelomarDoc::Sort(int column, bool descending) { zel::SortEntries(entries_, column, descending); }

std::string CZelVelomarDoc::CallsText() const {
  char text[64];
  std::snprintf(text, sizeof text, "Calls: %d", static_cast<int>(entries_.size()));
  return text;
}

std::string CZelVelomarDoc::ImportantText() const {
  char text[64];
  std::snprintf(text, sizeof text, "Important: %d", importantCount_);
  return text;
}

std::string CZelVelomarDoc::DurationText() const {
  char text[96];
  long long s = totalSeconds_ < 0 ? 0 : totalSeconds_;
  using zel::kSecondsPerHour;
  using zel::kSecondsPerMinute;
  if (s >= kSecondsPerHour) {
    std::snprintf(text, sizeof text, "Duration: %02lld:%02lld:%02lld", s / kSecondsPerHour,
                  (s / kSecondsPerMinute) % 60, s % kSecondsPerMinute);
  } else {
    std::snprintf(text, sizeof text, "Duration: 00:%02lld:%02lld", s / kSecondsPerMinute, s % kSecondsPerMinute);
  }
  return text;
}

namespace {

std::string LocalDateTime(time_t when) {
  struct tm local {};
  localtime_r(&when, &local);
  char text[128];
  if (std::strftime(text, sizeof text, "%x %X", &local) == 0) return std::string();
  return text;
}

std::string LastComponent(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  size_t slash = trimmed.find_last_of('/');
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

}  // namespace

void CZelVelomarDoc::SetListKind(int kind, const std::string& text, time_t now) {
  if (now == 0) now = std::time(nullptr);
  if (kind == kFolderList && text.empty()) kind = kCustomList;
  listKind_ = kind;
  titleText_ = text;
  switch (kind) {
    case kFolderList: {
      std::string name = LastComponent(text);
      labelText_ = name + " - " + LocalDateTime(now);
      windowTitle_ = name.size() > 20 ? name.substr(0, 17) + "..." : name;
      break;
    }
    case kPlayHistory:
      labelText_ = "Play History - " + LocalDateTime(now);
      windowTitle_ = "Play History";
      builtBySearch_ = false;
      break;
    default: {
      time_t when = now;
      struct stat st;
      if (!pathName_.empty() && ::stat(pathName_.c_str(), &st) == 0) when = st.st_mtime;
      labelText_ = "Custom Recordings - " + LocalDateTime(when);
      windowTitle_ = pathName_.empty() ? "Custom" : LastComponent(pathName_);
      break;
    }
  }
}

std::string CZelVelomarDoc::WindowTitle() const {
  std::string title = windowTitle_;
  if (modified_ && listKind_ != kPlayHistory && title.find('*') == std::string::npos) title += "*";
  return title;
}

int CZelVelomarDoc::ArchiveKind(const CKlFileListEntry& entry) {
  IArchiveLookup* lookup = zel::ArchiveLookup();
  return lookup ? lookup->ArchiveKindOf(entry) : -1;
}

std::string CZelVelomarDoc::ArchivedTooltip(const CKlFileListEntry& entry) {
  IArchiveLookup* lookup = zel::ArchiveLookup();
  std::string text = lookup ? lookup->ArchiveTooltipOf(entry) : std::string();
  return text.empty() ? "Not archived yet" : text;
}

std::string CZelVelomarDoc::CommentColumnText(std::string_view comment) {
  static const char kMarker[] = "Bookmark at: ";
  static const char kSystem[] = "### System information do no edit! ###";
  std::string text = zel::TrimBlanks(std::string(comment));
  size_t marker = text.find(kMarker);
  if (marker != std::string::npos) {
    size_t from = marker + 23;
    std::string rest = zel::TrimBlanks(from < text.size() ? text.substr(from) : std::string());
    if (rest.compare(0, sizeof kSystem - 1, kSystem) == 0) return std::string();
    text = std::move(rest);
  }
  size_t lineEnd = text.find_first_of("\r\n");
  if (lineEnd != std::string::npos) {
    text.erase(lineEnd);
    // The header pads the comment field with blanks before its system block.
    text = zel::TrimBlanks(text);
  }
  if (text.size() > 1024) text.erase(1024);
  return text;
}

std::string CZelVelomarDoc::ParseErrorMessage(const std::string& path, const CKlXmlError& error) {
  std::string head = path.empty() ? "Error parsing file." : "Error parsing file " + path + ".";
  char tail[256];
  std::snprintf(tail, sizeof tail, "\n\nLine %d, Column %d. Error %d: ", error.line, error.column, error.number);
  return head + tail + error.text + "\n\n" + error.context;
}

bool CZelVelomarDoc::SaveList(const std::string& path, const std::function<void(size_t, size_t)>& progress) {
  std::vector<std::string> paths;
  paths.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    paths.push_back(entries_[i]->Path());
    if (progress) progress(i, entries_.size());
  }
  // An empty list writes an empty file.
  std::string content = paths.empty() ? std::string() : zel::FormatRecordingList(paths, &titleText_);
  if (!zel::WriteFileAtomically(path, content)) return false;
  pathName_ = path;
  modified_ = false;
  return true;
}

bool CZelVelomarDoc::LoadList(const std::string& path, const std::string& passphrase) {
  zel::RecordingListContent list;
  CKlXmlError error;
  if (!zel::ReadRecordingList(path, list, error)) {
    zel::ShowMessage(ParseErrorMessage(path, error), IMessageSink::Icon::Warning);
    return false;
  }
  if (list.hasTitle) titleText_ = list.title;
  for (const std::string& file : list.paths) {
    if (byPath_.Find(file)) continue;
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) continue;
    auto entry = std::make_unique<CKlFileListEntry>();
    entry->SetPath(file);
    entry->LoadDetails(passphrase);
    AddEntry(entry);
  }
  return true;
}

bool CZelVelomarDoc::AppendListFile(const std::string& path, const std::string& passphrase) {
  if (!LoadList(path, passphrase)) return false;
  listKind_ = kCustomList;
  builtBySearch_ = false;
  return true;
}

bool CZelVelomarDoc::OpenListFile(const std::string& path) {
  std::string passphrase = zel::TrimBlanks(Singleton<CSettings>::Instance()->GetPassphrase());
  if (!LoadList(path, passphrase)) return false;
  pathName_ = path;
  modified_ = false;
  return true;
}
