// GSM 6.10 WAV export of a one-hour recording, against sox converting the same
// samples (PCM WAV in, GSM WAV out) in the same run. Prints both times and the ratio.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/WavExport.h"
#include "recording/CKlRecordFile.h"
#include "recording/CRecordingWriter.h"

namespace {

constexpr size_t kOneHour = 3600u * 8000u;

struct Fixture {
  std::string dir;
  std::string zel, pcmWav;
  CKlRecordFile file;
  double ourBest = 1e9, soxBest = 1e9;        // wall seconds
  double ourCpuBest = 1e9, soxCpuBest = 1e9;  // user + system seconds
  bool soxOk = true;

  Fixture() {
    char pattern[] = "/tmp/zelbench-XXXXXX";
    dir = ::mkdtemp(pattern);
    std::vector<int16_t> pcm = CRecordingWriter::SynthesizeVoice(kOneHour, 1);
    RecordingDescription d;
    d.formatTag = 49;
    d.callerId = "bench";
    zel = dir + "/hour.zel";
    CRecordingWriter::Write(zel, d, pcm.data(), pcm.size());
    file.LoadRecordingAndWait(zel, "");
    // sox converts the very samples the export converts.
    const int16_t* samples = nullptr;
    int n = file.GetSamples(0, file.SampleCount(), &samples);
    pcmWav = dir + "/hour-pcm.wav";
    zel::WriteWavSamples(pcmWav, samples, static_cast<size_t>(n), true);
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

double CpuSeconds(int who) {
  struct rusage usage {};
  ::getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ZelGsmWavExport(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) {
    double cpu = CpuSeconds(RUSAGE_SELF);
    auto start = std::chrono::steady_clock::now();
    bool ok = zel::WriteWav(f.dir + "/ours.wav", f.file, false);
    double s = Seconds(start);
    f.ourCpuBest = std::min(f.ourCpuBest, CpuSeconds(RUSAGE_SELF) - cpu);
    if (!ok) state.SkipWithError("export failed");
    f.ourBest = std::min(f.ourBest, s);
    state.SetIterationTime(s);
  }
  state.counters["MB_out"] = static_cast<double>(std::filesystem::file_size(f.dir + "/ours.wav")) / 1e6;
}

void BM_SoxGsmWav(benchmark::State& state) {
  Fixture& f = Shared();
  std::string command =
      "sox " + f.pcmWav + " -t wav -e gsm-full-rate " + f.dir + "/sox.wav 2>/dev/null";
  for (auto _ : state) {
    double cpu = CpuSeconds(RUSAGE_CHILDREN);
    auto start = std::chrono::steady_clock::now();
    int rc = std::system(command.c_str());
    double s = Seconds(start);
    f.soxCpuBest = std::min(f.soxCpuBest, CpuSeconds(RUSAGE_CHILDREN) - cpu);
    if (rc != 0) {
      f.soxOk = false;
      state.SkipWithError("sox failed or is missing");
      break;
    }
    f.soxBest = std::min(f.soxBest, s);
    state.SetIterationTime(s);
  }
}

BENCHMARK(BM_ZelGsmWavExport)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoxGsmWav)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Fixture& f = Shared();
  if (f.soxOk && f.ourBest < 1e9 && f.soxBest < 1e9) {
    std::printf("one-hour GSM WAV export, best of 3: ours %.3f s wall / %.3f s CPU, "
                "sox %.3f s wall / %.3f s CPU; ratio ours/sox %.2f wall, %.2f CPU\n",
                f.ourBest, f.ourCpuBest, f.soxBest, f.soxCpuBest, f.ourBest / f.soxBest,
                f.ourCpuBest / f.soxCpuBest);
  }
  return 0;
}
