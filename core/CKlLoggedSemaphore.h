#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/ThreadAnnotations.h"

// A non-re-entrant lock that remembers its holder (thread, source file, line).
// A waiter logs who holds the lock every `waitPeriodMs` (30 s by default) and keeps
// waiting; Lock never gives up. Unlock from a thread that does not hold the lock is
// logged and performed. Prefer ScopedSemaphoreLock (ZEL_LOCK) so that no return
// path can leave the lock held.
class CAPABILITY("mutex") CKlLoggedSemaphore {
 public:
  explicit CKlLoggedSemaphore(const std::string& name, bool named = false,
                              int waitPeriodMs = 30000);
  virtual ~CKlLoggedSemaphore();
  CKlLoggedSemaphore(const CKlLoggedSemaphore&) = delete;
  CKlLoggedSemaphore& operator=(const CKlLoggedSemaphore&) = delete;

  void Lock(const char* sourceFile, int sourceLine) ACQUIRE();
  void Unlock(const char* sourceFile, int sourceLine) RELEASE();

  const std::string& Name() const { return Name_; }
  uint32_t OwnerThreadId() const { return OwnerThreadId_; }

  // The text after the last "/" or "\", or the whole text.
  static std::string FileNamePart(const char* path);

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool taken_ = false;
  std::string Name_;
  uint32_t OwnerThreadId_ = 0;
  std::string OwnerFile_;
  int OwnerLine_ = 0;
  int waitPeriodMs_;
};

// Holds a CKlLoggedSemaphore for the lifetime of the object.
class SCOPED_CAPABILITY ScopedSemaphoreLock {
 public:
  ScopedSemaphoreLock(CKlLoggedSemaphore& semaphore, const char* file, int line) ACQUIRE(semaphore)
      : semaphore_(semaphore), file_(file), line_(line) {
    semaphore.Lock(file, line);
  }
  // The unlock names the line that took the lock: the caller's, not this header's.
  ~ScopedSemaphoreLock() RELEASE() { semaphore_.Unlock(file_, line_); }
  ScopedSemaphoreLock(const ScopedSemaphoreLock&) = delete;
  ScopedSemaphoreLock& operator=(const ScopedSemaphoreLock&) = delete;

 private:
  CKlLoggedSemaphore& semaphore_;
  const char* file_;
  int line_;
};

#define ZEL_LOCK_CONCAT2(a, b) a##b
#define ZEL_LOCK_CONCAT(a, b) ZEL_LOCK_CONCAT2(a, b)
#define ZEL_LOCK(semaphore) \
  ScopedSemaphoreLock ZEL_LOCK_CONCAT(zelScopedLock_, __LINE__)((semaphore), __FILE__, __LINE__)
