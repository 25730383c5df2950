#include "organiser/CSearchManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>

#include "core/CSettings.h"
#include "organiser/CZelVelomarDoc.h"
#include "recording/CKlFileListEntry.h"

namespace {

// Symbolic links to folders are not followed, and the depth is bounded, so a
// link cycle cannot make the walk endless.
constexpr int kMaxDepth = 256;

// The folder part of a source item: trailing "/" removed (the root stays "/").
std::string FolderOf(const std::string& item) {
  std::string folder = item;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string Join(const std::string& folder, const char* name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

bool NameEndsInZel(const char* name, size_t length) {
  if (length < 3) return false;
  const char* end = name + length - 3;
  return (end[0] | 0x20) == 'z' && (end[1] | 0x20) == 'e' && (end[2] | 0x20) == 'l';
}

enum class Kind { File, Folder, Other };

// The kind of a directory entry, from d_type where the file system gives it.
Kind KindOf(int dirFd, const dirent* entry) {
  switch (entry->d_type) {
    case DT_REG: return Kind::File;
    case DT_DIR: return Kind::Folder;
    case DT_UNKNOWN: {
      struct stat st;
      if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return Kind::Other;
      if (S_ISREG(st.st_mode)) return Kind::File;
      if (S_ISDIR(st.st_mode)) return Kind::Folder;
      if (!S_ISLNK(st.st_mode)) return Kind::Other;
      [[fallthrough]];
    }
    case DT_LNK: {
      // A link to a recording counts; a link to a folder is not walked.
      struct stat st;
      if (fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) return Kind::File;
      return Kind::Other;
    }
    default: return Kind::Other;
  }
}

int CountFolder(const std::string& folder, bool subfolders, int depth) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  int count = 0;
  const int fd = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    const size_t length = std::strlen(name);
    if (entry->d_type == DT_REG && NameEndsInZel(name, length)) {
      ++count;
      continue;
    }
    Kind kind = KindOf(fd, entry);
    if (kind == Kind::File && NameEndsInZel(name, length)) {
      ++count;
    } else if (kind == Kind::Folder && subfolders && depth < kMaxDepth) {
      count += CountFolder(Join(folder, name), subfolders, depth + 1);
    }
  }
  closedir(dir);
  return count;
}

bool IsSingleFile(const std::string& item, struct stat& st) {
  return zel::EndsInZel(item) && ::stat(item.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

namespace zel {
int CountRecordings(const SearchCriteria& criteria) {
  int total = 0;
  for (const std::string& item : criteria.folders) {
    struct stat st;
    if (item.empty() || ::stat(item.c_str(), &st) != 0) return -1;
    if (IsSingleFile(item, st)) {
      ++total;
    } else if (S_ISDIR(st.st_mode)) {
      total += CountFolder(FolderOf(item), criteria.includeSubfolders != 0, 0);
    }
  }
  return total;
}
}  // namespace zel

CSearchManager::CSearchManager() : CKlThread("Search Manager") {}

CSearchManager::~CSearchManager() {
  Stop();
  ZEL_LOCK(lock_);
  results_.clear();
}

void CSearchManager::PrepareSearch(const SearchCriteria& criteria, int sortColumn, int sortDescending) {
  ClearResults();
  criteria_ = criteria;
  failed_ = 0;
  processed_ = 0;
  total_ = 0;
  passphrase_ = zel::TrimBlanks(Singleton<CSettings>::Instance()->GetPassphrase());
  // The count stops at the first empty or missing item; later items are not counted.
  int total = 0;
  for (const std::string& item : criteria_.folders) {
    SearchCriteria one = criteria_;
    one.folders = {item};
    int count = zel::CountRecordings(one);
    if (count < 0) {
      failed_ = 1;
      break;
    }
    total += count;
    total_ = total;
  }
  sortColumn_ = sortColumn;
  sortDescending_ = sortDescending;
}

void CSearchManager::GetStatus(SearchStatus& status) const {
  status.failed = failed_.load(std::memory_order_relaxed);
  status.processed = processed_.load(std::memory_order_relaxed);
  status.total = total_.load(std::memory_order_relaxed);
}

void CSearchManager::StartSearch() {
  if (failed_) return;
  ClearResults();
  processed_ = 0;
  Start(THREAD_PRIORITY_NORMAL);
}

void CSearchManager::StopSearch() {
  if (IsRunning() || HasThread()) Stop();
}

void CSearchManager::ClearResults() {
  if (IsRunning()) Stop();
  ZEL_LOCK(lock_);
  results_.clear();
}

size_t CSearchManager::ResultCount() {
  ZEL_LOCK(lock_);
  return results_.size();
}

void CSearchManager::TakeResults(CZelVelomarDoc* document) {
  // The worker may not hold the lock yet right after StartSearch; wait for its end
  // so that a walk in progress is never taken half-way or missed.
  WaitUntilStopped(-1);
  ZEL_LOCK(lock_);
  if (results_.empty() || !document) return;
  document->SetCriteria(criteria_);
  for (auto& entry : results_) document->AddEntry(entry);  // refused entries die below
  results_.clear();
}

unsigned CSearchManager::Run() {
  ZEL_LOCK(lock_);
  SetCurrentThreadPriority(THREAD_PRIORITY_BELOW_NORMAL);
  const long long now = static_cast<long long>(std::time(nullptr));
  for (const std::string& item : criteria_.folders) {
    if (!IsRunning()) break;
    Scan(item, now);
  }
  // A cancelled walk hands nothing over: its partial results are dropped here.
  if (IsRunning()) {
    zel::SortEntries(results_, sortColumn_, sortDescending_ != 0);
  } else {
    results_.clear();
  }
  return 0;
}

void CSearchManager::Scan(const std::string& item, long long now) {
  struct stat st;
  if (item.empty() || ::stat(item.c_str(), &st) != 0) return;
  if (IsSingleFile(item, st)) {
    Examine(item, static_cast<long long>(st.st_mtime), now);
  } else if (S_ISDIR(st.st_mode)) {
    ScanFolder(FolderOf(item), now, 0);
  }
}

namespace {
// Whether the date rule can need the file's time at all.
bool NeedsFileTime(const SearchCriteria& criteria) {
  return (criteria.dateMode >= 1 && criteria.dateMode <= 3) ||
         (criteria.dateMode == 4 && criteria.rangeStart < criteria.rangeEnd);
}
}  // namespace

void CSearchManager::ScanFolder(const std::string& folder, long long now, int depth) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const int fd = dirfd(dir);
  const bool needTime = NeedsFileTime(criteria_);
  for (;;) {
    if (!IsRunning()) break;
    const dirent* entry = readdir(dir);
    if (!entry) break;
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    const size_t length = std::strlen(name);
    Kind kind = (entry->d_type == DT_REG) ? Kind::File : KindOf(fd, entry);
    if (kind == Kind::File && NameEndsInZel(name, length)) {
      long long mtime = -1;
      if (needTime) {
        struct stat st;
        if (fstatat(fd, name, &st, 0) == 0) mtime = static_cast<long long>(st.st_mtime);
      }
      Examine(Join(folder, name), mtime, now);
    } else if (kind == Kind::Folder && criteria_.includeSubfolders && depth < kMaxDepth) {
      ScanFolder(Join(folder, name), now, depth + 1);
    }
  }
  closedir(dir);
}

void CSearchManager::Examine(const std::string& path, long long modificationTime, long long now) {
  auto entry = std::make_unique<CKlFileListEntry>();
  entry->SetPath(path);
  if (zel::MatchesCriteria(criteria_, *entry, modificationTime, passphrase_, now)) {
    entry->LoadDetails(passphrase_);
    results_.push_back(std::move(entry));
  }
  processed_.fetch_add(1, std::memory_order_relaxed);
}
