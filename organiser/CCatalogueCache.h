#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/ThreadAnnotations.h"
#include "organiser/CatalogueRecord.h"

// The folder listings of one catalogue database as the database holds them, kept
// by the process for every catalogue of that file (the searches' and the watcher's
// background refreshes alike), so that a search of folders that did not change
// reads no rows. Every write to the database leaves a mark in it; a mark this
// process did not leave means another process wrote, and what is kept is dropped.
// The lock is taken after the database's write lock where both are held, and is
// held while a listing missing here is read from the database, so that a listing
// written meanwhile by another thread is never replaced by an older one.
class CCatalogueCache {
 public:
  using Part = std::shared_ptr<const std::string>;  // one row's bytes
  struct Listing {
    int64_t stamp = 0;
    std::vector<Part> parts;
    std::vector<Part> changes;  // records written in place since the rows, one each
    std::vector<zel::CatalogueRecord> records;  // decoded once; the texts point into `parts`
  };
  using ListingPtr = std::shared_ptr<const Listing>;

  // The cache of the database `file`.
  static CCatalogueCache& For(const std::string& file);

  zel::Mutex lock;

  ListingPtr Find(const std::string& key) const REQUIRES(lock);
  void Put(const std::string& key, ListingPtr listing) REQUIRES(lock);
  // Forgets `key` and the folders below it.
  void Drop(const std::string& key) REQUIRES(lock);
  // Whether `mark`, read from the database, is the last this process left; when not,
  // everything kept is dropped and `mark` taken as the current one.
  bool Current(const std::string& mark) REQUIRES(lock);
  // The mark a write is to leave; Adopt it once the write is committed.
  std::string NextMark() const REQUIRES(lock);
  void Adopt(const std::string& mark) REQUIRES(lock) { mark_ = mark; ++serial_; }

 private:
  std::map<std::string, ListingPtr> folders_ GUARDED_BY(lock);
  std::string mark_ GUARDED_BY(lock);
  bool known_ GUARDED_BY(lock) = false;
  uint64_t serial_ GUARDED_BY(lock) = 0;
};
