#include "cli/JsonWriter.h"

#include <cmath>
#include <cstdio>

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

std::string JsonWriter::Quote(const std::string& value) {
  std::string out = "\"";
  size_t i = 0;
  while (i < value.size()) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    if (c < 0x80) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
          } else {
            out += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool valid = len != 0 && i + len <= value.size();
    for (size_t k = 1; valid && k < len; ++k) {
      valid = (static_cast<unsigned char>(value[i + k]) & 0xC0) == 0x80;
    }
    if (valid) {
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
