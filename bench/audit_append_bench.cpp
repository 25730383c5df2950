// One audit line appended to a trail that already holds N lines (1,000,000 by
// default, all in one file: rotation is set out of reach, so the file really is
// that long). The writer reads only the file's tail, so the cost should not grow
// with N; what remains is the lock, the write and the flush to disk (fsync).
//
//   audit_append_bench [--lines=N] [--dir=FOLDER] [benchmark options]
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/AuditTrail.h"

namespace {

int g_lines = 1000000;
std::string g_path;

void Fill() {
  std::filesystem::remove(g_path);
  zel::AuditTrail trail(g_path, UINT64_MAX);
  std::vector<zel::AuditRecord> batch;
  for (int done = 0; done < g_lines;) {
    batch.clear();
    for (int i = 0; i < 20000 && done < g_lines; ++i, ++done) {
      zel::AuditRecord& record = batch.emplace_back();
      record.action = "play";
      record.path = "/home/office/calls/4711-20261208 " + std::to_string(100000 + done % 900000) + ".zel";
      record.caller = "+1 212 555 0142";
    }
    if (!trail.AppendAll(batch)) std::abort();
  }
}

void BM_AuditAppend(benchmark::State& state) {
  zel::AuditTrail trail(g_path, UINT64_MAX);
  zel::AuditRecord record;
  record.action = "export";
  record.detail = "wav to /tmp/out.wav";
  record.path = "/home/office/calls/4711-20261208 091200.zel";
  for (auto _ : state) {
    if (!trail.Append(record)) state.SkipWithError("append failed");
  }
  state.counters["lines"] = static_cast<double>(g_lines);
}
BENCHMARK(BM_AuditAppend)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  std::string dir = std::filesystem::temp_directory_path().string();
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--lines=", 8) == 0) g_lines = std::atoi(argv[i] + 8);
    else if (std::strncmp(argv[i], "--dir=", 6) == 0) dir = argv[i] + 6;
    else rest.push_back(argv[i]);
  }
  g_path = dir + "/audit_append_bench." + std::to_string(::getpid()) + ".log";
  Fill();
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove(g_path);
  std::filesystem::remove(g_path + ".lock");
  return 0;
}
