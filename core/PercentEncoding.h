#pragma once
#include <string>

namespace zel {

// `path` with every byte outside the URI's unreserved set and "/" percent-encoded,
// as links and the trash's info files want a file path: blanks, "#", "?" and bytes
// that are not ASCII survive the trip.
std::string PercentEncodedPath(const std::string& path);

}  // namespace zel
