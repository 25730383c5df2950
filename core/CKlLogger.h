#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "core/Singleton.h"

// Appends time-stamped lines to "Log.txt" in the log folder. Every call opens,
// appends and closes the file, so the file is always complete on disk; past
// MaxSize bytes the file is moved to "Log-old.txt". Failures are silent.
// Reach it through Singleton<CKlLogger>::Instance().
class CKlLogger {
 public:
  static constexpr uint32_t kDefaultMaxSize = 0x1400000;  // 20 MiB

  CKlLogger();
  // For tests: a logger writing into `folder` (which ends in "/").
  explicit CKlLogger(const std::string& folder, uint32_t maxSize = kDefaultMaxSize);
  virtual ~CKlLogger();
  CKlLogger(const CKlLogger&) = delete;
  CKlLogger& operator=(const CKlLogger&) = delete;

  // The prefix "YYYY/MM/DD hh:mm:ss.mmm : " and the formatted text, as given.
  void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // The same followed by one "\n".
  void LogLine(const char* format, ...) __attribute__((format(printf, 2, 3)));

  const std::string& LogPath() const { return LogPath_; }
  const std::string& OldLogPath() const { return OldLogPath_; }

 private:
  void Write(const char* format, va_list args, bool newline);

  std::string LogFolder_;
  std::string BaseName_;
  std::mutex lock_;
  std::string LogPath_;
  std::string OldLogPath_;
  uint32_t MaxSize_;
};
