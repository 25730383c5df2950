#include "core/CKlLoggedSemaphore.h"

#include <chrono>
#include <cstring>

#include "core/CKlLogger.h"
#include "core/CKlThread.h"
#include "core/Singleton.h"

CKlLoggedSemaphore::CKlLoggedSemaphore(const std::string& name, bool /*named*/, int waitPeriodMs)
    : Name_(name), waitPeriodMs_(waitPeriodMs) {}

CKlLoggedSemaphore::~CKlLoggedSemaphore() = default;

std::string CKlLoggedSemaphore::FileNamePart(const char* path) {
  if (path == nullptr) return std::string();
  const char* last = nullptr;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') last = p;
  }
  return last != nullptr ? std::string(last + 1) : std::string(path);
}

void CKlLoggedSemaphore::Lock(const char* sourceFile, int sourceLine) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (released_.wait_for(lock, std::chrono::milliseconds(waitPeriodMs_),
                           [this] { return !taken_; })) {
      taken_ = true;
      OwnerThreadId_ = CKlThread::CurrentThreadId();
      OwnerFile_ = sourceFile != nullptr ? sourceFile : "";
      OwnerLine_ = sourceLine;
      return;
    }
    // Copy the holder's details while we hold the inner mutex, log without it.
    std::string ownerFile = FileNamePart(OwnerFile_.c_str());
    uint32_t ownerThread = OwnerThreadId_;
    int ownerLine = OwnerLine_;
    lock.unlock();
    Singleton<CKlLogger>::Instance()->Log(
        "Semaphore <%s> timeout from [%s(%d)] as thread %X [%s(%d)] has it", Name_.c_str(),
        FileNamePart(sourceFile).c_str(), sourceLine, ownerThread, ownerFile.c_str(), ownerLine);
    lock.lock();
  }
}

void CKlLoggedSemaphore::Unlock(const char* sourceFile, int sourceLine) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (OwnerThreadId_ != CKlThread::CurrentThreadId()) {
    std::string ownerFile = FileNamePart(OwnerFile_.c_str());
    uint32_t ownerThread = OwnerThreadId_;
    int ownerLine = OwnerLine_;
    lock.unlock();
    Singleton<CKlLogger>::Instance()->Log(
        "Unlocking semaphore <%s> from [%s(%d)], locked by thread %X [%s(%d)]", Name_.c_str(),
        FileNamePart(sourceFile).c_str(), sourceLine, ownerThread, ownerFile.c_str(), ownerLine);
    lock.lock();
  }
  OwnerThreadId_ = 0;
  OwnerFile_.clear();
  OwnerLine_ = 0;
  taken_ = false;
  released_.notify_one();
}
