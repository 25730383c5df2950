#include "Archive/CArchiveRunLock.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "core/CSettings.h"

CArchiveRunLock::CArchiveRunLock() : CArchiveRunLock(CSettings::SettingsFilePath(true, "archive-run")) {}

CArchiveRunLock::CArchiveRunLock(std::string dataPath)
    : dataPath_(std::move(dataPath)), waitSeconds_(DefaultWaitSeconds()) {}

double CArchiveRunLock::DefaultWaitSeconds() {
  const char* text = std::getenv("ZEL_ARCHIVE_RUN_WAIT");
  if (text != nullptr && text[0] != '\0') {
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    if (*end == '\0' && seconds >= 0 && seconds <= 86400) return seconds;
  }
  return 60.0;
}

bool CArchiveRunLock::Acquire(const std::function<bool()>& keepWaiting) {
  waited_ = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds_);
  for (;;) {
    auto lock = std::make_unique<zel::FileLock>(dataPath_, zel::FileLock::Wait::kTry);
    if (lock->Locked()) {
      lock_ = std::move(lock);
      return true;
    }
    // A folder the lock cannot be made in cannot hold the log either: do not
    // wait for what will never come.
    if (lock->Error() != EWOULDBLOCK) return false;
    waited_ = true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    if (keepWaiting && !keepWaiting()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}
