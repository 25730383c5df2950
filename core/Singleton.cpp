#include "core/Singleton.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace zel::detail {
namespace {

struct Entry {
  int rank;
  void (*reset)();
};

std::mutex& RegistryMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}
std::vector<Entry>& Registry() {
  static auto* entries = new std::vector<Entry>();
  return *entries;
}

void DestroyAll() {
  std::vector<Entry> entries;
  {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    entries.swap(Registry());
  }
  // Highest rank first; equal ranks in reverse order of creation. The creation
  // order is kept by hand: with this libstdc++, stable_sort's scratch buffer trips
  // AddressSanitizer's new/delete pairing check.
  std::vector<std::pair<Entry, size_t>> order;
  order.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) order.emplace_back(entries[i], i);
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
    return a.first.rank != b.first.rank ? a.first.rank < b.first.rank : a.second < b.second;
  });
  for (auto it = order.rbegin(); it != order.rend(); ++it) it->first.reset();
}

}  // namespace

void RegisterSingletonReset(int rank, void (*reset)()) {
  static const bool registered = [] { return std::atexit(&DestroyAll) == 0; }();
  (void)registered;
  std::lock_guard<std::mutex> lock(RegistryMutex());
  Registry().push_back({rank, reset});
}

}  // namespace zel::detail
