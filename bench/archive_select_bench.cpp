// "Only un-archived calls" over a large archive space whose every recording is
// already in the archive log, against the same walk taking every call.
//
//   archive_select_bench [--recordings=N] [benchmark options]
//
// The recordings are empty ".zel" files in 100 folders (the walk reads no headers
// for an unstructured job); the archiver accepts every recording and writes nothing.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"

namespace {

int g_recordings = 100000;
std::string g_root;
std::vector<std::string> g_paths;  // in walk (name) order

class NullArchiver : public IArchiver {
 public:
  int Archive() override { return 0; }
  int Cancel() override { return 0; }
  int AddFile(const std::string&, const std::string&, const std::string&, int64_t) override {
    ++archivedCount_;
    return 0;
  }
  zel::ArchiveType GetType() override { return zel::ArchiveType::kDisk; }
  int GetSizeMB() override { return 0; }
};

void MakeTree() {
  char pattern[] = "/tmp/zelbench-XXXXXX";
  g_root = ::mkdtemp(pattern);
  int folders = 100;
  int perFolder = (g_recordings + folders - 1) / folders;
  for (int f = 0; f < folders; ++f) {
    char folder[64];
    std::snprintf(folder, sizeof folder, "/f%03d", f);
    std::filesystem::create_directory(g_root + folder);
    for (int i = 0; i < perFolder && f * perFolder + i < g_recordings; ++i) {
      char name[96];
      std::snprintf(name, sizeof name, "%s/u%03d-20261207 %06d.zel", folder, f, i);
      std::string path = g_root + name;
      std::ofstream(path).put('\0');
      g_paths.push_back(path);
    }
  }
}

void FillLog() {
  auto log = Singleton<CArchiveLogger>::Instance();
  log->Clear();
  CJobArchListEntry entry;
  entry.SetJobTime(1300000000);
  entry.SetArchiveType(zel::ArchiveType::kZip);
  for (size_t i = 0; i < g_paths.size(); ++i) {
    CKlFileListEntry call;
    call.SetPath(g_paths[i]);
    call.SetStartTime(static_cast<int32_t>(1300000000 + i));
    entry.Sources().push_back(call);
  }
  log->AddEntry(entry);
}

void RunWalk(zel::SelectionType selection) {
  auto manager = Singleton<CArchiveManager>::Instance();
  CJobArchListEntry job;
  CKlFileListEntry source;
  source.SetPath(g_root);
  job.AddSource(source);
  job.SetArchiveType(zel::ArchiveType::kDisk);
  job.SetSelectionType(selection);
  job.SetTarget("/nonexistent-target");
  manager->AddJob(job, nullptr);
  manager->Start(true);
  manager->WaitUntilStopped(-1);
  manager->Stop();
}

void BM_WalkAll(benchmark::State& state) {
  for (auto _ : state) RunWalk(zel::SelectionType::kAll);
  state.counters["selected"] = Singleton<CArchiveManager>::Instance()->GetRunStats().SelectedCount;
}

void BM_WalkUnarchived(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    FillLog();  // a fresh log: the path index is built inside the timed walk
    state.ResumeTiming();
    RunWalk(zel::SelectionType::kUnarchived);
  }
  state.counters["selected"] = Singleton<CArchiveManager>::Instance()->GetRunStats().SelectedCount;
}

// The lookups alone, in walk order: indexed, and by the rotating scan.
void BM_LookupIndexed(benchmark::State& state) {
  auto log = Singleton<CArchiveLogger>::Instance();
  for (auto _ : state) {
    for (const auto& path : g_paths) benchmark::DoNotOptimize(log->FindLogIndexByPath(path));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(g_paths.size()));
}

void BM_LookupRotatingScan(benchmark::State& state) {
  auto log = Singleton<CArchiveLogger>::Instance();
  for (auto _ : state) {
    for (const auto& path : g_paths) benchmark::DoNotOptimize(log->FindLogIndexByPathScan(path));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(g_paths.size()));
}

}  // namespace

BENCHMARK(BM_WalkAll)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WalkUnarchived)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LookupIndexed)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LookupRotatingScan)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--recordings=", 13) == 0) {
      g_recordings = std::atoi(argv[i] + 13);
    } else {
      rest.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  MakeTree();
  Singleton<CArchiveManager>::Instance()->SetArchiverFactory(
      [](zel::ArchiveType, IArchiver::ProgressFunction) { return std::make_unique<NullArchiver>(); });
  FillLog();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Singleton<CArchiveManager>::Instance()->SetArchiverFactory(nullptr);
  std::filesystem::remove_all(g_root);
  return 0;
}
