#include "organiser/CSearchPool.h"

#include <algorithm>

#include "core/CKlThread.h"
#include "recording/CKlFileListEntry.h"

namespace {
// Large enough that the hand-over costs little per file, small enough that the
// threads start soon after the walk does.
constexpr size_t kBatchFiles = 128;
constexpr unsigned kMaxThreads = 4;
}  // namespace

CSearchPool::CSearchPool(Examine examine, unsigned threads) : examine_(std::move(examine)) {
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back(&CSearchPool::Work, this);
}

CSearchPool::~CSearchPool() {
  {
    zel::MutexLock lock(mutex_);
    closing_ = true;
  }
  queued_.SignalAll();
  for (std::thread& thread : threads_) thread.join();
}

unsigned CSearchPool::DefaultThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores <= 1 ? 0 : std::min(cores, kMaxThreads);
}

void CSearchPool::Add(std::string path) {
  if (threads_.empty()) {
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
  {
    zel::MutexLock lock(mutex_);
    batches_.push_back(std::move(filling_));
  }
  queued_.Signal();
}

void CSearchPool::Work() {
  CKlThread::SetCurrentThreadPriority(THREAD_PRIORITY_BELOW_NORMAL);
  for (;;) {
    Batch* batch = nullptr;
    {
      zel::MutexLock lock(mutex_);
      while (!closing_ && next_ == batches_.size()) queued_.Wait(mutex_);
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
  if (threads_.empty()) return;
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
