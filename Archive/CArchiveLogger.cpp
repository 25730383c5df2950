#include "Archive/CArchiveLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <strings.h>
#include <ctime>

#include "Archive/IArchiver.h"
#include "core/AtomicFile.h"
#include "core/CKlLogger.h"
#include "core/DamagedFile.h"
#include "core/RegularFile.h"
#include "core/CSettings.h"
#include "core/FileLock.h"
#include "core/MessageSink.h"
#include "platform/Desktop.h"
#include "toolkit/CKlXmlParser.h"
#include "toolkit/XmlText.h"

namespace {

int32_t DecimalOf(const std::string& text) {
  const char* p = text.c_str();
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(p, &end, 10);
  if (end == p || errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return 0;
  return static_cast<int32_t>(value);
}

std::string TextOf(const CKlXmlNode& parent, const char* name) {
  const CKlXmlNode* child = parent.FirstChild(name);
  return child != nullptr ? child->InnerText() : std::string();
}

// The log's entry tags carry their id without quotes ("<entry id = 17>"), which
// is not XML. Quotes are added to unquoted attribute values of "<entry" tags.
std::string QuoteEntryIds(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  size_t pos = 0;
  while (true) {
    size_t tag = text.find("<entry", pos);
    if (tag == std::string::npos) break;
    size_t close = text.find('>', tag);
    if (close == std::string::npos) break;
    out.append(text, pos, tag - pos);
    for (size_t i = tag; i < close; ++i) {
      out += text[i];
      if (text[i] != '=') continue;
      size_t v = i + 1;
      while (v < close && (text[v] == ' ' || text[v] == '\t')) out += text[v++];
      if (v < close && text[v] != '"' && text[v] != '\'') {
        size_t end = v;
        while (end < close && text[end] != ' ' && text[end] != '\t' && text[end] != '/' &&
               text[end] != '\r' && text[end] != '\n') {
          ++end;
        }
        out += '"';
        out.append(text, v, end - v);
        out += '"';
        v = end;
      }
      i = v - 1;
    }
    pos = close;
  }
  out.append(text, pos, std::string::npos);
  return out;
}

void ReadEntry(const CKlXmlNode& node, std::vector<CJobArchListEntry>& entries) {
  const std::string* id = node.Attribute("id");
  int32_t jobTime = id != nullptr ? DecimalOf(*id) : 0;
  if (jobTime == 0) return;  // an entry without a usable id is dropped
  CJobArchListEntry entry;
  entry.SetJobTime(jobTime);
  entry.SetTarget(TextOf(node, "target"));
  entry.SetArchiveType(CArchiveLogger::ArchiverType(TextOf(node, "archiver")));
  entry.SetCallCount(DecimalOf(TextOf(node, "callcount")));
  entry.SetComment(TextOf(node, "comment"));
  // Fields older logs lack (and older readers skip): structure and creator.
  entry.SetStructureType(static_cast<zel::StructureType>(DecimalOf(TextOf(node, "structure"))));
  entry.SetUser(TextOf(node, "user"));
  if (const CKlXmlNode* calls = node.FirstChild("calls")) {
    int32_t callId = 0;
    for (const auto& child : calls->children) {
      if (!child.IsElement()) continue;
      if (child.name == "call_id") {
        callId = DecimalOf(child.InnerText());
      } else if (child.name == "file") {
        CKlFileListEntry call;
        call.SetPath(child.InnerText());
        call.SetStartTime(callId);
        entry.Sources().push_back(std::move(call));
      }
    }
  }
  entries.push_back(std::move(entry));
}

std::string Passphrase() { return Singleton<CSettings>::Instance()->GetPassphrase(); }

}  // namespace


CArchiveLogger::CArchiveLogger() : path_(CSettings::SettingsFilePath(true, "archive.log")) {}

CArchiveLogger::CArchiveLogger(std::string path) : path_(std::move(path)) {}

CArchiveLogger::~CArchiveLogger() {
  if (zel::ArchiveLookup() == this) zel::SetArchiveLookup(nullptr);
  zel::MutexLock lock(mutex_);
  entries_.clear();
}

void CArchiveLogger::Changed() {
  dirty_ = true;
  indexesValid_ = false;
  pathIndex_.clear();
  callIdIndex_.clear();
}

void CArchiveLogger::BuildIndexes() {
  if (indexesValid_) return;
  pathIndex_.clear();
  callIdIndex_.clear();
  for (size_t i = 0; i < entries_.size(); ++i) {
    for (const auto& call : entries_[i].Sources()) {
      pathIndex_[call.Path()] = static_cast<int>(i);
      callIdIndex_[call.StartTime()] = static_cast<int>(i);
    }
  }
  indexesValid_ = true;
}

CArchiveLogger::FileState CArchiveLogger::ReadLogFile(std::vector<CJobArchListEntry>& read, std::string& reason) {
  std::string text;
  zel::DataFileRead result = zel::ReadDataFile(path_, text);
  if (result == zel::DataFileRead::Missing) return FileState::Missing;
  if (result == zel::DataFileRead::Unreadable) return FileState::Unreadable;
  if (result != zel::DataFileRead::Ok) {
    reason = zel::DataFileReadText(result);
  } else if (text.empty()) {
    reason = "it is empty";
  } else if (ParseEntries(text, read)) {
    return FileState::Read;
  } else {
    reason = "it is not well-formed";
    ParseEntryPrefix(text, read);
  }
  Singleton<CKlLogger>::Instance()->LogLine("ArchiveLogger: %s cannot be read (%s)", path_.c_str(), reason.c_str());
  return FileState::Damaged;
}

bool CArchiveLogger::SetAsideLogFile(const std::string& reason) {
  return !zel::SetAsideDamaged(path_, reason, "The archive entries that could still be read are kept.").empty();
}

void CArchiveLogger::ParseEntryPrefix(const std::string& text, std::vector<CJobArchListEntry>& read) {
  // Ends of the entries, in order; a prefix ending at one and closed by the root's
  // end tag parses unless the damage lies before it, so the longest such prefix
  // is found by bisection.
  std::vector<size_t> ends;
  static const char kEnd[] = "</entry>";
  for (size_t i = 0; i + sizeof kEnd - 1 <= text.size(); ++i) {
    if (strncasecmp(text.c_str() + i, kEnd, sizeof kEnd - 1) == 0) ends.push_back(i + sizeof kEnd - 1);
  }
  read.clear();
  size_t low = 0, high = ends.size();  // prefixes of `low` entries parse; of more than `high` not
  std::vector<CJobArchListEntry> best;
  while (low < high) {
    size_t mid = (low + high + 1) / 2;
    std::vector<CJobArchListEntry> candidate;
    if (ParseEntries(text.substr(0, ends[mid - 1]) + "\r\n</root>\r\n", candidate)) {
      low = mid;
      best = std::move(candidate);
    } else {
      high = mid - 1;
    }
  }
  read = std::move(best);
}

bool CArchiveLogger::Load(bool clearFirst) {
  // The lists follow this log from now on, also when the file is written only by
  // a later run of this process.
  zel::SetArchiveLookup(this);
  if (clearFirst) Clear();
  std::vector<CJobArchListEntry> read;
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0 && errno == ENOENT) return false;
  FileState state;
  {
    // A damaged file is set aside and its entries written back: not while
    // another process saves.
    zel::FileLock fileLock(path_);
    std::string reason;
    state = ReadLogFile(read, reason);
    // The readable entries go back under the old name at once: "only un-archived
    // calls" must not take them for new even when nothing is saved. A file that
    // cannot be moved aside stays as it is, and Save refuses to write over it.
    if (state == FileState::Damaged && SetAsideLogFile(reason)) {
      if (!read.empty() && !zel::WriteFileAtomically(path_, SerializeEntries(read))) {
        Singleton<CKlLogger>::Instance()->LogLine("ArchiveLogger: %s cannot be written", path_.c_str());
      }
    }
  }
  if (state == FileState::Missing || state == FileState::Unreadable) return false;
  {
    ZEL_LOCK(lock_);
    zel::MutexLock lock(mutex_);
    // Entries read from a damaged file were written back: the log counts as
    // loaded, so that nobody loads (and appends) them a second time.
    if (state == FileState::Read || !read.empty()) loaded_ = true;
    if (state == FileState::Damaged) damaged_ = true;
    for (auto& entry : read) entries_.push_back(std::move(entry));
    Changed();
    dirty_ = false;
  }
  return state == FileState::Read;
}

