#include "core/ProductVersion.h"

#include <algorithm>
#include <cstdio>

#ifndef ZEL_VERSION
#define ZEL_VERSION "0"
#endif

namespace zel {

VersionParts ParseVersion(std::string_view text) {
  VersionParts parts{0, 0, 0, 0};
  size_t part = 0;
  unsigned long value = 0;
  bool digits = true;  // the current part is made of digits only so far
  for (size_t i = 0; i <= text.size() && part < parts.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      parts[part++] = digits ? static_cast<unsigned>(value) : 0;
      value = 0;
      digits = true;
      continue;
    }
    const char c = text[i];
    if (c < '0' || c > '9') {
      digits = false;
      continue;
    }
    value = std::min(value * 10 + static_cast<unsigned long>(c - '0'), 65535UL);
  }
  return parts;
}

VersionParts ProductVersion() { return ParseVersion(ZEL_VERSION); }

std::string VersionText(const VersionParts& parts) {
  char text[64];
  std::snprintf(text, sizeof text, "Version: %u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]);
  return text;
}

}  // namespace zel
