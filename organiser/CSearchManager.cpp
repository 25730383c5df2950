#include "organiser/CSearchManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "core/CSettings.h"
#include "core/RegularFile.h"
#include "organiser/CSearchPool.h"
#include "organiser/CZelVelomarDoc.h"
#include "recording/CKlFileListEntry.h"

namespace {

// Symbolic links to folders are not followed, and the depth is bounded
// (zel::kMaxSearchDepth), so a link cycle cannot make the walk endless.

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

enum class Kind { File, Folder, LinkedFolder, Other };

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
      if (fstatat(dirFd, entry->d_name, &st, 0) != 0) return Kind::Other;
      return S_ISREG(st.st_mode) ? Kind::File : S_ISDIR(st.st_mode) ? Kind::LinkedFolder : Kind::Other;
    }
    default: return Kind::Other;
  }
}

// Counts the recording files below `folder`; with `listed`, also notes their paths
// in the order the file system gives them.
int CountFolder(const std::string& folder, bool subfolders, int depth, std::vector<std::string>* listed,
                zel::WalkLimits* limits) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  int count = 0;
  const int fd = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    const size_t length = std::strlen(name);
    const Kind kind = entry->d_type == DT_REG ? Kind::File : KindOf(fd, entry);
    if (kind == Kind::File && NameEndsInZel(name, length)) {
      ++count;
      if (listed) listed->push_back(Join(folder, name));
    } else if (kind == Kind::Folder && subfolders && depth < zel::kMaxSearchDepth) {
      count += CountFolder(Join(folder, name), subfolders, depth + 1, listed, limits);
    } else if (limits && subfolders && (kind == Kind::Folder || kind == Kind::LinkedFolder)) {
      ++(kind == Kind::Folder ? limits->tooDeep : limits->linkedFolders);
    }
  }
  closedir(dir);
  return count;
}

