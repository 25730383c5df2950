#include "core/Cp1252.h"

#include <cstdint>
#include <cstring>

#include "core/MessageSink.h"

namespace zel {
namespace {

// Code points of bytes 0x80..0x9F; 0 marks the five bytes Windows-1252 leaves undefined.
constexpr uint16_t kHighTable[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Writes `cp` (below 0x10000) as UTF-8 at `out`; returns the byte after it.
char* PutUtf8(char* out, uint32_t cp) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

// The code point of a Windows-1252 byte; undefined bytes map to the C1 control of
// the same number, as Windows does.
uint32_t CodePointOf(unsigned char c) {
  return c >= 0x80 && c < 0xA0 && kHighTable[c - 0x80] != 0 ? kHighTable[c - 0x80] : c;
}

// Where the first byte at or above 0x80 is, or `size`; eight bytes at a time, as
// header texts are long (the comment has 1023 bytes) and mostly ASCII.
size_t FirstHighByte(const char* data, size_t size) {
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    if (word & 0x8080808080808080ull) break;
  }
  while (i < size && static_cast<unsigned char>(data[i]) < 0x80) ++i;
  return i;
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view text) {
  const size_t ascii = FirstHighByte(text.data(), text.size());
  if (ascii == text.size()) return std::string(text);
  // Size the result once, then write it in place.
  size_t extra = 0;
  for (size_t i = ascii; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) extra += CodePointOf(c) < 0x800 ? 1 : 2;
  }
  std::string out(text.size() + extra, '\0');
  std::memcpy(out.data(), text.data(), ascii);
  char* p = out.data() + ascii;
  for (size_t i = ascii; i < text.size(); ++i) p = PutUtf8(p, CodePointOf(static_cast<unsigned char>(text[i])));
  return out;
}

namespace {

// Converts `text` into `out` (when given); returns false as soon as a character had
// to become "?" and `out` is null, else whether the conversion was exact.
bool ConvertToCp1252(std::string_view text, std::string* out) {
  bool exact = true;
  auto put = [&](char c) {
    if (out) *out += c;
  };
  auto lose = [&]() {
    exact = false;
    put('?');
    return out != nullptr;  // keep going only when the text itself is wanted
  };
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t cp;
    size_t len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { if (!lose()) return false; ++i; continue; }
    if (i + len > text.size()) { lose(); break; }
    bool valid = true;
    for (size_t k = 1; k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) { valid = false; break; }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!valid) { if (!lose()) return false; ++i; continue; }
    i += len;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      put(static_cast<char>(cp));
      continue;
    }
    bool mapped = false;
    for (int k = 0; k < 32 && !mapped; ++k) {
      if ((kHighTable[k] != 0 && kHighTable[k] == cp) ||
          (kHighTable[k] == 0 && cp == static_cast<uint32_t>(0x80 + k))) {
        put(static_cast<char>(0x80 + k));
        mapped = true;
      }
    }
    if (!mapped && !lose()) return false;
  }
  return exact;
}

}  // namespace

std::string Utf8ToCp1252(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  ConvertToCp1252(text, &out);
  return out;
}

bool FitsCp1252(std::string_view utf8) { return ConvertToCp1252(utf8, nullptr); }

bool PassphraseFits(std::string_view utf8) {
  if (FitsCp1252(utf8)) return true;
  ShowMessage("The passphrase contains characters that recordings cannot hold (only those of "
              "Windows-1252). It was not set.",
              IMessageSink::Icon::Warning);
  return false;
}

}  // namespace zel
