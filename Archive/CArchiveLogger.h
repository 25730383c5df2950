#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Archive/CJobArchListEntry.h"
#include "core/CKlLoggedSemaphore.h"
#include "core/Singleton.h"
#include "core/ThreadAnnotations.h"
#include "organiser/IArchiveLookup.h"

// The history of successful archive runs, kept in "archive.log" in the shared
// configuration folder: one entry per run with its target, archiver, call count,
// comment, structure, creator and the archived recordings (path and call id). Adding, clearing and
// loading entries take the "ARCH_LOG" lock; every method also takes a plain mutex
// around the entries (cheap enough for one lookup per recording of a run), so the
// log may be used from the archive thread and the GUI at once. Texts are stored in UTF-8 with "&", "<" and ">" escaped; logs written
// without escaping still load where they are well-formed.
//
// From its first Load on the log answers the recording lists' archive questions
// (zel::SetArchiveLookup); it withdraws itself when destroyed.
class CArchiveLogger : public IArchiveLookup {
 public:
  CArchiveLogger();
  // A log kept in `path` instead of the configuration folder (tests, tools).
  explicit CArchiveLogger(std::string path);
  ~CArchiveLogger() override;
  CArchiveLogger(const CArchiveLogger&) = delete;
  CArchiveLogger& operator=(const CArchiveLogger&) = delete;

  // Reads the log file; with clearFirst the entries are dropped first. A missing
  // file leaves the entries as they were and returns false. A damaged one (empty,
  // malformed, not a regular file, too large) is set aside (zel::SetAsideDamaged),
  // the entries before the damage are added and written back under the log's
  // name, WasDamaged becomes true, the log counts as loaded when entries were
  // kept, and Load returns false.
  bool Load(bool clearFirst);
  // True once a load or save found the file damaged.
  bool WasDamaged();
  void Clear();
  // Appends a copy of `job` with its recordings; the call ids of recordings whose
  // details are not loaded are taken now, while the files still exist. The copy's
  // id is the job time, or the next free second when an entry has that id (also
  // when saving finds one written meanwhile by another process). Returns the new
  // entry's index. An ISO entry replaces the entries of earlier images at the same
  // path: each run writes its image anew.
  int AddEntry(const CJobArchListEntry& job);
  // Writes the log when it changed and holds at least one entry; atomically, so
  // a failed write leaves the old file. Under the file's lock the file is read
  // again and only this log's additions, removals and comment edits are applied
  // to it, so entries saved meanwhile by another process stay; the entries are
  // then what was written. True when a file was written.
  bool Save();

  // The newest entry holding exactly `path`, or -1.
  int FindLogIndexByPath(const std::string& path);
  // The same answer found by scanning the entries, newest first, each from where
  // its previous hit was; kept for comparison with the indexed lookup.
  int FindLogIndexByPathScan(const std::string& path);
  // The newest entry holding a recording whose call id equals entry.StartTime(),
  // or -1 (also for a StartTime of 0, which no call id can be trusted to match).
  int FindLogIndexByFile(const CKlFileListEntry& entry);
  // A copy of the entry FindLogIndexByFile finds; false when there is none.
  bool FindLogEntryByFile(const CKlFileListEntry& entry, CJobArchListEntry& out);

  int Count();
  // A copy of the entry at `index`; false for an index out of range.
  bool GetEntry(int index, CJobArchListEntry& out);
  std::vector<CJobArchListEntry> Entries();
  // The index of the entry with this id (job time), or -1.
  int IndexOfId(int32_t id);
  // Removes the entry at `index`; false when there is none.
  bool RemoveEntry(int index);
  // Replaces the comment of the entry at `index` (nothing for a negative index).
  void SetEntryComment(int index, const std::string& text);

  bool IsLoaded();
  bool IsDirty();
  const std::string& Path() const { return path_; }

  static std::vector<std::string> GetReportLines(const CJobArchListEntry& entry);
  // "%s - %s - %d (calls) - %s": date-time, archiver, call count, comment.
  static std::string GetListLine(const CJobArchListEntry& entry);
  // The name written to the file for an archive type, and the type read back.
  static const char* ArchiverName(zel::ArchiveType type);
  static zel::ArchiveType ArchiverType(const std::string& text);

  // Writes the reports of the entries at `indices` into `path` (replacing it),
  // each followed by the paths of its calls. False when the file could not be
  // written; then `error` holds the reason.
  bool WriteReportFile(const std::vector<int>& indices, const std::string& path, std::string& error);
  // The report file of the desktop program: "Diza Didurido Report <date time>.txt"
  // in the user's documents folder (made when missing), opened with the
  // desktop's viewer. Failures are shown as messages. Returns the file's absolute
  // path, empty when nothing was written.
  std::string ViewReport(const std::vector<int>& indices);
  static std::string ReportFileName(int64_t now);

  // IArchiveLookup
  int ArchiveKindOf(const CKlFileListEntry& entry) override;
  std::string ArchiveTooltipOf(const CKlFileListEntry& entry) override;

  // The text of the log file for the current entries (what Save writes).
  std::string Serialize();
  // Reads entries from log text; false when it is not well-formed.
  bool ParseText(const std::string& text);

 private:
  // An entry's identity across processes: two runs may start in the same second.
  using Key = std::pair<int32_t, std::string>;
  static Key KeyOf(const CJobArchListEntry& entry) { return {entry.JobTime(), entry.Target()}; }
  static bool ParseEntries(const std::string& text, std::vector<CJobArchListEntry>& read);
  // The complete entries before the damage of a malformed log.
  static void ParseEntryPrefix(const std::string& text, std::vector<CJobArchListEntry>& read);
  static std::string SerializeEntries(const std::vector<CJobArchListEntry>& entries);
  static int32_t FreeId(const std::vector<CJobArchListEntry>& entries, int32_t id);
  enum class FileState { Missing, Unreadable, Read, Damaged };
  // Reads the file (the caller holds its lock); for a damaged one the entries
  // before the damage and the reason.
  FileState ReadLogFile(std::vector<CJobArchListEntry>& read, std::string& reason);
  // Moves the damaged file aside and tells the user; false when it stays.
  bool SetAsideLogFile(const std::string& reason);
  int FindByFileLocked(const CKlFileListEntry& entry) REQUIRES(mutex_);
  void BuildIndexes() REQUIRES(mutex_);
  void ResolveCallIds(CJobArchListEntry& job);
  void Changed() REQUIRES(mutex_);

  CKlLoggedSemaphore lock_{"ARCH_LOG"};
  zel::Mutex mutex_ ACQUIRED_AFTER(lock_);
  const std::string path_;
  std::vector<CJobArchListEntry> entries_ GUARDED_BY(mutex_);
  bool loaded_ GUARDED_BY(mutex_) = false;
  bool dirty_ GUARDED_BY(mutex_) = false;
  bool damaged_ GUARDED_BY(mutex_) = false;
  // Path and call id -> newest entry holding it; rebuilt on the first lookup after
  // a change, so that a list sorted by archive kind or a whole selection run costs
  // one hash lookup per recording.
  std::unordered_map<std::string, int> pathIndex_ GUARDED_BY(mutex_);
  std::unordered_map<int32_t, int> callIdIndex_ GUARDED_BY(mutex_);
  bool indexesValid_ GUARDED_BY(mutex_) = false;
  // Changes since the last load or save, applied to the file's current entries.
  std::set<Key> added_ GUARDED_BY(mutex_);
  std::set<Key> removed_ GUARDED_BY(mutex_);
  std::set<Key> edited_ GUARDED_BY(mutex_);
};
