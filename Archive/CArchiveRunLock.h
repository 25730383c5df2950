#pragma once
#include <functional>
#include <memory>
#include <string>

#include "core/FileLock.h"

// The one archive run at a time, across every process of the user (the window,
// the systemd timer, zelctl by hand): an exclusive lock on "archive-run.lock" in
// the configuration folder, held for the whole run. A second run waits for it a
// while (a minute; ZEL_ARCHIVE_RUN_WAIT seconds override it) and then gives up.
class CArchiveRunLock {
 public:
  // The lock of this user's configuration folder.
  CArchiveRunLock();
  // The lock beside `dataPath` (tests, tools).
  explicit CArchiveRunLock(std::string dataPath);

  // Takes the lock, waiting up to WaitSeconds; `keepWaiting` (may be empty) is
  // asked between tries and ends the wait early when false. True when held.
  bool Acquire(const std::function<bool()>& keepWaiting = {});
  void Release() { lock_.reset(); }
  bool Held() const { return lock_ != nullptr; }
  // True when Acquire found another run holding the lock (and so had to wait).
  bool Waited() const { return waited_; }

  void SetWaitSeconds(double seconds) { waitSeconds_ = seconds; }
  double WaitSeconds() const { return waitSeconds_; }
  const std::string& DataPath() const { return dataPath_; }

  // The wait a run gives another: 60 s unless ZEL_ARCHIVE_RUN_WAIT says otherwise.
  static double DefaultWaitSeconds();

 private:
  std::string dataPath_;
  double waitSeconds_;
  bool waited_ = false;
  std::unique_ptr<zel::FileLock> lock_;
};
