#pragma once
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/ThreadAnnotations.h"
#include "organiser/SearchRules.h"

class CKlFileListEntry;

// The threads a search reads headers on. The walk hands over every recording file
// it meets; a few threads test and load them while the walk goes on, and Finish
// gives the kept entries back in the order the walk met them, so that the results
// are those of a walk that examines each file itself.
class CSearchPool {
 public:
  // Turns the file at a path into a kept entry or null.
  using Examine = std::function<std::unique_ptr<CKlFileListEntry>(const std::string&)>;

  // At most `threads` threads, started as batches queue up; 0 examines each file on
  // the caller's thread inside Add.
  CSearchPool(Examine examine, unsigned threads);
  ~CSearchPool();
  CSearchPool(const CSearchPool&) = delete;
  CSearchPool& operator=(const CSearchPool&) = delete;

  void Add(std::string path);
  // Waits for every file added so far and appends the kept entries, in order.
  void Finish(zel::EntryList& out);

  // The readers worth having in flight beside the walk, whatever the cores.
  static unsigned DefaultThreads();

 private:
  struct Batch {
    std::vector<std::string> files;
    zel::EntryList kept;
  };

  void Submit();
  void Work();

  Examine examine_;
  unsigned maxThreads_;
  std::unique_ptr<Batch> filling_;
  zel::EntryList inline_;  // results when there are no threads

  zel::Mutex mutex_;
  zel::CondVar queued_;
  zel::CondVar done_;
  std::vector<std::unique_ptr<Batch>> batches_ GUARDED_BY(mutex_);  // in walk order
  size_t next_ GUARDED_BY(mutex_) = 0;  // first batch no thread has taken
  size_t finished_ GUARDED_BY(mutex_) = 0;
  bool closing_ GUARDED_BY(mutex_) = false;
  unsigned idle_ GUARDED_BY(mutex_) = 0;  // threads waiting for a batch
  std::vector<std::thread> threads_;  // touched by the owner's thread only
};
