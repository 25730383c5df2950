#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The kinds of archive job settings, numbered as jobs, "schedule.xml" and
// "archive.log" store them, each with the one table of its texts. A stored
// number outside a table (an old or hand-edited file) is kept as it is: the
// manager refuses an unknown archive type, the texts fall back as documented.
namespace zel {

constexpr int64_t kSecondsPerDay = 86400;

enum class ArchiveType : int { kNone = 0, kDisk = 1, kZip = 2, kIso = 3 };
enum class StructureType : int { kUnstructured = 0, kByUser = 1, kByMonth = 2, kByPath = 3 };
enum class MediaProcessing : int { kKeep = 0, kDelete = 1, kRemoveAudio = 2 };
enum class SelectionType : int { kAll = 0, kUnarchived = 1, k30Days = 2, k90Days = 3, k180Days = 4 };

struct ArchiveTypeText {
  ArchiveType Value;
  const char* Keyword;     // command-line and JSON name
  const char* LogName;     // "archiver" text of "archive.log"
  const char* ReportName;  // report line and wizard method
  const char* ListName;    // calls log list line
  const char* Extension;   // of a scheduled archive's name ("" for a folder)
};
struct StructureTypeText {
  StructureType Value;
  const char* Keyword;
  const char* ReportName;
  const char* Label;  // wizard choice
};
struct MediaProcessingText {
  MediaProcessing Value;
  const char* Keyword;
  const char* Label;
};
struct SelectionTypeText {
  SelectionType Value;
  const char* Keyword;
  int MaxAgeDays;  // 0: no age limit
};

std::span<const ArchiveTypeText> Texts(ArchiveType);
std::span<const StructureTypeText> Texts(StructureType);
std::span<const MediaProcessingText> Texts(MediaProcessing);
std::span<const SelectionTypeText> Texts(SelectionType);

// The table row of `value`, nullptr for a number outside the table.
template <typename Enum>
const auto* TextOf(Enum value) {
  for (const auto& row : Texts(Enum{})) {
    if (row.Value == value) return &row;
  }
  return static_cast<decltype(&Texts(Enum{})[0])>(nullptr);
}

// The value whose keyword is `keyword` (exact), none for another text.
template <typename Enum>
std::optional<Enum> FromKeyword(std::string_view keyword) {
  for (const auto& row : Texts(Enum{})) {
    if (keyword == row.Keyword) return row.Value;
  }
  return std::nullopt;
}

// The keywords for a usage message: "disk, zip or iso".
template <typename Enum>
std::string KeywordChoice() {
  auto rows = Texts(Enum{});
  std::string text;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) text += i + 1 == rows.size() ? " or " : ", ";
    text += rows[i].Keyword;
  }
  return text;
}

template <typename Enum>
constexpr int ToInt(Enum value) {
  return static_cast<int>(value);
}

// "archive.log" names: another type is written as "Disk"; a text is read back by
// its prefix, and an unknown text reads as kNone.
const char* ArchiveLogName(ArchiveType type);
ArchiveType ArchiveTypeFromLogName(std::string_view text);
// Report texts, with their documented fallbacks for numbers outside the tables.
const char* ArchiveReportName(ArchiveType type);
const char* ArchiveListName(ArchiveType type);
const char* StructureReportName(StructureType type);

}  // namespace zel
