// The search's walk against the floor, both in one run.
//
// 1. A warm local tree of 100,000 recordings (the one search_bench makes): the floor
//    (zelbench::ReadHeadersOf, one thread) against a whole search as a list window
//    runs it (counting pass, readers, sort), wall and CPU time, best of 5.
// 2. A simulated network share: the program runs itself again under
//    open_delay_shim, which makes every open cost 5 ms (then 0.5 ms), over a part of
//    the tree. The floor, then the readers (CSearchPool) at 2 to 32 threads, then
//    the whole search, show what the number of readers in flight does.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchTree.h"
#include "core/RegularFile.h"
#include "organiser/CSearchManager.h"
#include "organiser/CSearchPool.h"
#include "organiser/ListColumn.h"
#include "recording/CKlFileListEntry.h"

namespace {

const std::string kRoot = "/tmp/zel_search_bench";
constexpr int kFolders = 100;
constexpr int kPerFolder = 1000;

struct Cost {
  double wall = 0;
  double user = 0;
  double system = 0;
};

Cost CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return {0, seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

// Runs `work` and checks that it found `expected` recordings.
template <class Work>
Cost Measure(size_t expected, Work work) {
  const Cost before = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const size_t found = work();
  const Cost after = CpuSeconds();
  const Cost cost{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  after.user - before.user, after.system - before.system};
  if (found != expected) {
    std::fprintf(stderr, "found %zu recordings, expected %zu\n", found, expected);
    std::exit(1);
  }
  return cost;
}

SearchCriteria FirstFolders(int folders) {
  SearchCriteria criteria;
  for (int f = 0; f < folders; ++f) criteria.folders.push_back(kRoot + "/user" + std::to_string(f));
  criteria.includeSubfolders = 1;
  criteria.dateMode = static_cast<int>(zel::DateMode::All);
  return criteria;
}

size_t Floor(const SearchCriteria& criteria) {
  size_t n = 0;
  for (const std::string& folder : criteria.folders) n += zelbench::ReadHeadersOf(folder);
  return n;
}

// A whole search up to its sorted results; they are freed with `manager`, after the
// timing, as a list frees them only when it closes.
size_t Search(const SearchCriteria& criteria, CSearchManager& manager) {
  manager.PrepareSearch(criteria, static_cast<int>(zel::ListColumn::DateTime), 1);
  manager.SetPassphrase("");
  manager.StartSearch();
  manager.WaitUntilStopped(-1);
  return manager.ResultCount();
}

// The counting pass and `readers` threads loading every header, as the search does.
size_t Readers(const SearchCriteria& criteria, unsigned readers) {
  std::vector<std::string> listed;
  zel::CountRecordings(criteria, &listed);
  CSearchPool pool(
      [](const std::string& path) -> std::unique_ptr<CKlFileListEntry> {
        struct stat st;
        const int fd = zel::OpenListedFile(path.c_str(), AT_FDCWD, st);
        if (fd < 0) return nullptr;
        auto entry = std::make_unique<CKlFileListEntry>();
        entry->SetPath(path);
        entry->LoadDetailsFrom(fd, st, "");
        ::close(fd);
        return entry;
      },
      readers);
  for (std::string& path : listed) pool.Add(std::move(path));
  zel::EntryList entries;
  pool.Finish(entries);
  return entries.size();
}

void Local(const char* self, bool share) {
  zelbench::GenerateTree(kRoot, kFolders, kPerFolder);
  const SearchCriteria all = FirstFolders(kFolders);
  const size_t files = static_cast<size_t>(kFolders) * kPerFolder;
  Floor(all);  // warms the cache
  Cost floor{1e9, 1e9, 1e9};
  Cost search{1e9, 1e9, 1e9};
  auto keepBest = [](Cost& best, const Cost& cost) {
    if (cost.wall < best.wall) best.wall = cost.wall;
    if (cost.user + cost.system < best.user + best.system) {
      best.user = cost.user;
      best.system = cost.system;
    }
  };
  for (int run = 0; run < 5; ++run) {
    keepBest(floor, Measure(files, [&] { return Floor(all); }));
    CSearchManager manager;
    keepBest(search, Measure(files, [&] { return Search(all, manager); }));
  }
  auto print = [](const char* what, const Cost& cost) {
    std::printf("  %-20s %6.0f ms wall %6.0f ms CPU (%4.0f user %4.0f system)", what, cost.wall * 1e3,
                (cost.user + cost.system) * 1e3, cost.user * 1e3, cost.system * 1e3);
  };
  std::printf("warm local tree, %zu recordings, best of 5:\n", files);
  print("floor (1 thread)", floor);
  std::printf("\n");
  print(("search (" + std::to_string(CSearchPool::DefaultThreads()) + " readers)").c_str(), search);
  std::printf("  %.2fx floor wall (aim <= 1.3x), %.2fx CPU\n", search.wall / floor.wall,
              (search.user + search.system) / (floor.user + floor.system));
  std::fflush(stdout);
  if (!share) return;
  for (const char* delay : {"5000", "500"}) {
    const std::string command =
        std::string("LD_PRELOAD=") + ZEL_OPEN_DELAY_SHIM + " ZEL_OPEN_DELAY_US=" + delay + " '" + self + "'";
    if (std::system(command.c_str()) != 0) std::exit(1);
  }
}

void Share(long delayUs) {
  // About 10 s of floor whatever the delay.
  const int folders = delayUs >= 5000 ? 2 : 20;
  const SearchCriteria some = FirstFolders(folders);
  const size_t files = static_cast<size_t>(folders) * kPerFolder;
  std::printf("every open %.1f ms later, %zu recordings:\n", delayUs / 1000.0, files);
  const Cost floor = Measure(files, [&] { return Floor(some); });
  std::printf("  floor (1 thread)   %7.0f ms\n", floor.wall * 1e3);
  for (unsigned readers : {2u, 4u, 8u, 16u, 32u}) {
    const Cost cost = Measure(files, [&] { return Readers(some, readers); });
    std::printf("  %2u readers         %7.0f ms  %.3fx floor\n", readers, cost.wall * 1e3, cost.wall / floor.wall);
  }
  CSearchManager manager;
  const Cost search = Measure(files, [&] { return Search(some, manager); });
  std::printf("  search (%2u readers) %7.0f ms  %.3fx floor\n", CSearchPool::DefaultThreads(), search.wall * 1e3,
              search.wall / floor.wall);
  std::fflush(stdout);
}

}  // namespace

// `--local` leaves out the simulated share.
int main(int argc, char** argv) {
  const char* delay = std::getenv("ZEL_OPEN_DELAY_US");
  if (delay) {
    Share(std::atol(delay));
  } else {
    Local(argv[0], !(argc > 1 && std::string(argv[1]) == "--local"));
  }
  return 0;
}
