#include "core/Utf8.h"

#include <cstdint>

namespace zel {

size_t Utf8SequenceLength(const unsigned char* p, size_t size) {
  const unsigned char c = *p;
  if (c < 0x80) return 1;
  size_t length;
  uint32_t lowest;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, lowest = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    length = 3, lowest = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, lowest = 0x10000;
  } else {
    return 0;
  }
  if (size < length) return 0;
  uint32_t code = c & (0xFF >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    code = code << 6 | (p[i] & 0x3F);
  }
  // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
  return code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? 0 : length;
}

}  // namespace zel