bool CArchiveLogger::WasDamaged() {
  zel::MutexLock lock(mutex_);
  return damaged_;
}

bool CArchiveLogger::ParseText(const std::string& text) {
  std::vector<CJobArchListEntry> read;
  if (!ParseEntries(text, read)) return false;
  ZEL_LOCK(lock_);
  zel::MutexLock lock(mutex_);
  for (auto& entry : read) entries_.push_back(std::move(entry));
  Changed();
  return true;
}

bool CArchiveLogger::ParseEntries(const std::string& text, std::vector<CJobArchListEntry>& read) {
  CKlXmlParser::Options options;
  options.ignoreEndTagCase = true;
  CKlXmlParser parser(options);
  CKlXmlNode document;
  CKlXmlError error;
  if (!parser.Parse(QuoteEntryIds(text), document, error)) return false;
  const CKlXmlNode* root = nullptr;
  for (const auto& child : document.children) {
    if (child.IsElement()) {
      root = &child;
      break;
    }
  }
  if (root == nullptr) return false;
  for (const auto& child : root->children) {
    if (!child.IsElement()) continue;
    if (child.Attribute("id") != nullptr) {
      ReadEntry(child, read);
      continue;
    }
    for (const auto& inner : child.children) {
      if (!inner.IsElement()) continue;
      for (const auto& candidate : inner.children) {
        if (candidate.IsElement() && candidate.Attribute("id") != nullptr) ReadEntry(candidate, read);
      }
      break;  // only the first child is searched
    }
  }
  return true;
}

