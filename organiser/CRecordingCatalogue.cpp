#include "organiser/CRecordingCatalogue.h"

#include <dirent.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "core/CSettings.h"
#include "core/Cp1252.h"
#include "core/Cp1252Case.h"
#include "core/TimeUnits.h"
#include "core/DamagedFile.h"
#include "core/RegularFile.h"
#include "organiser/CSearchManager.h"
#include "organiser/CSearchPool.h"
#include "organiser/CWatchedFolders.h"
#include "organiser/SearchRules.h"
#include "recording/CKlFileListEntry.h"
#include "recording/CKlRecordFileHdr.h"
#include "recording/CommentText.h"

namespace {

using Record = CRecordingCatalogue::Record;

// The layout of the rows; a database of another layout is set aside and made anew,
// one of the layout before this is emptied.
constexpr int kLayout = 2;

// Records per row of a folder's listing: rows of a few kilobytes, large enough that
// a search reads few rows. A recording written in place is kept as a change of its
// own beside them (see Save), so that a change writes one small row.
constexpr size_t kPart = 16;

// A change time this close to the start of a scan may hide a change made during
// it (the kernel stamps with a coarse clock; some file systems keep whole seconds),
// so it is not trusted and the next search looks again.
constexpr int64_t kFineMargin = 50'000'000;
constexpr int64_t kCoarseMargin = 2'000'000'000;

// Looking at files is mostly waiting (on a share every folder opened is a round
// trip), so more threads look than the machine has cores.
constexpr unsigned kCheckThreads = 8;


int64_t Nanoseconds(const struct timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

int64_t Now() {
  struct timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return Nanoseconds(t);
}

int64_t Trusted(int64_t stamp, int64_t started) {
  const int64_t margin = stamp % 1'000'000'000 == 0 ? kCoarseMargin : kFineMargin;
  return stamp >= started - margin ? 0 : stamp;
}

std::string FolderOf(const std::string& item) {
  std::string folder = item;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string Join(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

// The key of a source folder: its real path, or the absolute form of the name
// when it cannot be resolved (a missing share).
std::string KeyOf(const std::string& item) {
  if (char* real = ::realpath(item.c_str(), nullptr)) {
    std::string key = real;
    std::free(real);
    return key;
  }
  std::string folder = FolderOf(item);
  if (!folder.empty() && folder[0] == '/') return folder;
  char cwd[PATH_MAX];
  return ::getcwd(cwd, sizeof cwd) ? Join(cwd, folder) : folder;
}

// The rows hold numbers as LEB128 varints, signed ones zigzagged.
void PutNumber(std::string& out, uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out += static_cast<char>(value);
}
void PutSigned(std::string& out, int64_t value) {
  PutNumber(out, (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63));
}
void PutText(std::string& out, std::string_view text) {
  PutNumber(out, text.size());
  out.append(text);
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : p_(bytes.data()), end_(bytes.data() + bytes.size()) {}
  bool AtEnd() const { return p_ == end_; }
  bool Ok() const { return ok_; }
  uint64_t Number() {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (p_ == end_) break;
      const auto byte = static_cast<unsigned char>(*p_++);
      value |= static_cast<uint64_t>(byte & 0x7F) << shift;
      if (!(byte & 0x80)) return value;
    }
    ok_ = false;
    return 0;
  }
  int64_t Signed() {
    const uint64_t v = Number();
    return static_cast<int64_t>((v >> 1) ^ (~(v & 1) + 1));
  }
  std::string_view Text() {
    const uint64_t size = Number();
    if (!ok_ || size > static_cast<uint64_t>(end_ - p_)) {
      ok_ = false;
      return {};
    }
    std::string_view text(p_, size);
    p_ += size;
    return text;
  }

 private:
  const char* p_;
  const char* end_;
  bool ok_ = true;
};

void Encode(std::string& out, const Record& r) {
  out += static_cast<char>(r.kind);
  PutText(out, r.name);
  if (r.kind != Record::File) return;
  out += static_cast<char>(r.state);
  PutSigned(out, r.size);
  PutSigned(out, r.stamp);
  PutSigned(out, r.modificationTime);
  if (r.state != Record::Ok) return;
  PutNumber(out, static_cast<uint32_t>(r.headerBytes));
  PutNumber(out, r.version);
  PutSigned(out, r.formatTag);
  PutNumber(out, r.important);
  PutSigned(out, r.startTime);
  PutNumber(out, r.duration);
  PutNumber(out, r.auxDuration);
  PutNumber(out, r.auxCode);
  PutText(out, r.callerId);
  PutText(out, r.comment);
  PutText(out, r.userId);
  PutText(out, r.siteCode);
}

bool Decode(std::string_view bytes, std::vector<Record>& records) {
  Reader in(bytes);
  while (in.Ok() && !in.AtEnd()) {
    Record r;
    const uint64_t kind = in.Number();
    if (kind > Record::LinkedFolder) return false;
    r.kind = static_cast<Record::Kind>(kind);
    r.name = in.Text();
    if (r.kind == Record::File) {
      const uint64_t state = in.Number();
      if (state > Record::Unreadable) return false;
      r.state = static_cast<Record::State>(state);
      r.size = in.Signed();
      r.stamp = in.Signed();
      r.modificationTime = in.Signed();
      if (r.state == Record::Ok) {
        r.headerBytes = static_cast<int32_t>(in.Number());
        r.version = static_cast<uint32_t>(in.Number());
        r.formatTag = static_cast<int32_t>(in.Signed());
        r.important = static_cast<uint32_t>(in.Number());
        r.startTime = static_cast<int32_t>(in.Signed());
        r.duration = static_cast<uint32_t>(in.Number());
        r.auxDuration = static_cast<uint32_t>(in.Number());
        r.auxCode = static_cast<uint32_t>(in.Number());
        r.callerId = in.Text();
        r.comment = in.Text();
        r.userId = in.Text();
        r.siteCode = in.Text();
      }
    }
    records.push_back(r);
  }
  return in.Ok();
}

bool NameEndsInZel(std::string_view name) {
  if (name.size() < 3) return false;
  const char* end = name.data() + name.size() - 3;
  return (end[0] | 0x20) == 'z' && (end[1] | 0x20) == 'e' && (end[2] | 0x20) == 'l';
}

// The kind of a directory entry as the walk tells it; false for anything the
// catalogue does not keep.
bool KindOf(int dirFd, const dirent* entry, Record::Kind& kind) {
  struct stat st;
  switch (entry->d_type) {
    case DT_REG: kind = Record::File; return true;
    case DT_DIR: kind = Record::Folder; return true;
    case DT_UNKNOWN:
      if (fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
      if (S_ISREG(st.st_mode)) kind = Record::File;
      else if (S_ISDIR(st.st_mode)) kind = Record::Folder;
      if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return true;
      if (!S_ISLNK(st.st_mode)) return false;
      [[fallthrough]];
    case DT_LNK:
      if (fstatat(dirFd, entry->d_name, &st, 0) != 0) return false;
      kind = S_ISREG(st.st_mode) ? Record::File : Record::LinkedFolder;
      return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
    default: return false;
  }
}

struct Statement {
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
  ~Statement() { sqlite3_finalize(s); }
  Statement& Bind(int i, const std::string& text) {
    sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Bind(int i, long long value) {
    sqlite3_bind_int64(s, i, value);
    return *this;
  }
  int Step() { return s ? sqlite3_step(s) : SQLITE_ERROR; }
  bool Done() {
    const int rc = Step();
    sqlite3_reset(s);
    return rc == SQLITE_DONE;
  }
  sqlite3_stmt* s = nullptr;
};

bool Ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// `text` (Windows-1252) as the search rules compare it: in UTF-8, upper case. The
// walk converts it whole; plain ASCII, most caller numbers, needs no conversion.
const std::string& UpperText(std::string_view text) {
  thread_local std::string out;
  if (!Ascii(text)) {
    out = zel::UpperCp1252(zel::Cp1252ToUtf8(text));
    return out;
  }
  out.assign(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Whether ASCII `text` holds `upper` (upper case) anywhere, letters in either case:
// what WildcardMatch("*upper*", text in upper case) tells, without the copy.
bool ContainsUpper(std::string_view text, std::string_view upper) {
  for (size_t at = 0; at + upper.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < upper.size()) {
      char c = text[at + i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c != upper[i]) break;
      ++i;
    }
    if (i == upper.size()) return true;
  }
  return false;
}

// The rows of the folder bound as ?1 and of the folders below it: their keys sort
// between "key/" and "key0" ('0' follows '/').
constexpr const char* kKeyAndBelow = " WHERE key = ?1 OR (key > ?1 || '/' AND key < ?1 || '0')";

// A kept name as the C string the system calls take (names are never longer).
const char* CopyName(std::string_view kept, char (&name)[NAME_MAX + 1]) {
  const size_t length = std::min(kept.size(), sizeof name - 1);
  std::memcpy(name, kept.data(), length);
  name[length] = 0;
  return name;
}

bool IsDamage(int code) { return (code & 0xFF) == SQLITE_CORRUPT || (code & 0xFF) == SQLITE_NOTADB; }

}  // namespace

// --- Scan -------------------------------------------------------------------

std::string CRecordingCatalogue::Scan::Path(size_t i) const {
  const File& f = files_[i];
  return f.folder ? Join(f.folder->path, f.folder->Records()[f.index].name) : singles_[f.index];
}

bool CRecordingCatalogue::Scan::Live(size_t i) const {
  const File& f = files_[i];
  return !f.folder || f.folder->Records()[f.index].state != Record::Ok;
}

bool CRecordingCatalogue::Scan::Fresh(size_t i) const { return files_[i].fresh; }

void CRecordingCatalogue::Scan::SetCriteria(const SearchCriteria& criteria) {
  criteria_ = criteria;
  criteria_.folders.clear();
  // The masks as MatchesCriteria makes them for each file, made once.
  auto mask = [](const std::string& text) {
    return text.empty() || text == "*" ? std::string() : zel::ContainsMask(text);
  };
  nameMask_ = mask(criteria.nameMask);
  callerMask_ = mask(criteria.callerIdMask);
  callerText_.clear();
  if (callerMask_.size() > 2 && callerMask_.front() == '*' && callerMask_.back() == '*') {
    const std::string_view inner = std::string_view(callerMask_).substr(1, callerMask_.size() - 2);
    if (Ascii(inner) && inner.find_first_of("*?") == std::string_view::npos) callerText_ = inner;
  }
  commentMask_ = mask(criteria.commentMask);
  fileTime_ = zel::DateRuleNeedsFileTime(criteria_);
}

std::unique_ptr<CKlFileListEntry> CRecordingCatalogue::Scan::Match(size_t i, long long now) const {
  const File& f = files_[i];
  const Record& r = f.folder->Records()[f.index];
  // The five rules of MatchesCriteria on the kept fields, so that only the entries
  // kept are made: the date rule takes the file's time, as the walk's fresh entry
  // does, and the texts are those LoadDetails makes (no header text is longer than
  // the list keeps).
  const bool hasAudio = r.size > r.headerBytes;
  if (!nameMask_.empty() && !zel::WildcardMatch(nameMask_, zel::UpperCp1252(zel::FileNameStem(std::string(r.name))))) {
    return nullptr;
  }
  if (fileTime_ && !zel::PassesDateRule(criteria_, r.modificationTime, now)) return nullptr;
  if (criteria_.limitByLength &&
      static_cast<long long>(hasAudio ? r.duration : 0) / zel::kSecondsPerMinute <= criteria_.minMinutes) {
    return nullptr;
  }
  if (!callerMask_.empty() && !(!callerText_.empty() && Ascii(r.callerId)
                                    ? ContainsUpper(r.callerId, callerText_)
                                    : zel::WildcardMatch(callerMask_, UpperText(r.callerId)))) {
    return nullptr;
  }
  if (!commentMask_.empty() &&
      !zel::WildcardMatch(commentMask_, zel::UpperCp1252(zel::UserCommentText(zel::Cp1252ToUtf8(r.comment))))) {
    return nullptr;
  }
  CKlRecordFileHdr header;
  header.SetFormatTag(r.formatTag);
  header.SetImportant(r.important);
  header.SetStartTime(r.startTime);
  header.SetDuration(r.duration);
  header.SetAuxCode(r.auxCode);
  header.SetAuxDuration(r.auxDuration);
  header.SetCallerId(std::string(r.callerId));
  header.SetComment(std::string(r.comment));
  header.SetUserId(std::string(r.userId));
  header.SetSiteCode(std::string(r.siteCode));
  auto entry = std::make_unique<CKlFileListEntry>();
  entry->SetPath(Path(i));
  entry->TakeDetails(header, hasAudio);
  return entry;
}

// --- Catalogue --------------------------------------------------------------

CRecordingCatalogue::CRecordingCatalogue(std::string file)
    : file_(file.empty() ? DefaultFile() : std::move(file)),
      threads_(std::max(CSearchPool::DefaultThreads(), kCheckThreads)),
      watched_(&CWatchedFolders::Process()) {}

CRecordingCatalogue::~CRecordingCatalogue() { Close(); }

std::string CRecordingCatalogue::DefaultFile() { return CSettings::SettingsFilePath(false, "catalogue.sqlite"); }

void CRecordingCatalogue::Checkpoint() {
  // As often as SQLite would; one copy at a time, a later commit starts the next.
  if (journalPages_ < 1000 || checkpointing_.exchange(true)) return;
  if (checkpointer_.joinable()) checkpointer_.join();
  journalPages_ = 0;
  checkpointer_ = std::thread([this, file = file_] {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
      sqlite3_busy_timeout(db, 5000);
      sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    sqlite3_close_v2(db);
    checkpointing_ = false;
  });
}

void CRecordingCatalogue::Close() {
  if (checkpointer_.joinable()) checkpointer_.join();
  sqlite3_finalize(load_);
  load_ = nullptr;
  sqlite3_finalize(changes_);
  changes_ = nullptr;
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

bool CRecordingCatalogue::Exec(const char* sql) {
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (IsDamage(rc)) damaged_ = true;
  return rc == SQLITE_OK;
}

bool CRecordingCatalogue::Create() {
  if (sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    return false;
  }
  sqlite3_busy_timeout(db_, 5000);
  // In place of SQLite's own checkpoints after a commit (see Checkpoint).
  sqlite3_wal_hook(
      db_,
      [](void* self, sqlite3*, const char*, int pages) {
        static_cast<CRecordingCatalogue*>(self)->journalPages_ = pages;
        return SQLITE_OK;
      },
      this);
  int layout = -1;
  {
    Statement version(db_, "PRAGMA user_version");
    const int rc = version.Step();
    if (IsDamage(rc)) damaged_ = true;
    if (rc == SQLITE_ROW) layout = sqlite3_column_int(version.s, 0);
  }
  if (damaged_ || layout < 0) return false;
  if (layout != 0 && layout != kLayout && layout != 1) {
    damaged_ = true;
    return false;
  }
  // One row per folder held its whole listing: what was kept is read again.
  if (layout == 1 && !Exec("DROP TABLE IF EXISTS folders")) return false;
  // The catalogue can always be made again from the recordings: a lost last
  // transaction after a power cut costs a re-read, never a wrong answer.
  // Pages of several rows each make a new database a fifth smaller and quicker to
  // write. The index of the rows is written in the order folders are listed, not in
  // its own: a page cache that holds it keeps a first search from reading it back.
  return Exec("PRAGMA page_size=16384") && Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA synchronous=NORMAL") &&
         Exec("PRAGMA cache_size=-32768") && Exec("PRAGMA journal_size_limit=4194304") &&
         Exec("CREATE TABLE IF NOT EXISTS folders(key TEXT PRIMARY KEY, stamp INTEGER NOT NULL,"
              " recordings INTEGER NOT NULL);"
              "CREATE TABLE IF NOT EXISTS parts(key TEXT NOT NULL, part INTEGER NOT NULL, listing BLOB NOT NULL,"
              " PRIMARY KEY(key, part));"
              "CREATE TABLE IF NOT EXISTS roots(key TEXT PRIMARY KEY, missing INTEGER NOT NULL,"
              " refreshed INTEGER NOT NULL);"
              "CREATE TABLE IF NOT EXISTS changes(key TEXT NOT NULL, record INTEGER NOT NULL, listing BLOB NOT NULL,"
              " PRIMARY KEY(key, record));"
              "CREATE TABLE IF NOT EXISTS writer(id INTEGER PRIMARY KEY, mark TEXT NOT NULL);"
              "PRAGMA user_version=2");
}

bool CRecordingCatalogue::Open() {
  if (db_ && !damaged_) return true;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Close();
    damaged_ = false;
    if (Create()) return true;
    Close();
    if (!damaged_) return false;
    // Its journal belongs to it: set aside alone, it would be applied to the new one.
    zel::SetAsideDamaged(file_, "it is damaged", "The catalogue is built again by the next search.");
    ::unlink((file_ + "-wal").c_str());
    ::unlink((file_ + "-shm").c_str());
  }
  return false;
}

CCatalogueCache::ListingPtr CRecordingCatalogue::Read(const std::string& key) {
  if (!load_ && sqlite3_prepare_v3(db_,
                                   "SELECT f.stamp, p.part, p.listing FROM folders f LEFT JOIN parts p ON p.key = f.key"
                                   " WHERE f.key = ? ORDER BY p.part",
                                   -1, SQLITE_PREPARE_PERSISTENT, &load_, nullptr) != SQLITE_OK) {
    return nullptr;
  }
  sqlite3_bind_text(load_, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
  // The rows follow each other in the listing's order.
  auto listing = std::make_shared<CCatalogueCache::Listing>();
  bool known = false, whole = true;
  int rc;
  while ((rc = sqlite3_step(load_)) == SQLITE_ROW) {
    known = true;
    listing->stamp = sqlite3_column_int64(load_, 0);
    if (sqlite3_column_type(load_, 1) == SQLITE_NULL) continue;  // a folder without recordings
    whole = whole && sqlite3_column_int64(load_, 1) == static_cast<long long>(listing->parts.size());
    const char* bytes = static_cast<const char*>(sqlite3_column_blob(load_, 2));
    listing->parts.push_back(
        std::make_shared<const std::string>(bytes, static_cast<size_t>(sqlite3_column_bytes(load_, 2))));
  }
  sqlite3_reset(load_);
  sqlite3_clear_bindings(load_);
  if (IsDamage(rc)) damaged_ = true;
  if (!known || !whole || rc != SQLITE_DONE) return nullptr;
  // Each row is whole records, kPart of them but in the last.
  listing->records.reserve(listing->parts.size() * kPart);
  for (size_t part = 0; part < listing->parts.size(); ++part) {
    const size_t before = listing->records.size();
    if (!Decode(*listing->parts[part], listing->records)) return nullptr;
    const size_t count = listing->records.size() - before;
    if (part + 1 == listing->parts.size() ? count > kPart : count != kPart) return nullptr;
  }
  // The records written in place since, each over the one it replaces.
  if (!changes_ && sqlite3_prepare_v3(db_, "SELECT record, listing FROM changes WHERE key = ?", -1,
                                      SQLITE_PREPARE_PERSISTENT, &changes_, nullptr) != SQLITE_OK) {
    return nullptr;
  }
  sqlite3_bind_text(changes_, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
  std::vector<Record> one;
  bool fits = true;
  while (fits && (rc = sqlite3_step(changes_)) == SQLITE_ROW) {
    const long long index = sqlite3_column_int64(changes_, 0);
    const char* bytes = static_cast<const char*>(sqlite3_column_blob(changes_, 1));
    auto change = std::make_shared<const std::string>(bytes, static_cast<size_t>(sqlite3_column_bytes(changes_, 1)));
    one.clear();
    fits = index >= 0 && static_cast<size_t>(index) < listing->records.size() && Decode(*change, one) &&
           one.size() == 1 && one[0].name == listing->records[static_cast<size_t>(index)].name;
    if (fits) listing->records[static_cast<size_t>(index)] = one[0];
    listing->changes.push_back(std::move(change));
  }
  sqlite3_reset(changes_);
  sqlite3_clear_bindings(changes_);
  if (IsDamage(rc)) damaged_ = true;
  return fits && rc == SQLITE_DONE ? listing : nullptr;
}

std::string CRecordingCatalogue::Mark() {
  Statement mark(db_, "SELECT mark FROM writer WHERE id = 0");
  const int rc = mark.Step();
  if (IsDamage(rc)) damaged_ = true;
  return rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(mark.s, 0)) : std::string();
}

bool CRecordingCatalogue::Load(const std::string& key, Scan::Folder& folder) {
  CCatalogueCache& cache = CCatalogueCache::For(file_);
  CCatalogueCache::ListingPtr listing;
  {
    // Read under the lock: a listing saved meanwhile is never replaced by this one.
    zel::MutexLock hold(cache.lock);
    listing = cache.Find(key);
    if (!listing && (listing = Read(key))) cache.Put(key, listing);
  }
  // A row that does not read leaves the folder to be listed again.
  if (!listing) return false;
  folder.stamp = listing->stamp;
  folder.base = std::move(listing);
  return true;
}

int CRecordingCatalogue::List(const std::string& item, bool subfolders, Scan& scan, zel::WalkLimits* limits) {
  if (!scan.started_) scan.started_ = Now();
  struct stat st;
  if (item.empty()) return -1;
  {
    // Another process may have written since: what is kept in memory is dropped then.
    CCatalogueCache& cache = CCatalogueCache::For(file_);
    zel::MutexLock hold(cache.lock);
    cache.Current(Mark());
  }
  if (::stat(item.c_str(), &st) != 0) {
    const std::string key = KeyOf(item);
    Statement known(db_, "SELECT 1 FROM folders WHERE key = ?");
    if (known.Bind(1, key).Step() == SQLITE_ROW) {
      scan.masked_.push_back(item);
      scan.roots_.emplace_back(key, true);
    }
    return -1;
  }
  if (zel::EndsInZel(item) && S_ISREG(st.st_mode)) {
    scan.singles_.push_back(item);
    scan.files_.push_back({nullptr, static_cast<uint32_t>(scan.singles_.size() - 1), false});
    return 1;
  }
  if (!S_ISDIR(st.st_mode)) return 0;
  const std::string key = KeyOf(item);
  scan.roots_.emplace_back(key, false);
  const size_t files = scan.files_.size();
  const size_t folders = scan.folders_.size();
  const zel::WalkLimits before = limits ? *limits : zel::WalkLimits();
  int count = Visit(scan, key, FolderOf(item), subfolders, 0, limits);
  if (CheckFiles(scan)) {
    // Once more, with the folders found stale listed again.
    scan.files_.resize(files);
    scan.folders_.resize(folders);
    if (limits) *limits = before;
    count = Visit(scan, key, FolderOf(item), subfolders, 0, limits);
    CheckFiles(scan);
  }
  return count;
}

int CRecordingCatalogue::Visit(Scan& scan, std::string key, std::string path, bool subfolders, int depth,
                               zel::WalkLimits* limits) {
  struct stat st;
  // Before the folder is looked at: a change reported from now on is not missed.
  const int64_t token = watched_ ? watched_->Token(key) : -1;
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
  Scan::Folder& folder = scan.folders_.emplace_back();
  folder.key = std::move(key);
  folder.path = std::move(path);
  folder.token = token;
  const int64_t stamp = Nanoseconds(st.st_ctim);
  // An unchanged folder is not listed again; its files are looked at later, on
  // several threads (on a share, opening the folder is what costs), unless the
  // watcher vouches for them.
  const bool listed = Load(folder.key, folder) && folder.stamp != 0 && folder.stamp == stamp &&
                      !scan.relist_.count(folder.key);
  std::vector<std::string> reported;
  if (listed && !(token >= 0 && watched_->Trusted(folder.key, &reported))) scan.unchecked_.push_back(&folder);
  else if (listed && token >= 0 && reported.empty()) folder.vouched = true;
  if (listed && !reported.empty()) {
    // Only the files the watcher named are looked at, found by their names' hashes
    // (a few names, each compared to every record, would cost more).
    const std::hash<std::string_view> hash;
    std::unordered_multimap<size_t, std::string_view> names;
    for (const std::string& name : reported) names.emplace(hash(name), name);
    for (size_t i = 0; i < folder.Records().size(); ++i) {
      const std::string_view name = folder.Records()[i].name;
      const auto [from, to] = names.equal_range(hash(name));
      if (std::any_of(from, to, [&](const auto& known) { return known.second == name; })) {
        folder.only.push_back(static_cast<uint32_t>(i));
      }
    }
    if (!folder.only.empty()) scan.unchecked_.push_back(&folder);
  }
  if (!listed) {
    // Listed as the walk lists it, and looked into through the listing's descriptor.
    DIR* dir = ::opendir(folder.path.c_str());
    if (!dir) {
      scan.folders_.pop_back();
      return 0;
    }
    const int fd = ::dirfd(dir);
    std::unordered_map<std::string_view, const Record*> old;
    for (const Record& r : folder.Records()) old.emplace(r.name, &r);
    std::vector<Record> records;
    while (const dirent* entry = ::readdir(dir)) {
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      Record r;
      if (!KindOf(fd, entry, r.kind)) continue;
      if (r.kind == Record::File && !NameEndsInZel(name)) continue;
      if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) folder.links = true;
      const Record* before = nullptr;
      if (auto known = old.find(name); known != old.end()) {
        before = known->second;
        r.name = known->first;
        old.erase(known);
      } else {
        r.name = folder.Keep(name);
      }
      // A file that cannot be looked at is still a candidate: it is read at search
      // time and gets the walk's error texts.
      // A file new to the catalogue is looked at when it is read (ReadChanged).
      if (r.kind == Record::File && before && ::fstatat(fd, name, &st, 0) == 0) {
        const int64_t now = Nanoseconds(st.st_ctim);
        if (before && before->kind == Record::File && before->state != Record::Unread && before->stamp != 0 &&
            before->stamp == now && before->size == st.st_size) {
          r = *before;
        } else {
          r.size = st.st_size;
          r.stamp = Trusted(now, scan.started_);
          r.modificationTime = st.st_mtime;
        }
      }
      records.push_back(r);
    }
    ::closedir(dir);
    // What the folder no longer holds leaves the catalogue, folders with all below.
    for (const auto& [name, r] : old) {
      if (r->kind == Record::Folder) scan.vanished_.push_back(Join(folder.key, name));
    }
    folder.records = std::move(records);
    folder.owned = true;
    folder.stamp = Trusted(stamp, scan.started_);
    folder.changed = true;
    folder.relisted = true;
  }
  int count = 0;
  for (size_t i = 0; i < folder.Records().size(); ++i) {
    const Record& r = folder.Records()[i];
    if (r.kind == Record::File) {
      scan.files_.push_back({&folder, static_cast<uint32_t>(i), false});
      ++count;
    } else if (r.kind == Record::Folder && subfolders && depth < zel::kMaxSearchDepth) {
      count += Visit(scan, Join(folder.key, r.name), Join(folder.path, r.name), subfolders, depth + 1, limits);
    } else if (limits && subfolders) {
      ++(r.kind == Record::Folder ? limits->tooDeep : limits->linkedFolders);
    }
  }
  return count;
}

bool CRecordingCatalogue::CheckFiles(Scan& scan) {
  std::atomic<size_t> next{0};
  std::atomic<bool> stale{false};
  auto work = [&] {
    struct stat st;
    char name[NAME_MAX + 1];
    for (size_t k; (k = next.fetch_add(1)) < scan.unchecked_.size();) {
      Scan::Folder& folder = *scan.unchecked_[k];
      const int fd = ::open(folder.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      const size_t count = folder.only.empty() ? folder.Records().size() : folder.only.size();
      for (size_t j = 0; j < count; ++j) {
        const size_t index = folder.only.empty() ? j : folder.only[j];
        const Record& r = folder.Records()[index];
        if (r.kind == Record::Folder) continue;
        CopyName(r.name, name);
        // Not followed first, to learn of links at no cost: a regular file tells the same.
        bool seen = fd >= 0 && ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (seen && S_ISLNK(st.st_mode)) {
          folder.links = true;
          seen = ::fstatat(fd, name, &st, 0) == 0;
        }
        // A link whose target went or changed its kind leaves the folder as it
        // was, but the walk would tell it otherwise: the folder is listed again.
        if (r.kind == Record::LinkedFolder ? !seen || !S_ISDIR(st.st_mode) : !seen || !S_ISREG(st.st_mode)) {
          folder.stale = true;
          stale = true;
          break;
        }
        if (r.kind != Record::File) continue;
        const int64_t stamp = Nanoseconds(st.st_ctim);
        if (r.state != Record::Unread && r.stamp != 0 && r.stamp == stamp && r.size == st.st_size) continue;
        Record& w = folder.Own()[index];
        w.state = Record::Unread;
        w.size = st.st_size;
        w.stamp = Trusted(stamp, scan.started_);
        w.modificationTime = st.st_mtime;
        folder.changed = true;
        folder.touched.push_back(static_cast<uint32_t>(index));
      }
      if (fd >= 0) ::close(fd);
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 0; t < threads_ && t + 1 < scan.unchecked_.size(); ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  for (Scan::Folder* folder : scan.unchecked_) {
    if (folder->stale) scan.relist_.insert(folder->key);
  }
  scan.unchecked_.clear();
  return stale;
}

void CRecordingCatalogue::ReadChanged(Scan& scan, unsigned threads, const std::function<bool()>& keepGoing,
                                      const std::function<void()>& read) {
  std::vector<size_t> pending;
  for (size_t i = 0; i < scan.files_.size(); ++i) {
    Scan::File& f = scan.files_[i];
    if (f.folder && f.folder->Records()[f.index].state == Record::Unread) {
      pending.push_back(i);
      f.folder->Own();  // before the threads, which change records side by side
    }
  }
  // Sized before the threads start: they fill it side by side.
  const size_t firstText = scan.texts_.size();
  scan.texts_.resize(firstText + pending.size());
  // A thread takes a few files at a time, mostly of one folder, which it keeps open;
  // few files go one by one, so that as many are in flight as there are threads.
  const size_t run = std::clamp<size_t>(pending.size() / (4 * (threads + 1)), 1, 16);
  std::atomic<size_t> next{0};
  auto work = [&] {
    int dirFd = -1;
    const Scan::Folder* dirOf = nullptr;
    struct stat st;
    char name[NAME_MAX + 1];
    for (size_t k = 0, end = 0;; ++k) {
      if (!keepGoing()) break;
      if (k == end) {
        k = next.fetch_add(run);
        end = std::min(k + run, pending.size());
      }
      if (k >= pending.size()) break;
      Scan::File& f = scan.files_[pending[k]];
      Record& r = f.folder->records[f.index];
      // Opened in its folder, kept open while this thread reads more files of it
      // (on a share, opening the folder is a round trip too); what is known of the
      // file is taken from the open file, before it is read.
      if (f.folder != dirOf && k + 1 < end && scan.files_[pending[k + 1]].folder == f.folder) {
        if (dirFd >= 0) ::close(dirFd);
        dirOf = f.folder;
        dirFd = ::open(f.folder->path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      }
      CKlRecordFileHdr header;
      int result = 0;
      int fd = -1;
      if (f.folder == dirOf && dirFd >= 0) {
        fd = zel::OpenListedFile(CopyName(r.name, name), dirFd, st);
      } else {
        fd = zel::OpenListedFile(scan.Path(pending[k]).c_str(), AT_FDCWD, st);
      }
      if (fd >= 0) {
        r.size = st.st_size;
        r.stamp = Trusted(Nanoseconds(st.st_ctim), scan.started_);
        r.modificationTime = st.st_mtime;
        // Without a passphrase: an encrypted recording tells only that it is one.
        result = header.LoadHeaderFrom(fd, std::string(), st.st_size);
        ::close(fd);
      }
      if (header.IsEncrypted()) {
        r.state = Record::Encrypted;
      } else if (result <= 0) {
        r.state = Record::Unreadable;
      } else {
        r.state = Record::Ok;
        r.headerBytes = result;
        r.version = header.Version();
        r.formatTag = header.FormatTag();
        r.important = header.Important();
        r.startTime = header.StartTime();
        r.duration = header.Duration();
        r.auxDuration = header.AuxDuration();
        r.auxCode = header.AuxCode();
        // One block per file, so that threads never share one.
        const std::string caller = header.CallerId(), comment = header.Comment(), user = header.UserId(),
                          site = header.SiteCode();
        std::string& texts = scan.texts_[firstText + k];
        texts = caller + comment + user + site;
        const char* p = texts.data();
        r.callerId = {p, caller.size()};
        r.comment = {p += caller.size(), comment.size()};
        r.userId = {p += comment.size(), user.size()};
        r.siteCode = {p + user.size(), site.size()};
      }
      f.fresh = true;
      if (read) read();
    }
    if (dirFd >= 0) ::close(dirFd);
  };
  std::vector<std::thread> helpers;
  const size_t useful = pending.size() / 64;
  for (unsigned t = 0; t < threads && t < useful; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  for (size_t i : pending) {
    Scan::Folder& folder = *scan.files_[i].folder;
    folder.changed = true;
    folder.touched.push_back(scan.files_[i].index);
  }
}

bool CRecordingCatalogue::Save(Scan& scan) {
  if (!Open()) return false;
  if (!Exec("BEGIN IMMEDIATE")) return false;
  bool ok = true;
  CCatalogueCache& cache = CCatalogueCache::For(file_);
  {
    zel::MutexLock hold(cache.lock);
    // Another writer since the scan loaded a folder may have parted its listing
    // otherwise: such a folder has all its rows written.
    cache.Current(Mark());
    Statement put(db_, "INSERT OR REPLACE INTO folders(key, stamp, recordings) VALUES(?, ?, ?)");
    Statement putPart(db_, "INSERT OR REPLACE INTO parts(key, part, listing) VALUES(?, ?, ?)");
    Statement dropParts(db_, "DELETE FROM parts WHERE key = ? AND part >= ?");
    std::vector<std::pair<Scan::Folder*, CCatalogueCache::ListingPtr>> saved;
    Statement putChange(db_, "INSERT OR REPLACE INTO changes(key, record, listing) VALUES(?, ?, ?)");
    Statement dropChanges(db_, "DELETE FROM changes WHERE key = ?");
    for (Scan::Folder& folder : scan.folders_) {
      if (!folder.changed) continue;
      const std::vector<Record>& records = folder.Records();
      std::vector<uint32_t>& touched = folder.touched;
      std::sort(touched.begin(), touched.end());
      touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
      // A few records written in place are kept as changes beside the rows, which
      // are written again whole once the changes grow.
      const bool whole = folder.relisted || !folder.base || cache.Find(folder.key) != folder.base ||
                         folder.base->changes.size() + touched.size() > std::max(kPart, records.size() / 4);
      auto listing = std::make_shared<CCatalogueCache::Listing>();
      listing->stamp = folder.stamp;
      if (!whole) {
        // The scan's records, whose changed ones are made to point into their rows.
        listing->parts = folder.base->parts;
        listing->changes = folder.base->changes;
        listing->records = std::move(folder.Own());
        for (uint32_t i : touched) {
          auto bytes = std::make_shared<std::string>();
          Encode(*bytes, listing->records[i]);
          putChange.Bind(1, folder.key).Bind(2, static_cast<long long>(i));
          sqlite3_bind_blob(putChange.s, 3, bytes->data(), static_cast<int>(bytes->size()), SQLITE_STATIC);
          std::vector<Record> one;
          ok = ok && putChange.Done() && Decode(*bytes, one) && one.size() == 1;
          if (!ok) break;
          listing->records[i] = one[0];
          listing->changes.push_back(std::move(bytes));
        }
        saved.emplace_back(&folder, std::move(listing));
        continue;
      }
      long long recordings = 0;
      for (const Record& r : records) recordings += r.kind == Record::File;
      put.Bind(1, folder.key).Bind(2, static_cast<long long>(folder.stamp)).Bind(3, recordings);
      ok = ok && put.Done();
      const size_t parts = (records.size() + kPart - 1) / kPart;
      listing->records.reserve(records.size());
      for (size_t part = 0; part < parts && ok; ++part) {
        auto bytes = std::make_shared<std::string>();
        for (size_t i = part * kPart; i < std::min(records.size(), (part + 1) * kPart); ++i) {
          Encode(*bytes, records[i]);
        }
        putPart.Bind(1, folder.key).Bind(2, static_cast<long long>(part));
        sqlite3_bind_blob(putPart.s, 3, bytes->data(), static_cast<int>(bytes->size()), SQLITE_STATIC);
        ok = putPart.Done() && Decode(*bytes, listing->records);
        listing->parts.push_back(std::move(bytes));
      }
      ok = ok && dropParts.Bind(1, folder.key).Bind(2, static_cast<long long>(parts)).Done() &&
           dropChanges.Bind(1, folder.key).Done();
      saved.emplace_back(&folder, std::move(listing));
    }
    // The scan's records are those kept now.
    for (auto& [folder, listing] : saved) {
      folder->base = listing;
      folder->owned = false;
      folder->records.clear();
    }
    for (const std::string& key : scan.vanished_) ok = ok && DropListings(key);
    Statement root(db_, "INSERT OR REPLACE INTO roots(key, missing, refreshed) VALUES(?, ?, ?)");
    const long long now = static_cast<long long>(std::time(nullptr));
    for (const auto& [key, missing] : scan.roots_) ok = ok && root.Bind(1, key).Bind(2, missing ? 1LL : 0LL).Bind(3, now).Done();
    ok = Commit(cache, ok);
    if (ok) {
      Checkpoint();
      for (const std::string& key : scan.vanished_) cache.Drop(key);
      for (auto& [folder, listing] : saved) cache.Put(folder->key, std::move(listing));
    }
  }
  if (!ok) Exec("ROLLBACK");
  if (ok && watched_) {
    // What is kept now is what the files held when the tokens were taken; a file
    // changed too recently to tell, or not read, leaves its folder to be looked at.
    for (const Scan::Folder& folder : scan.folders_) {
      if (folder.token < 0 || folder.links || folder.stale || folder.stamp == 0 || folder.vouched) continue;
      const bool whole = std::all_of(folder.Records().begin(), folder.Records().end(), [](const Record& r) {
        return r.kind == Record::Folder || (r.kind == Record::File && r.state != Record::Unread && r.stamp != 0);
      });
      if (whole) watched_->Verified(folder.key, folder.token);
    }
  }
  return ok;
}

bool CRecordingCatalogue::Refresh(const std::string& folder, bool subfolders) {
  if (!Open()) return false;
  Scan scan;
  if (List(folder, subfolders, scan, nullptr) < 0) return false;
  ReadChanged(scan, CSearchPool::DefaultThreads(), [] { return true; });
  return Save(scan);
}

bool CRecordingCatalogue::RefreshAll() {
  bool ok = true;
  for (const Root& root : GetStatus().roots) {
    if (!root.missing) ok = Refresh(root.path, true) && ok;
  }
  return ok;
}

std::vector<std::string> CRecordingCatalogue::WatchableFolders() {
  std::vector<std::string> folders;
  if (!Open()) return folders;
  long long limit = 8192;
  if (FILE* file = std::fopen("/proc/sys/fs/inotify/max_user_watches", "r")) {
    if (std::fscanf(file, "%lld", &limit) != 1) limit = 8192;
    std::fclose(file);
  }
  Statement keys(db_, "SELECT key FROM folders ORDER BY key LIMIT ?");
  keys.Bind(1, limit / 4);
  struct stat st;
  while (keys.Step() == SQLITE_ROW) {
    std::string key = reinterpret_cast<const char*>(sqlite3_column_text(keys.s, 0));
    if (::stat(key.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) folders.push_back(std::move(key));
  }
  return folders;
}

bool CRecordingCatalogue::Forget(const std::string& folder) {
  if (!Open()) return false;
  const std::string key = KeyOf(folder);
  if (!Exec("BEGIN IMMEDIATE")) return false;
  CCatalogueCache& cache = CCatalogueCache::For(file_);
  zel::MutexLock hold(cache.lock);
  cache.Current(Mark());
  const int before = sqlite3_total_changes(db_);
  Statement root(db_, ("DELETE FROM roots" + std::string(kKeyAndBelow)).c_str());
  const bool ok = DropListings(key) && root.Bind(1, key).Done();
  const bool forgot = sqlite3_total_changes(db_) > before;
  if (!Commit(cache, ok)) {
    Exec("ROLLBACK");
    return false;
  }
  cache.Drop(key);
  return forgot;
}

bool CRecordingCatalogue::DropListings(const std::string& key) {
  for (const char* table : {"folders", "parts", "changes"}) {
    Statement drop(db_, ("DELETE FROM " + std::string(table) + kKeyAndBelow).c_str());
    if (!drop.Bind(1, key).Done()) return false;
  }
  return true;
}

bool CRecordingCatalogue::Commit(CCatalogueCache& cache, bool ok) {
  const std::string mark = cache.NextMark();
  ok = ok && Statement(db_, "INSERT OR REPLACE INTO writer(id, mark) VALUES(0, ?)").Bind(1, mark).Done();
  ok = Exec(ok ? "COMMIT" : "ROLLBACK") && ok;
  if (ok) cache.Adopt(mark);
  return ok;
}

CRecordingCatalogue::Status CRecordingCatalogue::GetStatus() {
  Status status;
  status.file = file_;
  if (!Open()) return status;
  Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  for (const char* suffix : {"", "-wal"}) {
    struct stat st;
    if (::stat((file_ + suffix).c_str(), &st) == 0) status.bytes += st.st_size;
  }
  Statement totals(db_, "SELECT count(*), coalesce(sum(recordings), 0) FROM folders");
  if (totals.Step() == SQLITE_ROW) {
    status.folders = sqlite3_column_int64(totals.s, 0);
    status.recordings = sqlite3_column_int64(totals.s, 1);
  }
  Statement roots(db_, "SELECT key, refreshed FROM roots ORDER BY key");
  while (roots.Step() == SQLITE_ROW) {
    Root root;
    root.path = reinterpret_cast<const char*>(sqlite3_column_text(roots.s, 0));
    root.refreshed = sqlite3_column_int64(roots.s, 1);
    struct stat st;
    root.missing = ::stat(root.path.c_str(), &st) != 0;
    status.roots.push_back(root);
  }
  return status;
}
