// Search, list memory and sort figures over a generated tree of 100,000 small
// recordings (made once under /tmp/zel_search_bench; delete it to regenerate).
//
// Baseline: zelbench::ReadHeadersOf, the floor. The search figures are the
// whole search as a list window runs it: counting pass, worker walk, sort; the
// "+ free" figure adds the freeing of the results, which a list does only when
// it closes.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "BenchTree.h"
#include "organiser/CSearchManager.h"
#include "organiser/CZelVelomarDoc.h"
#include "organiser/IArchiveLookup.h"
#include "organiser/ListColumn.h"
#include "organiser/RecordingListFile.h"
#include "organiser/SearchRules.h"
#include "recording/CKlFileListEntry.h"
#include "toolkit/CKlXmlParser.h"

namespace {

const std::string kRoot = "/tmp/zel_search_bench";
constexpr int kFolders = 100;
constexpr int kPerFolder = 1000;
constexpr int kFiles = kFolders * kPerFolder;

void GenerateTree() { zelbench::GenerateTree(kRoot, kFolders, kPerFolder); }

// Best (lowest) seconds per run of each benchmark, for the ratios printed at the end.
std::map<std::string, double> g_best;

void Record(const std::string& name, double seconds) {
  auto it = g_best.find(name);
  if (it == g_best.end() || seconds < it->second) g_best[name] = seconds;
}

void BM_Baseline_EnumerateAndReadHeaders(benchmark::State& state) {
  GenerateTree();
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    size_t n = zelbench::ReadHeadersOf(kRoot);
    Record("baseline", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (n != kFiles) state.SkipWithError("tree incomplete");
  }
  state.counters["recordings/s"] = benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
}

size_t LoadEntriesOf(const std::string& folder, zel::EntryList& out) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::string path = folder + "/" + e->d_name;
    if (e->d_type == DT_DIR) {
      LoadEntriesOf(path, out);
    } else {
      auto entry = std::make_unique<CKlFileListEntry>();
      entry->SetPath(path);
      entry->LoadDetails("");
      out.push_back(std::move(entry));
    }
  }
  closedir(dir);
  return out.size();
}

// The floor with the list entry as it is: one walk, every header loaded into an
// entry, nothing else (no counting pass, no matching, no sort, no thread).
void BM_Baseline_EnumerateAndLoadEntries(benchmark::State& state) {
  GenerateTree();
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    zel::EntryList entries;
    size_t n = LoadEntriesOf(kRoot, entries);
    entries.clear();
    Record("baseline entries", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (n != kFiles) state.SkipWithError("tree incomplete");
  }
  state.counters["recordings/s"] = benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
}

// Runs one search to its end. `searchSeconds` gets the time from the counting pass
// to the sorted results (taken into `document` when one is given); freeing the
// results of a search without a document comes after it.
size_t RunSearch(const SearchCriteria& criteria, CZelVelomarDoc* document, double* searchSeconds = nullptr) {
  auto start = std::chrono::steady_clock::now();
  CSearchManager manager;
  manager.PrepareSearch(criteria, static_cast<int>(zel::ListColumn::DateTime), 1);
  manager.SetPassphrase("");
  manager.StartSearch();
  manager.WaitUntilStopped(-1);
  size_t count;
  if (document) {
    manager.TakeResults(document);
    count = document->EntryCount();
  } else {
    count = manager.ResultCount();
  }
  if (searchSeconds) *searchSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return count;
}

SearchCriteria AllOfTree() {
  SearchCriteria c;
  c.folders = {kRoot};
  c.includeSubfolders = 1;
  c.dateMode = static_cast<int>(zel::DateMode::All);
  return c;
}

