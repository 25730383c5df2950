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
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  queued_.notify_all();
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
    std::lock_guard<std::mutex> lock(mutex_);
    batches_.push_back(std::move(filling_));
  }
  queued_.notify_one();
}

void CSearchPool::Work() {
  CKlThread::SetCurrentThreadPriority(THREAD_PRIORITY_BELOW_NORMAL);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return closing_ || next_ < batches_.size(); });
    if (next_ == batches_.size()) return;  // closing with nothing left
    Batch* batch = batches_[next_++].get();
    lock.unlock();
    for (const std::string& path : batch->files) {
      if (auto entry = examine_(path)) batch->kept.push_back(std::move(entry));
    }
    lock.lock();
    ++finished_;
    done_.notify_all();
  }
}

void CSearchPool::Finish(zel::EntryList& out) {
  for (auto& entry : inline_) out.push_back(std::move(entry));
  inline_.clear();
  if (threads_.empty()) return;
  if (filling_ && !filling_->files.empty()) Submit();
  filling_.reset();
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return finished_ == batches_.size(); });
  for (auto& batch : batches_) {
    for (auto& entry : batch->kept) out.push_back(std::move(entry));
  }
  batches_.clear();
  next_ = 0;
  finished_ = 0;
}
