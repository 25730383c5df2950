#include "cli/JsonWriter.h"

#include <cmath>
#include <cstdio>

#include "core/JsonText.h"

void JsonWriter::Separate() {
  if (needComma_) text_ += ',';
  needComma_ = true;
}

JsonWriter& JsonWriter::BeginObject() {
  Separate();
  text_ += '{';
  needComma_ = false;
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  text_ += '}';
  needComma_ = true;
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  Separate();
  text_ += '[';
  needComma_ = false;
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  text_ += ']';
  needComma_ = true;
  return *this;
}

JsonWriter& JsonWriter::Key(const std::string& key) {
  Separate();
  text_ += Quote(key);
  text_ += ':';
  needComma_ = false;
  return *this;
}

JsonWriter& JsonWriter::String(const std::string& value) {
  Separate();
  text_ += Quote(value);
  return *this;
}

JsonWriter& JsonWriter::Int(int64_t value) {
  Separate();
  text_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::UInt(uint64_t value) {
  Separate();
  text_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Double(double value) {
  Separate();
  if (!std::isfinite(value)) {
    text_ += "null";
  } else {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    text_ += buffer;
  }
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  Separate();
  text_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null() {
  Separate();
  text_ += "null";
  return *this;
}

JsonWriter& JsonWriter::Raw(const std::string& json) {
  Separate();
  text_ += json;
  return *this;
}

namespace {

// The length of the well-formed UTF-8 sequence at `i` (a non-ASCII lead byte), or
// 0: overlong forms, surrogates and code points above U+10FFFF are not UTF-8.
size_t SequenceLength(const std::string& value, size_t i) {
  unsigned char c = static_cast<unsigned char>(value[i]);
  size_t len = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  }
  if (len == 0 || i + len > value.size()) return 0;
  unsigned char second = static_cast<unsigned char>(value[i + 1]);
  if (second < low || second > high) return 0;
  for (size_t k = 2; k < len; ++k) {
    if ((static_cast<unsigned char>(value[i + k]) & 0xC0) != 0x80) return 0;
  }
  return len;
}

}  // namespace

bool JsonWriter::IsValidUtf8(const std::string& value) {
  for (size_t i = 0; i < value.size();) {
    if (static_cast<unsigned char>(value[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t len = SequenceLength(value, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

JsonWriter& JsonWriter::PathField(const std::string& key, const std::string& path) {
  Field(key, path);
  if (IsValidUtf8(path)) return *this;
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(path.size() * 2);
  for (unsigned char c : path) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 0x0F];
  }
  return Field(key + "Hex", hex);
}

std::string JsonWriter::Quote(const std::string& value) {
  std::string out = "\"";
  size_t i = 0;
  while (i < value.size()) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    if (c < 0x80) {
      zel::AppendJsonAscii(out, c);
      ++i;
      continue;
    }
    size_t len = SequenceLength(value, i);
    if (len != 0) {
      out.append(value, i, len);
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  out += '"';
  return out;
}
