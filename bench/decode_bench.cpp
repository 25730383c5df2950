// Decoding throughput of the four codings, the time to the first playable second of
// an hour-long GSM recording, and (when sox is installed) the reader against sox
// decoding the same material in the same run.
//
//   decode_bench [benchmark options]      Google Benchmark figures, then the sox table
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "codec/CGsmCodec.h"
#include "codec/G711.h"
#include "codec/ImaAdpcm.h"
#include "core/AtomicFile.h"
#include "recording/CKlRecordFile.h"
#include "recording/CRecordingWriter.h"

namespace {

constexpr int kSeconds = 60;
constexpr size_t kSamples = kSeconds * 8000;

const std::vector<int16_t>& Voice() {
  static const std::vector<int16_t> voice = CRecordingWriter::SynthesizeVoice(kSamples, 42);
  return voice;
}

const std::vector<uint8_t>& Coded(int32_t tag) {
  static std::vector<uint8_t> coded[4];
  int slot = tag == 6 ? 0 : tag == 7 ? 1 : tag == 17 ? 2 : 3;
  if (coded[slot].empty()) coded[slot] = CRecordingWriter::EncodeAudio(tag, Voice().data(), kSamples);
  return coded[slot];
}

void BM_DecodeALaw(benchmark::State& state) {
  const std::vector<uint8_t>& coded = Coded(6);
  std::vector<int16_t> out(coded.size());
  for (auto _ : state) {
    zel::DecodeG711(zel::kALawTable.data(), coded.data(), coded.size(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_DecodeALaw);

void BM_DecodeMuLaw(benchmark::State& state) {
  const std::vector<uint8_t>& coded = Coded(7);
  std::vector<int16_t> out(coded.size());
  for (auto _ : state) {
    zel::DecodeG711(zel::kMuLawTable.data(), coded.data(), coded.size(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_DecodeMuLaw);

void BM_DecodeIma(benchmark::State& state) {
  const std::vector<uint8_t>& coded = Coded(17);
  size_t blocks = coded.size() / zel::kImaBlockBytes;
  std::vector<int16_t> out(blocks * zel::kImaBlockSamples);
  for (auto _ : state) {
    for (size_t b = 0; b < blocks; ++b) {
      zel::DecodeImaBlock(coded.data() + b * zel::kImaBlockBytes, out.data() + b * zel::kImaBlockSamples);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_DecodeIma);

void BM_DecodeGsm(benchmark::State& state) {
  const std::vector<uint8_t>& coded = Coded(49);
  size_t frames = coded.size() / CGsmCodec::kFrameBytes;
  std::vector<int16_t> out(frames * CGsmCodec::kFrameSamples);
  for (auto _ : state) {
    CGsmCodec codec;
    for (size_t f = 0; f < frames; ++f) {
      codec.DecodeFrame(coded.data() + f * CGsmCodec::kFrameBytes, out.data() + f * CGsmCodec::kFrameSamples);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_DecodeGsm);

std::string TempFolder() {
  static std::string folder;
  if (folder.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    folder = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zelbench-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) std::abort();
  }
  return folder;
}

// A one-hour GSM recording (one minute of speech repeated).
const std::string& HourRecording() {
  static std::string path;
  if (path.empty()) {
    path = TempFolder() + "/4711-20261207 101500.zel";
    const std::vector<uint8_t>& minute = Coded(49);
    std::vector<uint8_t> audio;
    for (int i = 0; i < 60; ++i) audio.insert(audio.end(), minute.begin(), minute.end());
    RecordingDescription d;
    d.formatTag = 49;
    std::vector<uint8_t> bytes = CRecordingWriter::FileBytes(d, audio, 3600 * 8000);
    if (!zel::WriteFileAtomically(path, std::string(bytes.begin(), bytes.end()))) std::abort();
  }
  return path;
}

// From LoadRecording returning to the first 8000 samples being decoded.
void BM_FirstSecondOfGsmHour(benchmark::State& state) {
  const std::string& path = HourRecording();
  CKlRecordFile file;
  for (auto _ : state) {
    if (file.LoadRecording(path, "") != 1) std::abort();
    auto begin = std::chrono::steady_clock::now();
    while (file.DecodedCount() < 8000) std::this_thread::yield();
    auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    file.CloseRecording();
  }
}
BENCHMARK(BM_FirstSecondOfGsmHour)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// LoadRecording itself for the hour: reading 5.9 MB and setting up the buffers.
void BM_LoadGsmHour(benchmark::State& state) {
  const std::string& path = HourRecording();
  CKlRecordFile file;
  for (auto _ : state) {
    auto begin = std::chrono::steady_clock::now();
    if (file.LoadRecording(path, "") != 1) std::abort();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    file.CloseRecording();
  }
}
BENCHMARK(BM_LoadGsmHour)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// --- Against sox -------------------------------------------------------------------

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double CpuSeconds(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timing {
  double wall = 1e9;  // best wall-clock seconds
  double cpu = 1e9;   // best CPU seconds (user + system), unaffected by other load
};

// Best of `runs` times of a shell command (its CPU time is that of the children).
Timing TimeCommand(const std::string& command, int runs) {
  Timing best;
  for (int i = 0; i < runs; ++i) {
    double cpu = CpuSeconds(RUSAGE_CHILDREN);
    auto begin = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return Timing{-1, -1};
    best.wall = std::min(best.wall, Seconds(begin));
    best.cpu = std::min(best.cpu, CpuSeconds(RUSAGE_CHILDREN) - cpu);
  }
  return best;
}

void PutLe(std::string& s, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string ImaWave(const std::vector<uint8_t>& blocks) {
  std::string fmt;
  for (auto [v, n] : {std::pair{0x11u, 2}, {1u, 2}, {8000u, 4}, {4055u, 4}, {256u, 2}, {4u, 2}, {2u, 2}, {505u, 2}}) {
    PutLe(fmt, v, n);
  }
  std::string body = "WAVEfmt ";
  PutLe(body, static_cast<uint32_t>(fmt.size()), 4);
  body += fmt + "fact";
  PutLe(body, 4, 4);
  PutLe(body, static_cast<uint32_t>(blocks.size() / 256 * 505), 4);
  body += "data";
  PutLe(body, static_cast<uint32_t>(blocks.size()), 4);
  body.append(blocks.begin(), blocks.end());
  std::string wave = "RIFF";
  PutLe(wave, static_cast<uint32_t>(body.size()), 4);
  return wave + body;
}

void CompareWithSox() {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) {
    std::printf("\nsox is not installed: no comparison\n");
    return;
  }
  // Ten minutes of each coding: sox's start-up is then a small share, and it is
  // measured on its own and taken off as well.
  constexpr int kRepeat = 10;
  std::string folder = TempFolder();
  std::printf("\nReader (LoadRecordingAndWait: read the file, decode to PCM) against sox (read,\n"
              "decode, write to /dev/null), %d minutes of speech in each coding, best of 3 runs:\n", kRepeat);
  std::printf("%-7s %12s %12s %7s | %12s %12s %12s %7s\n", "coding", "ours wall", "sox wall",
              "ratio", "ours CPU", "sox CPU", "sox CPU net", "ratio*");
  struct Coding {
    const char* name;
    int32_t tag;
    const char* soxType;
    const char* soxFile;
  } codings[] = {{"A-law", 6, "-t al -r 8000 -c 1", "m.al"},
                 {"mu-law", 7, "-t ul -r 8000 -c 1", "m.ul"},
                 {"IMA", 17, "", "m.wav"},
                 {"GSM", 49, "-t gsm -r 8000 -c 1", "m.gsm"}};
  for (const Coding& c : codings) {
    std::vector<uint8_t> audio;
    for (int i = 0; i < kRepeat; ++i) audio.insert(audio.end(), Coded(c.tag).begin(), Coded(c.tag).end());
    std::string soxPath = folder + "/" + c.soxFile;
    std::string tinyPath = folder + "/tiny-" + c.soxFile;
    size_t unit = c.tag == 17 ? 256 : c.tag == 49 ? 33 : 1;
    std::vector<uint8_t> tiny(Coded(c.tag).begin(), Coded(c.tag).begin() + static_cast<ptrdiff_t>(unit * 10));
    zel::WriteFileAtomically(soxPath, c.tag == 17 ? ImaWave(audio) : std::string(audio.begin(), audio.end()));
    zel::WriteFileAtomically(tinyPath, c.tag == 17 ? ImaWave(tiny) : std::string(tiny.begin(), tiny.end()));
    RecordingDescription d;
    d.formatTag = c.tag;
    std::vector<uint8_t> file = CRecordingWriter::FileBytes(d, audio, 0);
    std::string zelPath = folder + "/m.zel";
    zel::WriteFileAtomically(zelPath, std::string(file.begin(), file.end()));

    Timing ours;
    int samples = 0;
    for (int run = 0; run < 3; ++run) {
      CKlRecordFile recording;
      double cpu = CpuSeconds(RUSAGE_SELF);
      auto begin = std::chrono::steady_clock::now();
      if (recording.LoadRecordingAndWait(zelPath, "") != 1) std::abort();
      ours.wall = std::min(ours.wall, Seconds(begin));
      ours.cpu = std::min(ours.cpu, CpuSeconds(RUSAGE_SELF) - cpu);
      samples = recording.SampleCount();
    }
    std::string soxCommand = "sox -D " + std::string(c.soxType) + " '" + soxPath + "' -t raw -e signed-integer -b 16 -L /dev/null";
    std::string tinyCommand = "sox -D " + std::string(c.soxType) + " '" + tinyPath + "' -t raw -e signed-integer -b 16 -L /dev/null";
    Timing sox = TimeCommand(soxCommand, 3);
    Timing startup = TimeCommand(tinyCommand, 3);
    if (sox.wall <= 0) {
      std::printf("%-7s sox failed\n", c.name);
      continue;
    }
    // Samples per second; CPU figures below 10 ms are at the clock's resolution.
    auto rate = [&](double seconds) { return samples / std::max(seconds, 1e-3); };
    std::printf("%-7s %12.3g %12.3g %6.1fx | %12.3g %12.3g %12.3g %6.1fx\n", c.name, rate(ours.wall),
                rate(sox.wall), rate(ours.wall) / rate(sox.wall), rate(ours.cpu), rate(sox.cpu),
                rate(sox.cpu - startup.cpu), rate(ours.cpu) / rate(sox.cpu - startup.cpu));
  }
  std::printf("figures in samples per second; ratio: ours / sox by wall-clock time; ratio*: ours / sox\n"
              "by CPU time with sox's start-up (a run on ten frames) taken off\n");
}
}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  CompareWithSox();
  std::string cleanup = "rm -rf '" + TempFolder() + "'";
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
