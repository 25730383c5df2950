#include "organiser/CSearchPool.h"

#include "core/CKlThread.h"
#include "recording/CKlFileListEntry.h"

namespace {
// Large enough that the hand-over costs little per file, small enough that every
// reader has work soon after the walk starts, also on a search of a few hundred files.
constexpr size_t kBatchFiles = 32;
// Readers mostly wait for the file system, not for a core: on a network share each
// open is a round trip, so many opens in flight make the search many times faster.
// On a warm local disk the extra threads cost next to nothing.
constexpr unsigned kReaders = 32;
}  // namespace

CSearchPool::CSearchPool(Examine examine, unsigned threads) : examine_(std::move(examine)), maxThreads_(threads) {}

CSearchPool::~CSearchPool() {
  {
    zel::MutexLock lock(mutex_);
    closing_ = true;
  }
  queued_.SignalAll();
  for (std::thread& thread : threads_) thread.join();
}

unsigned CSearchPool::DefaultThreads() { return kReaders; }

void CSearchPool::Add(std::string path) {
  if (maxThreads_ == 0) {
    if (auto entry = examine_(path)) inline_.push_back(std::move(entry));
    return;
  }
  if (!filling_) {
    filling_ = std::make_unique<Batch>();
    filling_->files.reserve(kBatchFiles);
  }
  filling_->files.push_back(std::move(path));
  if (filling_->files.size() == kBatchFiles) Submit();
}

void CSearchPool::Submit() {
  bool startOne;
  {
    zel::MutexLock lock(mutex_);
    batches_.push_back(std::move(filling_));
    // Threads start as work arrives, so a small search starts few.
    startOne = batches_.size() - next_ > idle_ && threads_.size() < maxThreads_;
  }
  if (startOne) threads_.emplace_back(&CSearchPool::Work, this);
  queued_.Signal();
}

void CSearchPool::Work() {
  CKlThread::SetCurrentThreadPriority(THREAD_PRIORITY_BELOW_NORMAL);
  for (;;) {
    Batch* batch = nullptr;
    {
      zel::MutexLock lock(mutex_);
      ++idle_;
      while (!closing_ && next_ == batches_.size()) queued_.Wait(mutex_);
      --idle_;
      if (next_ == batches_.size()) return;  // closing with nothing left
      batch = batches_[next_++].get();
    }
    for (const std::string& path : batch->files) {
      if (auto entry = examine_(path)) batch->kept.push_back(std::move(entry));
    }
    zel::MutexLock lock(mutex_);
    ++finished_;
    done_.SignalAll();
  }
}

void CSearchPool::Finish(zel::EntryList& out) {
  for (auto& entry : inline_) out.push_back(std::move(entry));
  inline_.clear();
  if (maxThreads_ == 0) return;
  if (filling_ && !filling_->files.empty()) Submit();
  filling_.reset();
  zel::MutexLock lock(mutex_);
  while (finished_ != batches_.size()) done_.Wait(mutex_);
  for (auto& batch : batches_) {
    for (auto& entry : batch->kept) out.push_back(std::move(entry));
  }
  batches_.clear();
  next_ = 0;
  finished_ = 0;
}
