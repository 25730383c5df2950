#include "core/CKlThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

#include "core/CKlLogger.h"
#include "core/Singleton.h"

void CKlEvent::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = true;
  changed_.notify_all();
}

void CKlEvent::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool CKlEvent::IsSet() {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

bool CKlEvent::Wait(int milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (milliseconds < 0) {
    changed_.wait(lock, [this] { return signalled_; });
    return true;
  }
  return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [this] { return signalled_; });
}

CKlThread::CKlThread(const std::string& name) : Name_(name) {}

CKlThread::~CKlThread() {
  StopEvent_.Set();
  StopThread();
  // Only left joinable when the worker destroys its own object; it cannot join itself.
  if (ThreadHandle_.joinable()) ThreadHandle_.detach();
}

uint32_t CKlThread::CurrentThreadId() {
  return static_cast<uint32_t>(::syscall(SYS_gettid));
}

void CKlThread::SetCurrentThreadPriority(int priority) {
  // Below normal maps to a higher nice value for this thread only; failure is fine.
  int nice = priority < 0 ? 5 : 0;
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId()), nice);
}

void CKlThread::Start(int priority) {
  if (ThreadHandle_.joinable()) Stop();
  StopEvent_.Reset();
  priority_ = priority;
  std::unique_lock<std::mutex> lock(startMutex_);
  idReady_ = false;
  handleReady_ = false;
  ThreadHandle_ = std::thread(&CKlThread::EntryProcedure, this);
  handleReady_ = true;
  started_.notify_all();
  // Like a thread created suspended: its id is known before Start returns.
  started_.wait(lock, [this] { return idReady_; });
}

void CKlThread::EntryProcedure() {
  {
    std::unique_lock<std::mutex> lock(startMutex_);
    ThreadId_ = CurrentThreadId();
    workerId_ = std::this_thread::get_id();
    idReady_ = true;
    started_.notify_all();
    started_.wait(lock, [this] { return handleReady_; });
  }
  SetCurrentThreadPriority(priority_);
  std::string name = Name_;
  uint32_t id = ThreadId_;
  Singleton<CKlLogger>::Instance()->Log("Thread: Entered thread:%s id:0x%04x.\n", name.c_str(), id);
  unsigned result = Run();
  Singleton<CKlLogger>::Instance()->Log("Thread: Exiting thread: %s id:0x%04x. result:%d\n",
                                         name.c_str(), id, static_cast<int>(result));
  SignalStop();
}

void CKlThread::Stop() { StopThread(); }

void CKlThread::StopThread() {
  uint32_t caller = CurrentThreadId();
  Singleton<CKlLogger>::Instance()->Log(
      "Thread: Thread 0x%04X is waiting for thread '%s' (0x%04X)\n", caller, Name_.c_str(),
      ThreadId_);
  if (workerId_.load() == std::this_thread::get_id()) {
    // The worker stopping itself only signals; the handle stays for Start or the destructor.
    SignalStop();
  } else if (ThreadHandle_.joinable()) {
    SignalStop();
    ThreadHandle_.join();
    workerId_ = std::thread::id();
  }
  Singleton<CKlLogger>::Instance()->Log(
      "Thread: Thread 0x%04X is done waiting for thread '%s' (0x%04X)\n", caller, Name_.c_str(),
      ThreadId_);
}

bool CKlThread::TakePendingFlag() {
  if (PendingFlag_ != 0) {
    PendingFlag_ = 0;
    return true;
  }
  return false;
}

bool CKlThread::IsRunning() { return !StopEvent_.IsSet(); }

bool CKlThread::WaitUntilStopped(int milliseconds) { return StopEvent_.Wait(milliseconds); }

void CKlThread::SignalStop() { StopEvent_.Set(); }
