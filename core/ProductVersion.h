#pragma once
#include <array>
#include <string>
#include <string_view>

// The program's version as the four 16-bit parts the about box shows, most
// significant first.
namespace zel {

using VersionParts = std::array<unsigned, 4>;

// "major.minor.patch.build": missing or unreadable parts are 0, a part above
// 65535 is cut to 65535, parts past the fourth are ignored.
VersionParts ParseVersion(std::string_view text);
// The version this program was built as.
VersionParts ProductVersion();
// "Version: %u.%u.%u.%u" filled with `parts`.
std::string VersionText(const VersionParts& parts);

}  // namespace zel
