#pragma once
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/CKlLoggedSemaphore.h"
#include "core/CKlThread.h"
#include "organiser/CRecordingCatalogue.h"
#include "organiser/ListColumn.h"
#include "organiser/SearchCriteria.h"
#include "organiser/SearchRules.h"

class CKlFileListEntry;
class CZelVelomarDoc;

namespace zel {
// Subfolders deeper than this below a searched folder are not walked.
constexpr int kMaxSearchDepth = 256;

// The folders a walk left out, so that the user can be told.
struct WalkLimits {
  int linkedFolders = 0;  // symbolic links to folders, which are not followed
  int tooDeep = 0;        // folders below kMaxSearchDepth
};
}  // namespace zel

struct SearchStatus {
  int failed = 0;     // 1 when a source folder was empty or missing
  int processed = 0;  // recording files examined by the walk so far
  int total = 0;      // recording files found by the counting pass
  int masked = 0;     // missing source folders whose recordings the catalogue keeps
};

// The folder search behind every recording list. The user interface prepares a
// search (counting pass on its own thread), starts the worker, polls GetStatus
// and finally moves the results into a document with TakeResults. The worker
// holds the "SEARCH_MANAGER" lock for its whole walk, so TakeResults and
// ClearResults wait for the walk and its sort. A singleton (Singleton<CSearchManager>).
class CSearchManager : public CKlThread {
 public:
  CSearchManager();
  ~CSearchManager() override;

  // Clears the results, copies the criteria, counts the recording files of the
  // folders (a missing or empty folder entry sets `failed` and ends the count) and
  // keeps the sort settings. Takes the passphrase for the details from the settings.
  void PrepareSearch(const SearchCriteria& criteria, int sortColumn, int sortDescending);
  // Loads details with `passphrase` instead of the remembered one (after PrepareSearch).
  void SetPassphrase(const std::string& passphrase) { passphrase_ = passphrase; }
  // Whether searches go through the catalogue of recordings (the default) or
  // walk every folder and read every file; results are the same.
  void SetUseCatalogue(bool use) { useCatalogue_ = use; }
  // The source folders missing at the last PrepareSearch that the catalogue keeps.
  std::vector<std::string> MaskedFolders() const;
  void SetReplaceList(int flag) { replaceList_ = flag; }
  int GetReplaceList() const { return replaceList_; }
  // The three counters, read without the lock.
  void GetStatus(SearchStatus& status) const;
  // The folders the last PrepareSearch left out (links to folders, too deep).
  const zel::WalkLimits& Limits() const { return limits_; }
  // Starts the worker unless the counting pass failed.
  void StartSearch();
  // Stops the worker and waits for it; takes no lock.
  void StopSearch();
  // Moves the results into `document` (which copies the criteria); entries it
  // refuses are deleted. Waits for a running walk.
  void TakeResults(CZelVelomarDoc* document);
  // Stops the worker and deletes the results.
  void ClearResults();
  const SearchCriteria& GetCriteria() const { return criteria_; }
  // The number of results waiting (under the lock).
  size_t ResultCount();

  static void SortEntries(zel::EntryList& entries, int column, int descending) {
    zel::SortEntries(entries, column, descending != 0);
  }

 protected:
  unsigned Run() override;

 private:
  // Tests one recording file against the criteria; the kept entry has its details.
  // Runs on the pool's threads: reads only what stays fixed during the walk.
  std::unique_ptr<CKlFileListEntry> Examine(const std::string& path, long long now);
  // The worker's part when the catalogue lists the files.
  void RunThroughCatalogue(long long now) REQUIRES(lock_);
  // The rest of Examine for a file that could not be opened as a regular file.
  std::unique_ptr<CKlFileListEntry> ExamineUnopened(std::unique_ptr<CKlFileListEntry> entry, int folderFd,
                                                    long long now);

  CKlLoggedSemaphore lock_{"SEARCH_MANAGER"};
  zel::EntryList results_ GUARDED_BY(lock_);
  std::atomic<int> failed_{0};
  std::atomic<int> processed_{0};
  std::atomic<int> total_{0};
  SearchCriteria criteria_;
  int sortColumn_ = static_cast<int>(zel::ListColumn::DateTime);
  int sortDescending_ = 1;
  int replaceList_ = 0;
  std::string passphrase_;
  // Tells one run's walk from the next (folders kept open are never carried over).
  uint64_t run_ = 0;
  std::vector<std::string> listed_;  // the recording files the count found, in walk order
  zel::WalkLimits limits_;           // what the count left out
  bool useCatalogue_ = true;
  std::unique_ptr<CRecordingCatalogue> catalogue_;
  // Set by PrepareSearch when the catalogue lists the files instead of listed_.
  std::unique_ptr<CRecordingCatalogue::Scan> scan_;
  std::atomic<int> masked_{0};
  std::vector<std::string> maskedFolders_;
};

namespace zel {
// The recording files a search of `criteria` would walk, counted as the counting
// pass does: -1 when an item is empty or missing. With `listed`, their paths are
// appended to it in walk order; with `limits`, the folders left out are added up.
int CountRecordings(const SearchCriteria& criteria, std::vector<std::string>* listed = nullptr,
                    WalkLimits* limits = nullptr);
}  // namespace zel
