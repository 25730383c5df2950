#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "organiser/SearchCriteria.h"

class CKlFileListEntry;

// The matching and sorting rules shared by the search, the lists and the search
// within a list.
namespace zel {

using EntryList = std::vector<std::unique_ptr<CKlFileListEntry>>;

// "*" matches any run (also none), "?" exactly one character (of UTF-8), anything
// else itself; case-sensitive (callers upper-case both sides with UpperCp1252).
bool WildcardMatch(const std::string& mask, const std::string& text);
// `mask` with "*" put in front and after it unless already there, upper-cased.
std::string ContainsMask(const std::string& mask);
// True when `path` ends in the three letters "zel" in any case (no dot needed).
bool EndsInZel(const std::string& path);
// The file name of `path` without its folder and without the text after its last dot.
std::string FileNameStem(const std::string& path);

// Rule 2: whether the recording time `t` passes the criteria's date limit, with
// `now` as the current Unix time.
bool PassesDateRule(const SearchCriteria& criteria, long long t, long long now);

// Whether the date rule can need the file's time at all.
bool DateRuleNeedsFileTime(const SearchCriteria& criteria);

// Applies the five match rules in order to `entry` (details not yet loaded);
// `modificationTime` is the file's creation time (its modification time here) or
// negative when its attributes cannot be read. Loads the details when a length,
// caller or comment limit needs them.
bool MatchesCriteria(const SearchCriteria& criteria, CKlFileListEntry& entry, long long modificationTime,
                     const std::string& passphrase, long long now);
// Its parts in that order, for a caller that reads the file between them: the name
// rule, the date rule (no file needed) and the length, caller and comment rules.
bool MatchesNameRule(const SearchCriteria& criteria, const CKlFileListEntry& entry);
bool MatchesDateRule(const SearchCriteria& criteria, const CKlFileListEntry& entry, long long modificationTime,
                     long long now);
bool MatchesHeaderRules(const SearchCriteria& criteria, CKlFileListEntry& entry, const std::string& passphrase);

// What the filter of a list window looks through: the caller, user, date and time
// and the user's comment of `entry`, through UpperCp1252, appended to `out` with a
// NUL between them (typed text holds none, so no match spans two of them).
void AppendFilterText(const CKlFileListEntry& entry, std::string& out);

// "Search for specific calls" within a list: which texts are searched and which
// call directions are kept (incoming callers begin with ">", outgoing with "<").
enum class ListSearchField { UserId = 0, CallerId = 1, Comment = 2, All = 3 };
enum class ListSearchDirection { Both = 0, Incoming = 1, Outgoing = 2 };
// The typed text upper-cased and, when not empty, wrapped in "*".
std::string ListSearchMask(const std::string& text);
// Whether `entry` is kept by a search within the list with `mask` from ListSearchMask.
bool MatchesListSearch(const CKlFileListEntry& entry, ListSearchField field, ListSearchDirection direction,
                       const std::string& mask);

// Sorts `entries` in place by list column `column` (a zel::ListColumn number;
// the encryption column and other numbers leave the list as it is). `descending` puts the largest numbers and the highest strcmp texts
// first, except the bookmark column where it puts the entries without a bookmark
// first. Unstable.
void SortEntries(EntryList& entries, int column, bool descending);

}  // namespace zel
