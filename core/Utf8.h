#pragma once
#include <cstddef>

namespace zel {

// The length of the well-formed UTF-8 character at `p`, of which `size` bytes are
// left (at least 1); 0 when the bytes there are not UTF-8 (a stray continuation
// byte, an overlong form, a surrogate, a value beyond U+10FFFF, a cut sequence).
size_t Utf8SequenceLength(const unsigned char* p, size_t size);

}  // namespace zel
