#include "organiser/DateMode.h"

namespace zel {

const DateModeInfo* FindDateMode(int mode) {
  for (const DateModeInfo& info : kDateModes) {
    if (static_cast<int>(info.mode) == mode) return &info;
  }
  return nullptr;
}

const DateModeInfo* FindDateMode(std::string_view name) {
  for (const DateModeInfo& info : kDateModes) {
    if (name == info.name) return &info;
  }
  return nullptr;
}

const char* DateModeName(DateMode mode) {
  const DateModeInfo* info = FindDateMode(static_cast<int>(mode));
  return info ? info->name : "";
}

std::optional<DateMode> DateModeFromName(std::string_view name) {
  const DateModeInfo* info = FindDateMode(name);
  if (!info) return std::nullopt;
  return info->mode;
}

}  // namespace zel
