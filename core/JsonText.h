#pragma once
#include <string>

namespace zel {

// Appends the ASCII byte `c` (below 0x80) as it stands inside a JSON string: the
// quote, the backslash and control characters escaped, everything else as it is.
void AppendJsonAscii(std::string& out, unsigned char c);

}  // namespace zel
