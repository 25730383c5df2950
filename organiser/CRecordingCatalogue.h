#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "organiser/CCatalogueCache.h"
#include "organiser/SearchCriteria.h"

class CKlFileListEntry;
class CWatchedFolders;
struct sqlite3;
struct sqlite3_stmt;

namespace zel {
struct WalkLimits;
}

// What a search learnt about the recordings of the folders it walked, kept in one
// SQLite database beside the program's other files, so that the next search of
// those folders reads only what changed. A folder's listing is kept in rows of a
// few recordings each, and a recording written in place as a change beside them:
// for every recording its name, size, change time and the header fields the search
// rules and the list columns need. The listings are also kept in memory for the
// process (see CCatalogueCache), so that a search of unchanged folders reads no
// rows. A folder whose change time is the one kept is
// not listed again; its files are only looked at (one stat each), and a file whose
// size or change time differs is read again, unless a watcher vouches that nothing
// in the folder changed since (see CWatchedFolders). Encrypted and unreadable recordings
// keep only their name, size and times: they are read at search time, as by the
// walk, so nothing decrypted ever reaches the disk. The results are those of a
// walk, in the walk's order.
class CRecordingCatalogue {
 public:
  using Record = zel::CatalogueRecord;

  // One search's view of its folders: the recording files in walk order, each with
  // what the catalogue knows of it.
  class Scan {
   public:
    size_t Size() const { return files_.size(); }
    std::string Path(size_t i) const;
    // True when the file must be examined as the walk does (a single file named
    // in the criteria, an encrypted or unreadable one).
    bool Live(size_t i) const;
    // Whether the file was read by ReadChanged in this scan.
    bool Fresh(size_t i) const;
    // The source folders that are missing now but kept in the catalogue.
    const std::vector<std::string>& Masked() const { return masked_; }
    // The criteria Match applies.
    void SetCriteria(const SearchCriteria& criteria);
    // The entry the search keeps for a file that is not Live, or null.
    std::unique_ptr<CKlFileListEntry> Match(size_t i, long long now) const;

   private:
    friend class CRecordingCatalogue;
    struct Folder {
      std::string key;   // absolute path, the row's key
      std::string path;  // as the search names it
      int64_t stamp = 0;
      bool changed = false;
      bool relisted = false;  // listed anew: all its rows are written
      std::vector<uint32_t> touched;  // records changed in an unchanged listing
      std::vector<uint32_t> only;     // the records to look at, when not all
      bool stale = false;  // its listing no longer tells what the walk would find
      bool links = false;  // holds symbolic links, whose targets no watch of the folder sees
      int64_t token = -1;  // the watcher's token, taken before its files were looked at
      bool vouched = false;  // the watcher vouched for all its files: nothing to verify
      // What the catalogue held, shared with the other searches until a record
      // changes: `records` is then a copy of its own.
      CCatalogueCache::ListingPtr base;
      bool owned = false;
      // The names new in this scan, in blocks that never move.
      std::vector<std::unique_ptr<char[]>> names;
      char* namesEnd = nullptr;
      size_t namesLeft = 0;
      std::string_view Keep(std::string_view name) {
        if (name.size() > namesLeft) {
          namesLeft = std::max<size_t>(name.size(), 16384);
          names.push_back(std::make_unique<char[]>(namesLeft));
          namesEnd = names.back().get();
        }
        std::copy(name.begin(), name.end(), namesEnd);
        const std::string_view kept(namesEnd, name.size());
        namesEnd += name.size();
        namesLeft -= name.size();
        return kept;
      }
      std::vector<Record> records;
      const std::vector<Record>& Records() const { return owned || !base ? records : base->records; }
      std::vector<Record>& Own() {
        if (!owned && base) records = base->records;
        owned = true;
        return records;
      }
    };
    struct File {
      Folder* folder = nullptr;  // null: singles_[index] is a single file named in the criteria
      uint32_t index = 0;
      bool fresh = false;
    };
    std::deque<Folder> folders_;
    std::vector<File> files_;
    std::vector<std::string> singles_;
    std::vector<std::string> texts_;  // the texts of the records read in this scan, one block each
    std::vector<Folder*> unchecked_;     // unchanged folders whose files are still to be looked at
    std::unordered_set<std::string> relist_;  // keys of folders to list again whatever their time
    std::vector<std::string> vanished_;  // keys of folders that are gone
    std::vector<std::pair<std::string, bool>> roots_;  // keys of source folders, missing or not
    std::vector<std::string> masked_;
    int64_t started_ = 0;  // when the scan began, in nanoseconds
    SearchCriteria criteria_;
    std::string nameMask_, callerMask_, commentMask_;  // empty: any
    std::string callerText_;  // the caller mask's text when it asks only for that text anywhere, in ASCII
    bool fileTime_ = false;
  };

