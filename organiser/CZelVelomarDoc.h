#pragma once
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "organiser/EntryPathIndex.h"
#include "organiser/SearchCriteria.h"
#include "organiser/SearchRules.h"

class CKlFileListEntry;
struct CKlXmlError;

// The data of one recording list window: the entries in display order, an index by
// path (one entry per path), the totals of the summary line, the kind and title of
// the list and the criteria of the search that built it. Windows add only the
// view. Not thread-safe: one thread (the user interface) uses it.
class CZelVelomarDoc {
 public:
  enum ListKind { kFolderList = 0, kCustomList = 1, kPlayHistory = 2 };

  CZelVelomarDoc();
  virtual ~CZelVelomarDoc();
  CZelVelomarDoc(const CZelVelomarDoc&) = delete;
  CZelVelomarDoc& operator=(const CZelVelomarDoc&) = delete;

  // Adopts `entry` (moved from on success). Refused, with `entry` left to the
  // caller, when it is null, its path is already listed or its file's status
  // cannot be read.
  bool AddEntry(std::unique_ptr<CKlFileListEntry>& entry);
  // Adds a copy of `entry` under the same refusals.
  bool AddEntry(const CKlFileListEntry& entry);
  // Removes and deletes the entry at `index`; an index beyond the end does nothing.
  void RemoveEntryAt(size_t index);
  // Removes the entries at `indices` (any order, duplicates allowed), highest first.
  void RemoveEntriesAt(std::vector<size_t> indices);
  // Keeps only the entries at `indices` ("Trim").
  void TrimToEntries(const std::vector<size_t>& indices);
  // Refresh of a list not built by a search: loads the details of every entry not
  // yet loaded, reads again those that failed, and recomputes the totals.
  void RefreshDetails(const std::string& passphrase);
  void ClearEntries();
  // Keeps importantCount right before the caller sets the entry's flag to `flag`.
  void AdjustImportant(size_t index, bool flag);
  // Callers may change an entry's texts and flags but never its path (the index keys on it).
  CKlFileListEntry* EntryAt(size_t index) const;
  size_t EntryCount() const { return entries_.size(); }
  // The index of the entry with `path`, or -1.
  long IndexOfPath(const std::string& path) const;
  // Sorts the list (see zel::SortEntries).
  void Sort(int column, bool descending);
  zel::EntryList& Entries() { return entries_; }

  int ImportantCount() const { return importantCount_; }
  long long TotalSeconds() const { return totalSeconds_; }

  // Summary line texts.
  std::string CallsText() const;
  std::string ImportantText() const;
  std::string DurationText() const;

  void SetCriteria(const SearchCriteria& criteria) { criteria_ = criteria; }
  const SearchCriteria& GetCriteria() const { return criteria_; }
  void SetBuiltBySearch(bool flag) { builtBySearch_ = flag; }
  bool IsBuiltBySearch() const { return builtBySearch_; }
  int GetListKind() const { return listKind_; }
  const std::string& GetTitleText() const { return titleText_; }
  void SetTitleText(const std::string& text) { titleText_ = text; }
  // Sets kind and title text (a kind 0 with empty text becomes 1) and computes the
  // label and the window title with `now` (the current time unless given). Only the
  // search that fills a list marks it built by a search: a list opened from a file,
  // pasted or new re-reads its entries on Refresh. The play history never is.
  void SetListKind(int kind, const std::string& text, time_t now = 0);
  // "%s - %s", "Custom Recordings - %s" or "Play History - %s" as of the last SetListKind.
  const std::string& LabelText() const { return labelText_; }
  // The window title, with "*" appended while a folder or custom list is modified.
  std::string WindowTitle() const;

  // The list file the document was loaded from or saved to; empty when none.
  const std::string& PathName() const { return pathName_; }
  void SetPathName(const std::string& path) { pathName_ = path; }
  bool IsModified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }

  // Writes the list as a ".reclist" file (atomically) and marks the document
  // unmodified; an empty list gives an empty file. `progress` (optional) is called
  // with each entry's index and the count. False when the file cannot be written.
  bool SaveList(const std::string& path, const std::function<void(size_t, size_t)>& progress = {});
  // Reads a ".reclist" file and adds its entries (details loaded with `passphrase`);
  // missing files and listed paths are dropped. A parse failure shows the parse
  // error message and leaves the list unchanged. Returns false on failure.
  bool LoadList(const std::string& path, const std::string& passphrase);
  // LoadList, then the list becomes a custom list not built by a search.
  bool AppendListFile(const std::string& path, const std::string& passphrase);
  // LoadList with the passphrase of the settings; the document takes the path.
  bool OpenListFile(const std::string& path);

  // The "Archived" column: the archive kind of the entry (1 DISK, 2 ZIP, 3 ISO; -1
  // when it has no archive record or no archive lookup is installed) and its
  // tooltip (the records one per line, or "Not archived yet").
  static int ArchiveKind(const CKlFileListEntry& entry);
  static std::string ArchivedTooltip(const CKlFileListEntry& entry);
  // The text of the comment column for `comment`.
  static std::string CommentColumnText(std::string_view comment);
  // The parse error message for `error` in `path` (without path when empty).
  static std::string ParseErrorMessage(const std::string& path, const CKlXmlError& error);

 private:
  bool Accept(std::unique_ptr<CKlFileListEntry> entry);

  int listKind_ = kFolderList;
  std::string titleText_;
  zel::EntryPathIndex byPath_;
  zel::EntryList entries_;
  int importantCount_ = 0;
  long long totalSeconds_ = 0;
  bool builtBySearch_ = false;
  SearchCriteria criteria_;
  bool modified_ = false;
  std::string pathName_;
  std::string labelText_;
  std::string windowTitle_;
};
