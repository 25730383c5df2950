#include "Archive/ArchiveTypes.h"

namespace zel {

namespace {

constexpr ArchiveTypeText kArchiveTypes[] = {
    {ArchiveType::kDisk, "disk", "Disk", "DISK", "Disk", ""},
    {ArchiveType::kZip, "zip", "ZIP format", "ZIP", "ZIP", ".zip"},
    {ArchiveType::kIso, "iso", "ISO format", "ISO", "ISO", ".iso"},
};
constexpr StructureTypeText kStructureTypes[] = {
    {StructureType::kUnstructured, "unstructured", "Unstructured", "Unstructured"},
    {StructureType::kByUser, "user", "By User", "By User ID"},
    {StructureType::kByMonth, "month", "By Month", "By Month"},
    {StructureType::kByPath, "path", "By Path", "By Directory"},
};
constexpr MediaProcessingText kMediaProcessing[] = {
    {MediaProcessing::kKeep, "keep", "Don't modify"},
    {MediaProcessing::kDelete, "delete", "Delete calls"},
    {MediaProcessing::kRemoveAudio, "remove-audio", "Remove Audio"},
};
constexpr SelectionTypeText kSelectionTypes[] = {
    {SelectionType::kAll, "all", 0},
    {SelectionType::kUnarchived, "unarchived", 0},
    {SelectionType::k30Days, "30days", 30},
    {SelectionType::k90Days, "90days", 90},
    {SelectionType::k180Days, "180days", 180},
};

}  // namespace

std::span<const ArchiveTypeText> Texts(ArchiveType) { return kArchiveTypes; }
std::span<const StructureTypeText> Texts(StructureType) { return kStructureTypes; }
std::span<const MediaProcessingText> Texts(MediaProcessing) { return kMediaProcessing; }
std::span<const SelectionTypeText> Texts(SelectionType) { return kSelectionTypes; }

const char* ArchiveLogName(ArchiveType type) {
  const auto* row = TextOf(type);
  return row ? row->LogName : kArchiveTypes[0].LogName;
}

ArchiveType ArchiveTypeFromLogName(std::string_view text) {
  for (const auto& row : kArchiveTypes) {
    if (text.starts_with(row.LogName)) return row.Value;
  }
  return ArchiveType::kNone;
}

const char* ArchiveReportName(ArchiveType type) {
  const auto* row = TextOf(type);
  return row ? row->ReportName : "Unsupported Archive Type";
}

const char* ArchiveListName(ArchiveType type) {
  const auto* row = TextOf(type);
  return row ? row->ListName : "UNKNOWN";
}

const char* StructureReportName(StructureType type) {
  const auto* row = TextOf(type);
  return row ? row->ReportName : "Unsupported structure type";
}

}  // namespace zel
