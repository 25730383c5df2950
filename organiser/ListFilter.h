#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "organiser/SearchRules.h"

namespace zel {

// The rows a list window shows while its filter holds text: the entries (by index,
// in list order) whose caller, user, date and time or comment contain the text in
// any case (see AppendFilterText). Without text every entry is a row.
class ListFilter {
 public:
  // Takes the typed text (UTF-8) and works out the rows. Text that contains the
  // previous text only looks through the rows shown, so typing narrows quickly.
  void SetText(const std::string& text, const EntryList& entries);
  // Works the rows out again after the entries changed (added, removed, sorted).
  void Refresh(const EntryList& entries);
  // The texts of an entry changed: read them again on the next keystroke.
  void Forget() { ends_.clear(); }
  // Reads the texts of `entries` ahead of the first keystroke (when the filter field
  // takes the focus), so that every keystroke reads only the block below.
  void Prepare(const EntryList& entries);
  // Frees that block (it is made again when needed).
  void Release();
  bool Active() const { return !upper_.empty(); }

  size_t RowCount(size_t entryCount) const { return Active() ? rows_.size() : entryCount; }
  // The entry shown in `row` (which must be below RowCount).
  size_t EntryOfRow(size_t row) const { return Active() ? rows_[row] : row; }
  // The row showing entry `index`, or -1 when the filter hides it.
  long RowOfEntry(size_t index) const;

 private:
  void Fold(const EntryList& entries);
  void Scan();  // every entry against the text
  bool Keeps(size_t index) const;

  std::string upper_;           // the text through UpperCp1252
  std::vector<uint32_t> rows_;  // entry indices, ascending
  // Every entry's filter text, one after another, kept while the filter is in use,
  // so that each keystroke reads one block of memory rather than the scattered texts
  // of every entry (at 100,000 entries, 5 ms a keystroke instead of 30).
  std::string folded_;
  std::vector<size_t> ends_;  // where entry i's text ends in folded_
};

}  // namespace zel
