#pragma once
#include <cstdint>
#include <string>

// Builds one JSON value as text. Strings must be UTF-8 (convert header texts with
// zel::Cp1252ToUtf8 first); invalid bytes are replaced by U+FFFD so the output is
// always valid JSON (file paths keep their bytes through PathField).
class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(const std::string& key);

  JsonWriter& String(const std::string& value);
  JsonWriter& Int(int64_t value);
  JsonWriter& UInt(uint64_t value);
  JsonWriter& Double(double value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  // Inserts already formatted JSON text as one value.
  JsonWriter& Raw(const std::string& json);

  // Shorthands for a key and its value.
  JsonWriter& Field(const std::string& key, const std::string& value) { return Key(key).String(value); }
  JsonWriter& Field(const std::string& key, const char* value) { return Key(key).String(value); }
  JsonWriter& Field(const std::string& key, int64_t value) { return Key(key).Int(value); }
  JsonWriter& Field(const std::string& key, int value) { return Key(key).Int(value); }
  JsonWriter& Field(const std::string& key, uint32_t value) { return Key(key).UInt(value); }
  JsonWriter& Field(const std::string& key, bool value) { return Key(key).Bool(value); }

  // A file path: the text as Field writes it and, only when the bytes are not
  // valid UTF-8, `key` + "Hex" with every byte as two lower-case hex digits, so
  // that the name stays recoverable.
  JsonWriter& PathField(const std::string& key, const std::string& path);

  const std::string& Text() const { return text_; }
  static std::string Quote(const std::string& value);
  static bool IsValidUtf8(const std::string& value);

 private:
  void Separate();
  std::string text_;
  bool needComma_ = false;
};