  // What `catalogue status` shows.
  struct Root {
    std::string path;
    bool missing = false;
    long long refreshed = 0;  // Unix time of the last search through it
  };
  struct Status {
    std::string file;
    long long bytes = 0;  // the database with its journal
    long long folders = 0;
    long long recordings = 0;
    std::vector<Root> roots;
  };

  // `file` empty: the user's data folder.
  explicit CRecordingCatalogue(std::string file = std::string());
  ~CRecordingCatalogue();
  CRecordingCatalogue(const CRecordingCatalogue&) = delete;
  CRecordingCatalogue& operator=(const CRecordingCatalogue&) = delete;

  static std::string DefaultFile();
  // Opens the database, creating it on first use; a damaged one is set aside and
  // made anew. False when none can be had (the search then walks).
  bool Open();
  const std::string& File() const { return file_; }
  // What watches the folders (by default the running program's watcher, if any).
  void SetWatched(CWatchedFolders* watched) { watched_ = watched; }

  // Adds the recording files of one source item to `scan`, as zel::CountRecordings
  // counts them: -1 for an empty or missing item. A missing folder keeps what the
  // catalogue holds for it (an unmounted share comes back) and is noted as missing.
  int List(const std::string& item, bool subfolders, Scan& scan, zel::WalkLimits* limits);
  // Reads the headers of the files that are new or changed, on `threads` threads
  // besides the caller's; stops early when `keepGoing` says no. `read` is called
  // once per file read.
  void ReadChanged(Scan& scan, unsigned threads, const std::function<bool()>& keepGoing,
                   const std::function<void()>& read = nullptr);
  // Writes what changed into the database. False when it could not.
  bool Save(Scan& scan);
  // Lists `folder` (with its sub-folders when asked), reads what changed and
  // saves it: what a search does before it matches. False when it could not.
  bool Refresh(const std::string& folder, bool subfolders);
  // Refreshes every source folder searched before that is there now.
  bool RefreshAll();
  // The folders kept that are there now, at most a quarter of the user's limit of
  // watched folders, so that the program can watch them for changes.
  std::vector<std::string> WatchableFolders();
  // The folders kept for the source folder `folder` and below, and whether it is
  // missing now.
  bool Forget(const std::string& folder);
  Status GetStatus();

 private:
  bool Exec(const char* sql);
  // Copies the journal into the database on a thread of its own connection, so that
  // a search that wrote much does not wait for the copy (SQLite would make the
  // committing call do it).
  void Checkpoint();
  bool Create();
  void Close();
  bool Load(const std::string& key, Scan::Folder& folder);
  // Removes the listings of `key` and of the folders below it; within a transaction.
  bool DropListings(const std::string& key);
  // Leaves this process's mark (see CCatalogueCache) and commits the transaction, or
  // rolls it back when `ok` is false; true when committed.
  bool Commit(CCatalogueCache& cache, bool ok) REQUIRES(cache.lock);
  // The listing the database holds for `key`, or null.
  CCatalogueCache::ListingPtr Read(const std::string& key);
  // The mark the database's last writer left (see CCatalogueCache).
  std::string Mark();
  // Lists `folder` again or checks its files; returns the files it adds.
  // Looks at the files of the unchanged folders met so far; a file whose size or
  // change time differs is to be read again.
  // True when a folder turned out stale (see Scan::relist_).
  bool CheckFiles(Scan& scan);
  int Visit(Scan& scan, std::string key, std::string path, bool subfolders, int depth, zel::WalkLimits* limits);

  std::string file_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* load_ = nullptr;  // kept: a search loads every folder it has not in memory
  sqlite3_stmt* changes_ = nullptr;
  unsigned threads_ = 0;  // besides the caller's
  bool damaged_ = false;  // a call met a damaged database: set aside at the next Open
  CWatchedFolders* watched_;
  int journalPages_ = 0;  // told by SQLite after each commit
  std::thread checkpointer_;
  std::atomic<bool> checkpointing_{false};
};
