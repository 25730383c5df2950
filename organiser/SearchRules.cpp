#include "organiser/SearchRules.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/Cp1252Case.h"
#include "core/TimeUnits.h"
#include "organiser/DateMode.h"
#include "organiser/IArchiveLookup.h"
#include "organiser/ListColumn.h"
#include "recording/CKlFileListEntry.h"
#include "recording/CommentText.h"

namespace zel {

namespace {
// The bytes of the UTF-8 character that starts at `text[i]`; a byte that starts
// no well-formed character counts as one.
size_t CharLength(const std::string& text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const size_t length = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
  if (length == 1 || i + length > text.size()) return 1;
  for (size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
  }
  return length;
}
}  // namespace

bool WildcardMatch(const std::string& mask, const std::string& text) {
  size_t m = 0, t = 0;
  size_t starMask = std::string::npos, starText = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      if (m + 1 == mask.size()) return true;  // a final "*" takes the rest at once
      starMask = ++m;
      starText = t;
    } else if (m < mask.size() && mask[m] == '?') {
      ++m;
      t += CharLength(text, t);
    } else if (m < mask.size() && mask[m] == text[t]) {
      // A character of several bytes matches byte by byte: the restart below
      // only ever moves to the start of a character.
      ++m;
      ++t;
    } else if (starMask != std::string::npos) {
      m = starMask;
      starText += CharLength(text, starText);
      t = starText;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::string ContainsMask(const std::string& mask) {
  std::string wrapped = mask;
  if (wrapped.empty() || wrapped.front() != '*') wrapped.insert(wrapped.begin(), '*');
  if (wrapped.size() < 2 || wrapped.back() != '*') wrapped.push_back('*');
  return UpperCp1252(wrapped);
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
  const long long today = now - FloorMod(now, kSecondsPerDay);
  if (criteria.dateMode == static_cast<int>(DateMode::Range)) {
    if (criteria.rangeStart >= criteria.rangeEnd) return true;
    const long long rangeEnd = criteria.rangeEnd;
    const long long end = rangeEnd - FloorMod(rangeEnd, kSecondsPerDay) + kSecondsPerDay;
    return criteria.rangeStart <= t && t < end;
  }
  const DateModeInfo* mode = FindDateMode(criteria.dateMode);
  if (!mode || mode->days == 0) return true;
  return t >= today - mode->days * kSecondsPerDay;
}

bool DateRuleNeedsFileTime(const SearchCriteria& criteria) {
  if (criteria.dateMode == static_cast<int>(DateMode::Range)) return criteria.rangeStart < criteria.rangeEnd;
  const DateModeInfo* mode = FindDateMode(criteria.dateMode);
  return mode && mode->days > 0;
}

bool MatchesCriteria(const SearchCriteria& criteria, CKlFileListEntry& entry, long long modificationTime,
                     const std::string& passphrase, long long now) {
  return MatchesNameRule(criteria, entry) && MatchesDateRule(criteria, entry, modificationTime, now) &&
         MatchesHeaderRules(criteria, entry, passphrase);
}

bool MatchesNameRule(const SearchCriteria& criteria, const CKlFileListEntry& entry) {
  return criteria.nameMask.empty() || criteria.nameMask == "*" ||
         WildcardMatch(ContainsMask(criteria.nameMask), UpperCp1252(FileNameStem(entry.Path())));
}

bool MatchesDateRule(const SearchCriteria& criteria, const CKlFileListEntry& entry, long long modificationTime,
                     long long now) {
  // Without readable attributes the date rule passes.
  if (modificationTime < 0) return true;
  long long t = (entry.DetailsLoaded() && entry.StartTime() != 0) ? entry.StartTime() : modificationTime;
  return PassesDateRule(criteria, t, now);
}

bool MatchesHeaderRules(const SearchCriteria& criteria, CKlFileListEntry& entry, const std::string& passphrase) {
  if (criteria.limitByLength) {
    entry.LoadDetails(passphrase);
    if (static_cast<long long>(entry.Duration()) / kSecondsPerMinute <= criteria.minMinutes) return false;
  }
  if (!criteria.callerIdMask.empty() && criteria.callerIdMask != "*") {
    entry.LoadDetails(passphrase);
    if (!WildcardMatch(ContainsMask(criteria.callerIdMask), UpperCp1252(entry.CallerIdText()))) return false;
  }
  if (!criteria.commentMask.empty() && criteria.commentMask != "*") {
    entry.LoadDetails(passphrase);
    if (!WildcardMatch(ContainsMask(criteria.commentMask), UpperCp1252(UserCommentView(entry.CommentText())))) {
      return false;
    }
  }
  return true;
}

void AppendFilterText(const CKlFileListEntry& entry, std::string& out) {
  const size_t start = out.size();
  for (std::string_view text :
       {entry.CallerIdText(), entry.UserIdText(), entry.DateTimeText(), UserCommentView(entry.CommentText())}) {
    if (out.size() > start) out += '\0';
    out += text;
  }
  UpperCp1252InPlace(out.data() + start, out.size() - start);
}

std::string ListSearchMask(const std::string& text) {
  return text.empty() ? std::string() : ContainsMask(text);
}

bool MatchesListSearch(const CKlFileListEntry& entry, ListSearchField field, ListSearchDirection direction,
                       const std::string& mask) {
  const std::string_view caller = entry.CallerIdText();
  if (direction == ListSearchDirection::Incoming && (caller.empty() || caller[0] != '>')) return false;
  if (direction == ListSearchDirection::Outgoing &&
      (caller.empty() || caller[0] != '<' || caller.find('>', 1) != std::string_view::npos)) {
    return false;
  }
  auto matches = [&](std::string_view text) { return WildcardMatch(mask, UpperCp1252(text)); };
  switch (field) {
    case ListSearchField::UserId: return matches(entry.UserIdText());
    case ListSearchField::CallerId: return matches(caller);
    case ListSearchField::Comment: return matches(entry.CommentText());
    default: return matches(entry.UserIdText()) || matches(caller) || matches(entry.CommentText());
  }
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

uint64_t BigEndianPrefix(std::string_view text, size_t offset) {
  uint64_t value = 0;
  for (size_t i = 0; i < 8; ++i) {
    value <<= 8;
    if (offset + i < text.size()) value |= static_cast<unsigned char>(text[offset + i]);
  }
  return value;
}

// Texts compare as strcmp does: byte-wise, bytes unsigned (the texts hold no NUL).
// Comments run to 1023 characters and lists often repeat a text many times, so
// the entries are ordered by the first 16 bytes of their text as integers first;
// only runs that share those bytes are compared in full, and a run whose texts
// are all the same needs no sorting at all. Any text of a run may be the longer
// one, so a run is checked whole, never judged by its first member.
void SortByText(EntryList& entries, std::string_view (CKlFileListEntry::*text)() const, bool largestFirst) {
  const size_t n = entries.size();
  struct Key {
    uint64_t a, b;
    std::string_view text;
    uint32_t index;
  };
  std::vector<Key> keys(n);
  for (size_t i = 0; i < n; ++i) {
    std::string_view view(((*entries[i]).*text)());
    keys[i] = {BigEndianPrefix(view, 0), BigEndianPrefix(view, 8), view, static_cast<uint32_t>(i)};
  }
  std::sort(keys.begin(), keys.end(), [](const Key& x, const Key& y) {
    return x.a != y.a ? x.a < y.a : x.b < y.b;
  });
  for (size_t from = 0; from < n;) {
    size_t to = from + 1;
    while (to < n && keys[to].a == keys[from].a && keys[to].b == keys[from].b) ++to;
    if (to - from > 1) {
      bool same = true;
      for (size_t i = from + 1; i < to && same; ++i) same = keys[i].text == keys[from].text;
      if (!same) {
        std::sort(keys.begin() + static_cast<long>(from), keys.begin() + static_cast<long>(to),
                  [](const Key& x, const Key& y) { return x.text.compare(y.text) < 0; });
      }
    }
    from = to;
  }
  if (largestFirst) std::reverse(keys.begin(), keys.end());
  EntryList sorted;
  sorted.reserve(n);
  for (const Key& key : keys) sorted.push_back(std::move(entries[key.index]));
  entries = std::move(sorted);
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
  const auto which = ListColumnFromNumber(column);
  if (!which) return;
  switch (*which) {
    case ListColumn::Important: SortByKey(entries, [](const CKlFileListEntry& e) { return static_cast<int>(e.Important()); }, descending); break;
    case ListColumn::UserId: SortByText(entries, &CKlFileListEntry::UserIdText, descending); break;
    case ListColumn::CallerId: SortByText(entries, &CKlFileListEntry::CallerIdText, descending); break;
    case ListColumn::Archived: SortByArchive(entries, descending); break;
    case ListColumn::DateTime: SortByKey(entries, [](const CKlFileListEntry& e) { return e.StartTime(); }, descending); break;
    case ListColumn::Duration: SortByKey(entries, [](const CKlFileListEntry& e) { return static_cast<int>(e.Duration()); }, descending); break;
    // Descending puts the entries without a bookmark first.
    case ListColumn::Bookmark: SortByKey(entries, [](const CKlFileListEntry& e) { return e.HasBookmark() ? 1 : 0; }, !descending); break;
    case ListColumn::Comment: SortByText(entries, &CKlFileListEntry::CommentText, descending); break;
    case ListColumn::Encrypted: break;  // the icon column has no key
  }
}

}  // namespace zel
