#pragma once
#include <cstdint>
#include <string_view>

namespace zel {

// A recording (or a subfolder) as the catalogue keeps it. The texts point into
// the folder's listing.
struct CatalogueRecord {
  enum Kind : uint8_t { File, Folder, LinkedFolder };
  enum State : uint8_t { Unread, Ok, Encrypted, Unreadable };
  std::string_view name;
  Kind kind = File;
  State state = Unread;
  int64_t size = 0;
  int64_t stamp = 0;  // change time in nanoseconds; 0 when not to be trusted
  int64_t modificationTime = 0;
  int32_t headerBytes = 0;
  uint32_t version = 0;
  int32_t formatTag = 0;
  uint32_t important = 0;
  int32_t startTime = 0;
  uint32_t duration = 0;
  uint32_t auxDuration = 0;
  uint32_t auxCode = 0;
  std::string_view callerId, comment, userId, siteCode;  // raw Windows-1252
};

}  // namespace zel