void CArchiveLogger::Clear() {
  ZEL_LOCK(lock_);
  zel::MutexLock lock(mutex_);
  entries_.clear();
  added_.clear();
  removed_.clear();
  edited_.clear();
  Changed();
}

void CArchiveLogger::ResolveCallIds(CJobArchListEntry& job) {
  std::string passphrase;
  bool havePassphrase = false;
  for (auto& call : job.Sources()) {
    if (call.StartTime() != 0) continue;
    if (!call.DetailsLoaded()) {
      if (!havePassphrase) {
        passphrase = Passphrase();
        havePassphrase = true;
      }
      call.LoadDetails(passphrase);
    }
    if (call.DetailsLoaded() && call.StartTime() != 0) continue;
    struct stat info {};
    call.SetStartTime(::stat(call.Path().c_str(), &info) == 0 ? static_cast<int32_t>(info.st_mtime) : 0);
  }
}

int CArchiveLogger::AddEntry(const CJobArchListEntry& job) {
  CJobArchListEntry copy(job);
  ResolveCallIds(copy);
  ZEL_LOCK(lock_);
  zel::MutexLock lock(mutex_);
  // Ids are what reports are asked by: a second run within the same second takes
  // the next free one.
  copy.SetJobTime(FreeId(entries_, copy.JobTime()));
  if (copy.ArchiveType() == zel::ArchiveType::kIso) {
    // A new image replaces the old one whole: the runs that wrote the old one no
    // longer say where any call is, and must not keep their calls from being
    // archived again or let them pass for archived.
    const std::string target = zel::WithoutTrailingSlashes(copy.Target());
    // A loop, not erase_if: the analysis would check a predicate as if unlocked.
    for (auto old = entries_.begin(); old != entries_.end();) {
      if (old->ArchiveType() != zel::ArchiveType::kIso || zel::WithoutTrailingSlashes(old->Target()) != target) {
        ++old;
        continue;
      }
      removed_.insert(KeyOf(*old));
      added_.erase(KeyOf(*old));
      edited_.erase(KeyOf(*old));
      old = entries_.erase(old);
    }
  }
  added_.insert(KeyOf(copy));
  entries_.push_back(std::move(copy));
  Changed();
  return static_cast<int>(entries_.size()) - 1;
}

