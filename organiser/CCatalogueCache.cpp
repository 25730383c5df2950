#include "organiser/CCatalogueCache.h"

#include <unistd.h>

#include <chrono>

namespace {
zel::Mutex cachesLock;
std::map<std::string, std::unique_ptr<CCatalogueCache>> caches GUARDED_BY(cachesLock);
}  // namespace

CCatalogueCache& CCatalogueCache::For(const std::string& file) {
  zel::MutexLock hold(cachesLock);
  auto& cache = caches[file];
  if (!cache) cache = std::make_unique<CCatalogueCache>();
  return *cache;
}

CCatalogueCache::ListingPtr CCatalogueCache::Find(const std::string& key) const {
  const auto it = folders_.find(key);
  return it == folders_.end() ? nullptr : it->second;
}

void CCatalogueCache::Put(const std::string& key, ListingPtr listing) { folders_[key] = std::move(listing); }

void CCatalogueCache::Drop(const std::string& key) {
  folders_.erase(key);
  // The folders below sort between "key/" and "key0" ('0' follows '/').
  folders_.erase(folders_.lower_bound(key + '/'), folders_.lower_bound(key + '0'));
}

bool CCatalogueCache::Current(const std::string& mark) {
  if (known_ && mark == mark_) return true;
  folders_.clear();
  mark_ = mark;
  known_ = true;
  return false;
}

std::string CCatalogueCache::NextMark() const {
  // This process (its id and its start) and the count of its writes.
  static const auto start = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::to_string(::getpid()) + "." + std::to_string(start) + "." +
         std::to_string(reinterpret_cast<uintptr_t>(this)) + "." + std::to_string(serial_ + 1);
}
