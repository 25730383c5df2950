#include "core/CKlLogger.h"

#include <sys/time.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "core/Folders.h"

CKlLogger::CKlLogger() : CKlLogger(zel::GetLogFolder()) {}

CKlLogger::CKlLogger(const std::string& folder, uint32_t maxSize)
    : LogFolder_(folder), MaxSize_(maxSize) {
  std::lock_guard<std::mutex> guard(lock_);
  BaseName_ = "Log";
  LogPath_ = LogFolder_ + BaseName_ + ".txt";
  OldLogPath_ = LogFolder_ + BaseName_ + "-old.txt";
}

CKlLogger::~CKlLogger() {
  // Let a write in progress on another thread finish first.
  std::lock_guard<std::mutex> guard(lock_);
}

void CKlLogger::Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(format, args, false);
  va_end(args);
}

void CKlLogger::LogLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Write(format, args, true);
  va_end(args);
}

void CKlLogger::Write(const char* format, va_list args, bool newline) {
  std::lock_guard<std::mutex> guard(lock_);
  FILE* file = std::fopen(LogPath_.c_str(), "a+");
  if (file == nullptr) return;

  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm local{};
  time_t seconds = now.tv_sec;
  localtime_r(&seconds, &local);
  std::fprintf(file, "%04d/%02d/%02d %02d:%02d:%02d.%03hd : ", local.tm_year + 1900,
               local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
               static_cast<short>(now.tv_usec / 1000));
  std::vfprintf(file, format, args);
  if (newline) std::fputc('\n', file);

  long size = std::ftell(file);
  std::fclose(file);
  if (size > 0 && static_cast<unsigned long>(size) > MaxSize_) {
    std::remove(OldLogPath_.c_str());
    std::rename(LogPath_.c_str(), OldLogPath_.c_str());
  }
}
