#include "organiser/SearchRules.h"

#include <algorithm>
#include <cstring>

#include "organiser/IArchiveLookup.h"
#include "recording/CKlFileListEntry.h"

namespace zel {

bool WildcardMatch(const std::string& mask, const std::string& text) {
  size_t m = 0, t = 0;
  size_t starMask = std::string::npos, starText = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      if (m + 1 == mask.size()) return true;  // a final "*" takes the rest at once
      starMask = ++m;
      starText = t;
    } else if (m < mask.size() && (mask[m] == '?' || mask[m] == text[t])) {
      ++m;
      ++t;
    } else if (starMask != std::string::npos) {
      m = starMask;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string ContainsMask(const std::string& mask) {
  std::string wrapped = mask;
  if (wrapped.empty() || wrapped.front() != '*') wrapped.insert(wrapped.begin(), '*');
  if (wrapped.size() < 2 || wrapped.back() != '*') wrapped.push_back('*');
  return UpperAscii(std::move(wrapped));
}

bool EndsInZel(const std::string& path) {
  if (path.size() < 3) return false;
  const char* end = path.data() + path.size() - 3;
  return (end[0] | 0x20) == 'z' && (end[1] | 0x20) == 'e' && (end[2] | 0x20) == 'l';
}

std::string FileNameStem(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

namespace {
long long FloorMod(long long value, long long divisor) {
  long long r = value % divisor;
  return r < 0 ? r + divisor : r;
}
}  // namespace

bool PassesDateRule(const SearchCriteria& criteria, long long t, long long now) {
  const long long today = now - FloorMod(now, 86400);
  switch (criteria.dateMode) {
    case 1: return t >= today - 86400;
    case 2: return t >= today - 604800;
    case 3: return t >= today - 2592000;
    case 4: {
      if (criteria.rangeStart >= criteria.rangeEnd) return true;
      const long long rangeEnd = criteria.rangeEnd;
      const long long end = rangeEnd - FloorMod(rangeEnd, 86400) + 86400;
      return criteria.rangeStart <= t && t < end;
    }
    default: return true;
  }
}

bool MatchesCriteria(const SearchCriteria& criteria, CKlFileListEntry& entry, long long modificationTime,
                     const std::string& passphrase, long long now) {
  if (!criteria.nameMask.empty() && criteria.nameMask != "*") {
    if (!WildcardMatch(ContainsMask(criteria.nameMask), UpperAscii(FileNameStem(entry.Path())))) return false;
  }
  // Without readable attributes the date rule passes.
  if (modificationTime >= 0) {
    long long t = (entry.DetailsLoaded() && entry.StartTime() != 0) ? entry.StartTime() : modificationTime;
    if (!PassesDateRule(criteria, t, now)) return false;
  }
  if (criteria.limitByLength) {
    entry.LoadDetails(passphrase);
    if (static_cast<long long>(entry.Duration() / 60) <= criteria.minMinutes) return false;
  }
  if (!criteria.callerIdMask.empty() && criteria.callerIdMask != "*") {
    entry.LoadDetails(passphrase);
    if (!WildcardMatch(ContainsMask(criteria.callerIdMask), UpperAscii(entry.CallerIdText()))) return false;
  }
  return true;
}

namespace {

template <class Key>
void SortByKey(EntryList& entries, Key key, bool largestFirst) {
  if (largestFirst) {
    std::sort(entries.begin(), entries.end(),
              [&](const auto& a, const auto& b) { return key(*b) < key(*a); });
  } else {
    std::sort(entries.begin(), entries.end(),
              [&](const auto& a, const auto& b) { return key(*a) < key(*b); });
  }
}

// Texts compare as strcmp does: byte-wise, bytes unsigned.
void SortByText(EntryList& entries, const std::string& (CKlFileListEntry::*text)() const, bool largestFirst) {
  auto less = [text](const CKlFileListEntry& a, const CKlFileListEntry& b) {
    return std::strcmp((a.*text)().c_str(), (b.*text)().c_str()) < 0;
  };
  if (largestFirst) {
    std::sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) { return less(*b, *a); });
  } else {
    std::sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) { return less(*a, *b); });
  }
}

// The archive kind is looked up once per entry, not once per comparison.
void SortByArchive(EntryList& entries, bool largestFirst) {
  IArchiveLookup* lookup = ArchiveLookup();
  if (!lookup) return;  // every entry has the same key
  std::vector<std::pair<int, size_t>> keys(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) keys[i] = {lookup->ArchiveKindOf(*entries[i]), i};
  if (largestFirst) {
    std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return b.first < a.first; });
  } else {
    std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  EntryList sorted;
  sorted.reserve(entries.size());
  for (const auto& key : keys) sorted.push_back(std::move(entries[key.second]));
  entries = std::move(sorted);
}

}  // namespace

void SortEntries(EntryList& entries, int column, bool descending) {
  if (entries.empty()) return;
  switch (column) {
    case 1: SortByKey(entries, [](const CKlFileListEntry& e) { return static_cast<int>(e.Important()); }, descending); break;
    case 2: SortByText(entries, &CKlFileListEntry::UserIdText, descending); break;
    case 3: SortByText(entries, &CKlFileListEntry::CallerIdText, descending); break;
    case 4: SortByArchive(entries, descending); break;
    case 5: SortByKey(entries, [](const CKlFileListEntry& e) { return e.StartTime(); }, descending); break;
    case 6: SortByKey(entries, [](const CKlFileListEntry& e) { return static_cast<int>(e.Duration()); }, descending); break;
    // Descending puts the entries without a bookmark first.
    case 7: SortByKey(entries, [](const CKlFileListEntry& e) { return e.HasBookmark() ? 1 : 0; }, !descending); break;
    case 8: SortByText(entries, &CKlFileListEntry::CommentText, descending); break;
    default: break;
  }
}

}  // namespace zel
