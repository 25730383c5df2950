#include "core/Cp1252Case.h"

namespace zel {

std::string UpperCp1252(std::string_view utf8) {
  std::string out(utf8);
  UpperCp1252InPlace(out.data(), out.size());
  return out;
}

void UpperCp1252InPlace(char* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(out[i]);
    if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
      continue;
    }
    if (c < 0x80 || i + 1 == n) continue;
    const auto next = static_cast<unsigned char>(out[i + 1]);
    if ((next & 0xC0) != 0x80) continue;  // not a two-byte character
    if (c == 0xC3) {
      // U+00E0..U+00FE less U+00F7 move down by 0x20; U+00FF becomes U+0178.
      if (next >= 0xA0 && next <= 0xBE && next != 0xB7) {
        out[i + 1] = static_cast<char>(next - 0x20);
      } else if (next == 0xBF) {
        out[i] = static_cast<char>(0xC5);
        out[i + 1] = static_cast<char>(0xB8);
      }
      ++i;
    } else if (c == 0xC5) {
      // œ U+0153, š U+0161, ž U+017E sit one above their capitals.
      if (next == 0x93 || next == 0xA1 || next == 0xBE) out[i + 1] = static_cast<char>(next - 1);
      ++i;
    }
  }
}

}  // namespace zel
