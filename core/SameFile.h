#pragma once
#include <string>

namespace zel {

// True when both paths name one existing file (same device and inode, links
// followed), so a writer can refuse to replace the file it is reading from.
// False when either does not exist.
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace zel
