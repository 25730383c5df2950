#pragma once
// Clang's thread-safety analysis (-Wthread-safety) checks at compile time that a
// guarded field is only touched with its lock held. Other compilers see nothing.

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define ZEL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ZEL_THREAD_ANNOTATION(x)
#endif

// A type that is a lock.
#define CAPABILITY(x) ZEL_THREAD_ANNOTATION(capability(x))
// An object that holds a lock from its construction to its destruction.
#define SCOPED_CAPABILITY ZEL_THREAD_ANNOTATION(scoped_lockable)
// A field read and written only with the given lock held.
#define GUARDED_BY(x) ZEL_THREAD_ANNOTATION(guarded_by(x))
// A pointer whose target is read and written only with the given lock held.
#define PT_GUARDED_BY(x) ZEL_THREAD_ANNOTATION(pt_guarded_by(x))
// A function that must be called with the given locks held.
#define REQUIRES(...) ZEL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// A function that takes the given locks (or, on a lock type, itself) and keeps them.
#define ACQUIRE(...) ZEL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// A function that releases the given locks (or, on a lock type, itself).
#define RELEASE(...) ZEL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// A function that must be called without the given locks (it takes them itself).
#define EXCLUDES(...) ZEL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// A function that returns the given lock.
#define RETURN_CAPABILITY(x) ZEL_THREAD_ANNOTATION(lock_returned(x))
// Leaves a function out of the analysis: for what it cannot follow, said why beside it.
#define NO_THREAD_SAFETY_ANALYSIS ZEL_THREAD_ANNOTATION(no_thread_safety_analysis)
// A lock that must be taken after (or before) the given ones wherever both are held.
#define ACQUIRED_AFTER(...) ZEL_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define ACQUIRED_BEFORE(...) ZEL_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
// A function that checks (or knows) that the calling thread holds the given lock.
#define ASSERT_CAPABILITY(x) ZEL_THREAD_ANNOTATION(assert_capability(x))

namespace zel {

// A plain mutex the analysis can follow; std::mutex carries no annotations in
// libstdc++. Fields it protects say GUARDED_BY(theMutex); the lock order between
// two mutexes is written with ACQUIRED_AFTER on the later one.
class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class CondVar;
  std::mutex mutex_;
};

// Holds a Mutex from its construction to its destruction.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

// A condition variable waited on with a Mutex held. There is no predicate form: a
// predicate is a lambda, which the analysis checks as if no lock were held, so
// callers loop on their condition instead (which also covers spurious wake-ups).
class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  // Releases `mutex` while waiting for a signal (or a spurious wake-up) and takes
  // it again before returning.
  void Wait(Mutex& mutex) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    condition_.wait(lock);
    lock.release();
  }
  // As Wait, giving up at `deadline`; false once it has passed.
  bool WaitUntil(Mutex& mutex, std::chrono::steady_clock::time_point deadline) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    const bool signalled = condition_.wait_until(lock, deadline) == std::cv_status::no_timeout;
    lock.release();
    return signalled;
  }
  void Signal() { condition_.notify_one(); }
  void SignalAll() { condition_.notify_all(); }

 private:
  std::condition_variable condition_;
};

}  // namespace zel
