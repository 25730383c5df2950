#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// Priorities as the Windows thread API numbers them; only their order matters here.
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;

// A manual-reset event: signalled stays signalled until Reset.
class CKlEvent {
 public:
  explicit CKlEvent(bool signalled) : signalled_(signalled) {}
  void Set();
  void Reset();
  bool IsSet();
  // Waits up to `milliseconds` (negative: without limit); true when signalled.
  bool Wait(int milliseconds);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_;
};

// Base of the long-lived worker threads. The stop event is signalled while no
// worker runs and when a stop was requested; Run() polls IsRunning() between
// units of work and returns once it is false. A derived class must call Stop() in
// its own destructor: by the time ~CKlThread runs, Run() can no longer touch it.
class CKlThread {
 public:
  explicit CKlThread(const std::string& name);
  virtual ~CKlThread();
  CKlThread(const CKlThread&) = delete;
  CKlThread& operator=(const CKlThread&) = delete;

  // Starts the worker (stopping a previous one first) at `priority`.
  void Start(int priority);
  // Requests a stop and waits for the worker to end; from inside Run it only signals.
  virtual void Stop();
  virtual bool TakePendingFlag();
  virtual bool IsRunning();
  virtual void SignalStop();
  // Waits up to `milliseconds` (negative: without limit) until IsRunning() is false:
  // the worker has ended or a stop was requested. True when so. Inside Run it is a
  // pause that a stop request cuts short.
  bool WaitUntilStopped(int milliseconds);

  const std::string& Name() const { return Name_; }
  uint32_t ThreadId() const { return ThreadId_; }
  bool HasThread() const { return ThreadHandle_.joinable(); }
  void SetPendingFlag() { PendingFlag_ = 1; }

  // Changes the priority of the calling thread (best effort; used from inside Run).
  static void SetCurrentThreadPriority(int priority);
  // The OS id of the calling thread.
  static uint32_t CurrentThreadId();

 protected:
  virtual unsigned Run() = 0;

 private:
  void StopThread();  // the non-virtual stop used by the destructor
  void EntryProcedure();

  std::string Name_;
  uint32_t ThreadId_ = 0;
  std::thread ThreadHandle_;
  CKlEvent StopEvent_{true};
  uint32_t PendingFlag_ = 0;
  int priority_ = THREAD_PRIORITY_NORMAL;
  // Start and the new worker hand over to each other: the worker's id is known
  // before Start returns, and Run begins only once ThreadHandle_ is stored.
  std::mutex startMutex_;
  std::condition_variable started_;
  bool idReady_ = false;
  bool handleReady_ = false;
  std::atomic<std::thread::id> workerId_{};
};
