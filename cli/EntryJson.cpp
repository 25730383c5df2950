#include "cli/EntryJson.h"

namespace zel::cli {

void EntryToJson(const CKlFileListEntry& entry, JsonWriter& json) {
  json.BeginObject()
      .PathField("path", entry.Path())
      .Field("userId", std::string(entry.UserIdText()))
      .Field("callerId", std::string(entry.CallerIdText()))
      .Field("dateTime", std::string(entry.DateTimeText()))
      .Field("duration", entry.Duration())
      .Field("durationText", entry.DurationText())
      .Field("startTime", static_cast<int64_t>(entry.StartTime()))
      .Field("comment", std::string(entry.CommentText()))
      .Field("important", entry.Important() != 0)
      .Field("hasBookmark", entry.HasBookmark())
      .Field("encrypted", entry.Encrypted())
      .Field("auxCode", entry.AuxCode())
      .Field("auxDurationText", entry.AuxDurationText())
      .EndObject();
}

}  // namespace zel::cli