void BM_Search_NoLimits(benchmark::State& state) {
  GenerateTree();
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    double search = 0;
    size_t n = RunSearch(AllOfTree(), nullptr, &search);
    Record("search no limits", search);
    Record("search no limits + free", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (n != kFiles) state.SkipWithError("wrong result count");
  }
  state.counters["recordings/s"] = benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Search_Caller1Percent(benchmark::State& state) {
  GenerateTree();
  SearchCriteria c = AllOfTree();
  c.callerIdMask = ">0999";
  for (auto _ : state) {
    double search = 0;
    size_t n = RunSearch(c, nullptr, &search);
    Record("search caller 1%", search);
    if (n != kFiles / 100) state.SkipWithError("wrong result count");
  }
  state.counters["recordings/s"] = benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Search_Within30Days(benchmark::State& state) {
  GenerateTree();
  SearchCriteria c = AllOfTree();
  c.dateMode = static_cast<int>(zel::DateMode::Within30Days);  // as the dialog opens: one attribute query per file
  for (auto _ : state) {
    double search = 0;
    RunSearch(c, nullptr, &search);
    Record("search 30 days", search);
  }
  state.counters["recordings/s"] = benchmark::Counter(kFiles, benchmark::Counter::kIsIterationInvariantRate);
}

// Archive kinds spread over the entries, so that column 4 has work to do.
class SpreadLookup : public IArchiveLookup {
 public:
  int ArchiveKindOf(const CKlFileListEntry& entry) override {
    return static_cast<int>(std::hash<std::string>()(entry.Path()) % 4) - 1;
  }
  std::string ArchiveTooltipOf(const CKlFileListEntry&) override { return std::string(); }
};

CZelVelomarDoc* g_document = nullptr;

void BM_ListMemory(benchmark::State& state) {
  GenerateTree();
  for (auto _ : state) {
    delete g_document;
    g_document = nullptr;
    malloc_trim(0);
    size_t before = mallinfo2().uordblks;
    g_document = new CZelVelomarDoc();
    RunSearch(AllOfTree(), g_document);
    size_t after = mallinfo2().uordblks;
    state.counters["bytes/entry"] =
        static_cast<double>(after - before) / static_cast<double>(std::max<size_t>(1, g_document->EntryCount()));
    Record("bytes per entry", static_cast<double>(after - before) / static_cast<double>(g_document->EntryCount()));
  }
}

void BM_SortEntries(benchmark::State& state) {
  static SpreadLookup lookup;
  zel::SetArchiveLookup(&lookup);
  const int column = static_cast<int>(state.range(0));
  const bool descending = state.range(1) != 0;
  zel::EntryList& entries = g_document->Entries();
  double worst = 0;
  for (auto _ : state) {
    state.PauseTiming();
    // Start each round from the search order (by date, newest first).
    zel::SortEntries(entries, static_cast<int>(zel::ListColumn::DateTime), true);
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    zel::SortEntries(entries, column, descending);
    worst = std::max(worst, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  Record("sort column " + std::to_string(column) + (descending ? " desc" : " asc") + " (worst)", -worst);
  zel::SetArchiveLookup(nullptr);
}

// Reading a list of 100,000 recordings: parse and walk of the ".reclist" text.
void BM_ParseRecordingList(benchmark::State& state) {
  std::vector<std::string> paths;
  for (int i = 0; i < kFiles; ++i) paths.push_back(kRoot + "/user" + std::to_string(i / kPerFolder) + "/1-2020 " +
                                                   std::to_string(i) + ".zel");
  const std::string title = kRoot;
  const std::string text = zel::FormatRecordingList(paths, &title);
  for (auto _ : state) {
    zel::RecordingListContent content;
    CKlXmlError error;
    if (!zel::ParseRecordingList(text, content, error) || content.paths.size() != paths.size()) {
      state.SkipWithError("parse failed");
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(BM_ParseRecordingList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_EnumerateAndReadHeaders)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Baseline_EnumerateAndLoadEntries)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Search_NoLimits)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Search_Caller1Percent)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Search_Within30Days)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ListMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SortEntries)
    ->ArgsProduct({{1, 2, 3, 4, 5, 6, 7, 8}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto base = g_best.find("baseline");
  auto entriesBase = g_best.find("baseline entries");
  std::printf("\nsummary (best of the runs):\n");
  for (const auto& [name, value] : g_best) {
    if (name == "bytes per entry") {
      std::printf("  %-28s %8.0f bytes (aim < 2048)\n", name.c_str(), value);
    } else if (value < 0) {
      std::printf("  %-28s %8.1f ms (aim < 100)\n", name.c_str(), -value * 1000);
    } else if (base != g_best.end() && name != "baseline") {
      std::printf("  %-28s %8.0f ms  %8.0f recordings/s  %.2fx baseline", name.c_str(), value * 1000,
                  kFiles / value, value / base->second);
      if (entriesBase != g_best.end() && name != "baseline entries") {
        std::printf("  %.2fx baseline entries", value / entriesBase->second);
      }
      std::printf("\n");
    } else {
      std::printf("  %-28s %8.0f ms  %8.0f recordings/s\n", name.c_str(), value * 1000, kFiles / value);
    }
  }
  delete g_document;
  return 0;
}