int32_t CArchiveLogger::FreeId(const std::vector<CJobArchListEntry>& entries, int32_t id) {
  std::set<int32_t> taken;
  for (const auto& entry : entries) taken.insert(entry.JobTime());
  while (taken.count(id) != 0 && id < INT32_MAX) ++id;
  return id;
}

std::string CArchiveLogger::Serialize() {
  zel::MutexLock lock(mutex_);
  return SerializeEntries(entries_);
}

std::string CArchiveLogger::SerializeEntries(const std::vector<CJobArchListEntry>& entries) {
  std::string out = "<Root>\r\n";
  char line[128];
  for (const auto& entry : entries) {
    std::snprintf(line, sizeof line, "   <entry id = %d>\r\n", entry.JobTime());
    out += line;
    out += "      <target>" + zel::EscapeXmlText(entry.Target()) + "</target>\r\n";
    out += "      <datetime>" + zel::EscapeXmlText(entry.DateTimeText()) + "</datetime>\r\n";
    out += std::string("      <archiver>") + ArchiverName(entry.ArchiveType()) + "</archiver>\r\n";
    std::snprintf(line, sizeof line, "      <callcount>%d</callcount>\r\n", entry.CallCount());
    out += line;
    out += "      <comment>" + zel::EscapeXmlText(entry.Comment()) + "</comment>\r\n";
    std::snprintf(line, sizeof line, "      <structure>%d</structure>\r\n", zel::ToInt(entry.StructureType()));
    out += line;
    out += "      <user>" + zel::EscapeXmlText(entry.User()) + "</user>\r\n";
    out += "      <calls>\r\n";
    for (const auto& call : entry.Sources()) {
      std::snprintf(line, sizeof line, "         <call_id>%d</call_id>\r\n", call.StartTime());
      out += line;
      out += "         <file>" + zel::EscapeXmlText(call.Path()) + "</file>\r\n";
    }
    out += "      </calls>\r\n";
    out += "   </entry>\r\n";
  }
  out += "</root>\r\n";
  return out;
}

bool CArchiveLogger::Save() {
  // Other processes (a scheduled run, zelctl) add to the same file: under the
  // file's lock, this log's own changes are applied to what the file holds now.
  zel::FileLock fileLock(path_);
  std::vector<CJobArchListEntry> current;
  // A file damaged since it was loaded is set aside before it is replaced, its
  // readable entries kept.
  std::string reason;
  FileState state = ReadLogFile(current, reason);
  bool haveFile = state == FileState::Read || state == FileState::Damaged;
  zel::MutexLock lock(mutex_);
  if (!dirty_) return false;
  std::vector<CJobArchListEntry> merged;
  if (haveFile) {
    for (auto& entry : current) {
      if (removed_.count(KeyOf(entry)) == 0) merged.push_back(std::move(entry));
    }
    for (const auto& entry : entries_) {
      Key key = KeyOf(entry);
      bool added = added_.count(key) != 0;
      if (!added && edited_.count(key) == 0) continue;
      if (added) {
        // Not saved before, so an entry of the same id in the file is another
        // process's run of the same second: this one takes the next free id.
        CJobArchListEntry copy(entry);
        copy.SetJobTime(FreeId(merged, entry.JobTime()));
        merged.push_back(std::move(copy));
        continue;
      }
      auto same = std::find_if(merged.begin(), merged.end(), [&](const CJobArchListEntry& e) { return KeyOf(e) == key; });
      if (same != merged.end()) *same = entry;
    }
  } else {
    merged = entries_;
  }
  if (merged.empty()) return false;
  if (state == FileState::Damaged) {
    if (!SetAsideLogFile(reason)) return false;  // never written over
    damaged_ = true;
  }
  for (auto& entry : merged) ResolveCallIds(entry);
  entries_ = std::move(merged);
  Changed();
  if (!zel::WriteFileAtomically(path_, SerializeEntries(entries_))) {
    Singleton<CKlLogger>::Instance()->LogLine("ArchiveLogger: %s cannot be written", path_.c_str());
    return false;
  }
  added_.clear();
  removed_.clear();
  edited_.clear();
  dirty_ = false;
  return true;
}

