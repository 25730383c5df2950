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
  // Highest rank first; equal ranks in reverse order of creation.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.rank < b.rank; });
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) it->reset();
}

}  // namespace

void RegisterSingletonReset(int rank, void (*reset)()) {
  static const bool registered = [] { return std::atexit(&DestroyAll) == 0; }();
  (void)registered;
  std::lock_guard<std::mutex> lock(RegistryMutex());
  Registry().push_back({rank, reset});
}

}  // namespace zel::detail