bool IsSingleFile(const std::string& item, struct stat& st) {
  return zel::EndsInZel(item) && ::stat(item.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

namespace zel {
int CountRecordings(const SearchCriteria& criteria, std::vector<std::string>* listed, WalkLimits* limits) {
  int total = 0;
  for (const std::string& item : criteria.folders) {
    struct stat st;
    if (item.empty() || ::stat(item.c_str(), &st) != 0) return -1;
    if (IsSingleFile(item, st)) {
      ++total;
      if (listed) listed->push_back(item);
    } else if (S_ISDIR(st.st_mode)) {
      total += CountFolder(FolderOf(item), criteria.includeSubfolders != 0, 0, listed, limits);
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
  // The walk examines the files the count listed, so the tree is read only once.
  listed_.clear();
  listed_.shrink_to_fit();
  limits_ = zel::WalkLimits();
  masked_ = 0;
  maskedFolders_.clear();
  scan_.reset();
  if (useCatalogue_) {
    // A database that cannot be had leaves the search to the walk.
    const std::string file = CRecordingCatalogue::DefaultFile();
    if (!catalogue_ || catalogue_->File() != file) catalogue_ = std::make_unique<CRecordingCatalogue>(file);
    if (catalogue_->Open()) scan_ = std::make_unique<CRecordingCatalogue::Scan>();
  }
  int total = 0;
  for (const std::string& item : criteria_.folders) {
    if (scan_) {
      const int count = catalogue_->List(item, criteria_.includeSubfolders != 0, *scan_, &limits_);
      maskedFolders_ = scan_->Masked();
      masked_ = static_cast<int>(maskedFolders_.size());
      if (count < 0) {
        failed_ = 1;
        break;
      }
      total += count;
      total_ = total;
      continue;
    }
    SearchCriteria one = criteria_;
    one.folders = {item};
    int count = zel::CountRecordings(one, &listed_, &limits_);
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
  status.masked = masked_.load(std::memory_order_relaxed);
}

std::vector<std::string> CSearchManager::MaskedFolders() const { return maskedFolders_; }

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
  static std::atomic<uint64_t> runs{0};
  run_ = ++runs;
  SetCurrentThreadPriority(THREAD_PRIORITY_BELOW_NORMAL);
  const long long now = static_cast<long long>(std::time(nullptr));
  if (scan_) {
    RunThroughCatalogue(now);
  } else {
    // Reading the headers costs more than handing out the files: a few threads
    // read them while this one hands out. A stopped search skips what is queued.
    CSearchPool pool(
        [this, now](const std::string& path) -> std::unique_ptr<CKlFileListEntry> {
          if (!IsRunning()) return nullptr;
          return Examine(path, now);
        },
        CSearchPool::DefaultThreads());
    for (const std::string& path : listed_) {
      if (!IsRunning()) break;
      pool.Add(path);
    }
    pool.Finish(results_);
  }
  // A cancelled walk hands nothing over: its partial results are dropped here.
  if (IsRunning()) {
    zel::SortEntries(results_, sortColumn_, sortDescending_ != 0);
  } else {
    results_.clear();
  }
  return 0;
}

void CSearchManager::RunThroughCatalogue(long long now) {
  // New and changed files are read first, then every file is taken in walk order:
  // from the catalogue, or examined as by the walk when encrypted or unreadable.
  catalogue_->ReadChanged(
      *scan_, CSearchPool::DefaultThreads(), [this] { return IsRunning(); },
      [this] { processed_.fetch_add(1, std::memory_order_relaxed); });
  scan_->SetCriteria(criteria_);
  CSearchPool pool(
      [this, now](const std::string& path) -> std::unique_ptr<CKlFileListEntry> {
        if (!IsRunning()) return nullptr;
        return Examine(path, now);
      },
      CSearchPool::DefaultThreads());
  bool examining = false;
  // Counted and checked for a stop a thousand files at a time: taking a file from
  // the catalogue costs less than either.
  int counted = 0;
  for (size_t i = 0; i < scan_->Size(); ++i) {
    if (i % 1024 == 0) {
      processed_.fetch_add(counted, std::memory_order_relaxed);
      counted = 0;
      if (!IsRunning()) break;
    }
    if (scan_->Live(i)) {
      // Examine counts the file; one read above was counted already.
      if (scan_->Fresh(i)) processed_.fetch_sub(1, std::memory_order_relaxed);
      pool.Add(scan_->Path(i));
      examining = true;
      continue;
    }
    if (examining) pool.Finish(results_);  // the entries before this one first
    examining = false;
    if (auto entry = scan_->Match(i, now)) results_.push_back(std::move(entry));
    if (!scan_->Fresh(i)) ++counted;
  }
  processed_.fetch_add(counted, std::memory_order_relaxed);
  pool.Finish(results_);
  if (IsRunning()) catalogue_->Save(*scan_);
}

namespace {
// The folder of the file a thread examined last, kept open: the walk lists a
// folder's files together, and opening each by its name in the folder skips
// looking up the whole path again.
class FolderHandle {
 public:
  ~FolderHandle() { Close(); }
  // A descriptor of the folder `path` lies in, or -1 (the file is then opened by
  // its path).
  int For(uint64_t run, const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return -1;
    const std::string_view folder(path.data(), slash == 0 ? 1 : slash);
    if (fd_ >= 0 && run == run_ && folder == folder_) return fd_;
    Close();
    run_ = run;
    folder_.assign(folder);
    fd_ = ::open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd_;
  }

 private:
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  uint64_t run_ = 0;
  std::string folder_;
  int fd_ = -1;
};
}  // namespace

std::unique_ptr<CKlFileListEntry> CSearchManager::Examine(const std::string& path, long long now) {
  thread_local FolderHandle folder;
  processed_.fetch_add(1, std::memory_order_relaxed);
  auto entry = std::make_unique<CKlFileListEntry>();
  entry->SetPath(path);
  if (!zel::MatchesNameRule(criteria_, *entry)) return nullptr;
  // The count saw a regular file here: open it straight away and take its time and
  // size from the open file (open, fstat, read, close per recording).
  const int folderFd = folder.For(run_, path);
  const size_t slash = path.rfind('/');
  struct stat st;
  const int fd = folderFd >= 0 ? zel::OpenListedFile(path.c_str() + slash + 1, folderFd, st)
                               : zel::OpenListedFile(path.c_str(), AT_FDCWD, st);
  if (fd < 0) return ExamineUnopened(std::move(entry), folderFd, now);
  const long long modificationTime = zel::DateRuleNeedsFileTime(criteria_) ? static_cast<long long>(st.st_mtime) : -1;
  if (zel::MatchesDateRule(criteria_, *entry, modificationTime, now)) entry->LoadDetailsFrom(fd, st, passphrase_);
  ::close(fd);
  if (!entry->DetailsLoaded() || !zel::MatchesHeaderRules(criteria_, *entry, passphrase_)) return nullptr;
  return entry;
}

std::unique_ptr<CKlFileListEntry> CSearchManager::ExamineUnopened(std::unique_ptr<CKlFileListEntry> entry,
                                                                  int folderFd, long long now) {
  // Gone, unreadable or no longer a regular file: the date rule still goes by what
  // the path tells, and the entry gets its error texts.
  const std::string& path = entry->Path();
  long long modificationTime = -1;
  if (zel::DateRuleNeedsFileTime(criteria_)) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) modificationTime = static_cast<long long>(st.st_mtime);
  }
  if (!zel::MatchesDateRule(criteria_, *entry, modificationTime, now)) return nullptr;
  entry->LoadDetails(passphrase_, folderFd);
  // A file removed since the count is no candidate any more (an unreadable one is).
  if (entry->LoadFailed() && ::access(path.c_str(), F_OK) != 0 && errno == ENOENT) return nullptr;
  if (!zel::MatchesHeaderRules(criteria_, *entry, passphrase_)) return nullptr;
  return entry;
}