int CArchiveLogger::FindLogIndexByPath(const std::string& path) {
  zel::MutexLock lock(mutex_);
  BuildIndexes();
  auto found = pathIndex_.find(path);
  return found == pathIndex_.end() ? -1 : found->second;
}

int CArchiveLogger::FindLogIndexByPathScan(const std::string& path) {
  zel::MutexLock lock(mutex_);
  for (size_t i = entries_.size(); i-- > 0;) {
    auto& entry = entries_[i];
    const auto& calls = entry.Sources();
    size_t count = calls.size();
    if (count == 0) continue;
    size_t start = entry.LookupCursor() >= 0 ? static_cast<size_t>(entry.LookupCursor()) % count : 0;
    for (size_t k = 0; k < count; ++k) {
      size_t j = (start + k) % count;
      if (calls[j].Path() == path) {
        entry.SetLookupCursor(static_cast<int32_t>(j));
        return static_cast<int>(i);
      }
    }
  }
  return -1;
}

int CArchiveLogger::FindByFileLocked(const CKlFileListEntry& entry) {
  if (entry.StartTime() == 0) return -1;
  BuildIndexes();
  auto found = callIdIndex_.find(entry.StartTime());
  return found == callIdIndex_.end() ? -1 : found->second;
}

int CArchiveLogger::FindLogIndexByFile(const CKlFileListEntry& entry) {
  zel::MutexLock lock(mutex_);
  return FindByFileLocked(entry);
}

bool CArchiveLogger::FindLogEntryByFile(const CKlFileListEntry& entry, CJobArchListEntry& out) {
  zel::MutexLock lock(mutex_);
  int index = FindByFileLocked(entry);
  if (index < 0) return false;
  out = entries_[static_cast<size_t>(index)];
  return true;
}

int CArchiveLogger::Count() {
  zel::MutexLock lock(mutex_);
  return static_cast<int>(entries_.size());
}

bool CArchiveLogger::GetEntry(int index, CJobArchListEntry& out) {
  zel::MutexLock lock(mutex_);
  if (index < 0 || index >= static_cast<int>(entries_.size())) return false;
  out = entries_[static_cast<size_t>(index)];
  return true;
}

std::vector<CJobArchListEntry> CArchiveLogger::Entries() {
  zel::MutexLock lock(mutex_);
  return entries_;
}

int CArchiveLogger::IndexOfId(int32_t id) {
  zel::MutexLock lock(mutex_);
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].JobTime() == id) return static_cast<int>(i);
  }
  return -1;
}

bool CArchiveLogger::RemoveEntry(int index) {
  zel::MutexLock lock(mutex_);
  if (index < 0 || index >= static_cast<int>(entries_.size())) return false;
  Key key = KeyOf(entries_[static_cast<size_t>(index)]);
  removed_.insert(key);
  added_.erase(key);
  edited_.erase(key);
  entries_.erase(entries_.begin() + index);
  Changed();
  return true;
}

void CArchiveLogger::SetEntryComment(int index, const std::string& text) {
  zel::MutexLock lock(mutex_);
  if (index < 0) return;
  dirty_ = true;
  if (index < static_cast<int>(entries_.size())) {
    entries_[static_cast<size_t>(index)].SetComment(text);
    edited_.insert(KeyOf(entries_[static_cast<size_t>(index)]));
  }
}

bool CArchiveLogger::IsLoaded() {
  zel::MutexLock lock(mutex_);
  return loaded_;
}

bool CArchiveLogger::IsDirty() {
  zel::MutexLock lock(mutex_);
  return dirty_;
}

const char* CArchiveLogger::ArchiverName(zel::ArchiveType type) { return zel::ArchiveLogName(type); }

