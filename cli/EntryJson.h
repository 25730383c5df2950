#pragma once
#include "cli/JsonWriter.h"
#include "recording/CKlFileListEntry.h"

namespace zel::cli {

// Writes `entry` as one JSON object with the fields every command that lists
// recordings prints: path, userId, callerId, dateTime, duration (seconds),
// durationText, startTime, comment, important, hasBookmark, encrypted, auxCode,
// auxDurationText. The entry's texts are UTF-8 already.
void EntryToJson(const CKlFileListEntry& entry, JsonWriter& json);

}  // namespace zel::cli
