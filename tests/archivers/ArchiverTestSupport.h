#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/CKlLogger.h"
#include "core/MessageSink.h"
#include "support/TestSupport.h"

namespace archtest {

// Keeps every message the archivers would show in a message box.
class RecordingSink : public IMessageSink {
 public:
  struct Message {
    std::string text;
    Icon icon;
  };
  void ShowMessage(const std::string& text, const std::string&, Icon icon) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back({text, icon});
  }
  Answer AskYesNo(const std::string&, const std::string&) override { return Answer::No; }
  std::vector<Message> Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  std::mutex mutex_;
  std::vector<Message> messages_;
};

// Bytes that no compressor can shrink, like GSM-coded audio; the same seed gives the same bytes.
inline std::string RandomBytes(size_t size, uint64_t seed) {
  std::string bytes(size, '\0');
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    bytes[i] = static_cast<char>(state >> 24);
  }
  return bytes;
}

// Text-like bytes that deflate shrinks well.
inline std::string CompressibleBytes(size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += "Hello, this is a call recording with little variety. ";
  bytes.resize(size);
  return bytes;
}

inline void WriteWithTime(const std::string& path, const std::string& content, time_t mtime = 1500000000) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  zeltest::WriteFile(path, content);
  struct utimbuf times {
    mtime, mtime
  };
  ::utime(path.c_str(), &times);
}

inline time_t ModificationTime(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : -1;
}

// Names in `folder` (not recursive), sorted.
inline std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Every archiver test gets its own folder, a log in it and a recording message sink.
class ArchiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.File("log"));
    previousLogger = Singleton<CKlLogger>::Instance();
    Singleton<CKlLogger>::Instance() = std::make_shared<CKlLogger>(dir.File("log") + "/");
    zel::SetMessageSink(sink);
  }
  void TearDown() override {
    zel::SetMessageSink(nullptr);
    Singleton<CKlLogger>::Instance() = previousLogger;
  }
  std::string Log() { return zeltest::ReadFile(dir.File("log/Log.txt")); }
  // Writes `content` as src/<name> and returns its path.
  std::string Source(const std::string& name, const std::string& content) {
    std::string path = dir.File("src/" + name);
    WriteWithTime(path, content);
    return path;
  }

  zeltest::TempDir dir;
  std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
  std::shared_ptr<CKlLogger> previousLogger;
};

}  // namespace archtest