zel::ArchiveType CArchiveLogger::ArchiverType(const std::string& text) { return zel::ArchiveTypeFromLogName(text); }

std::vector<std::string> CArchiveLogger::GetReportLines(const CJobArchListEntry& entry) {
  std::vector<std::string> lines;
  lines.push_back("Archiver Report");
  lines.push_back("Issued: " + entry.DateTimeText());
  lines.push_back("-------------------------");
  lines.push_back(std::string("Archive Job: ") + zel::ArchiveReportName(entry.ArchiveType()));
  lines.push_back("Archive File: " + entry.Target());
  lines.push_back("Created By: " + entry.User());
  lines.push_back("Created Date: " + entry.DateTimeText());
  lines.push_back("Files count: " + std::to_string(entry.CallCount()));
  lines.push_back(std::string("Structure Calls by: ") + zel::StructureReportName(entry.StructureType()));
  lines.push_back(entry.Comment());
  return lines;
}

std::string CArchiveLogger::GetListLine(const CJobArchListEntry& entry) {
  return entry.DateTimeText() + " - " + zel::ArchiveListName(entry.ArchiveType()) + " - " +
         std::to_string(entry.CallCount()) + " (calls) - " + entry.Comment();
}

bool CArchiveLogger::WriteReportFile(const std::vector<int>& indices, const std::string& path,
                                     std::string& error) {
  std::string content;
  {
    zel::MutexLock lock(mutex_);
    for (int index : indices) {
      if (index < 0 || index >= static_cast<int>(entries_.size())) continue;
      const CJobArchListEntry& entry = entries_[static_cast<size_t>(index)];
      for (const auto& line : GetReportLines(entry)) content += line + "\n";
      if (!entry.Sources().empty()) content += "Calls:\n";
      for (const auto& call : entry.Sources()) content += "   " + call.Path() + "\n";
      content += "\n\n";
    }
  }
  if (!zel::WriteFileAtomically(path, content)) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

std::string CArchiveLogger::ReportFileName(int64_t now) {
  return "Diza Didurido Report " + zel::FileNameDateTime(now) + ".txt";
}

std::string CArchiveLogger::ViewReport(const std::vector<int>& indices) {
  if (indices.empty()) return std::string();
  // The user's documents, where they look for what they wrote; not the folder
  // the program happened to be started in.
  std::string folder = zel::DocumentsFolder();
  if (folder.empty()) folder = zel::TempFolder();
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  if (folder.back() != '/') folder += '/';
  std::string name = folder + ReportFileName(std::time(nullptr));
  std::string error;
  if (!WriteReportFile(indices, name, error)) {
    zel::ShowMessage("The report " + name + " cannot be written: " + error, IMessageSink::Icon::Warning);
    return std::string();
  }
  // The desktop's viewer; without a desktop (or without xdg-open) this fails.
  if (!zel::OpenWithDesktop(name)) {
    zel::ShowMessage("Failed to open Archive Details File: " + name, IMessageSink::Icon::Warning);
  }
  return name;
}

int CArchiveLogger::ArchiveKindOf(const CKlFileListEntry& entry) {
  zel::MutexLock lock(mutex_);
  int index = FindByFileLocked(entry);
  return index < 0 ? -1 : zel::ToInt(entries_[static_cast<size_t>(index)].ArchiveType());
}

std::string CArchiveLogger::ArchiveTooltipOf(const CKlFileListEntry& entry) {
  zel::MutexLock lock(mutex_);
  std::string text;
  if (entry.StartTime() == 0) return text;
  for (size_t i = entries_.size(); i-- > 0;) {
    bool holds = false;
    for (const auto& call : entries_[i].Sources()) {
      if (call.StartTime() == entry.StartTime()) {
        holds = true;
        break;
      }
    }
    if (!holds) continue;
    if (!text.empty()) text += "\n\n";
    auto lines = GetReportLines(entries_[i]);
    for (size_t k = 0; k < lines.size(); ++k) text += (k ? "\n" : "") + lines[k];
  }
  return text;
}
