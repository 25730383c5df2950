// Decoding throughput of the four codings, the time to the first playable second of
// an hour-long GSM recording, and (when sox is installed) the reader against sox
// decoding the same material in the same run.
//
//   decode_bench [benchmark options]      Google Benchmark figures, then the sox table
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "audio/CGsmCodec.h"
#include "audio/G711.h"
#include "audio/ImaAdpcm.h"
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

// --- Against sox -------------------------------------------------------------------

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Best of `runs` wall-clock times of a shell command.
double TimeCommand(const std::string& command, int runs) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    auto begin = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    best = std::min(best, Seconds(begin));
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
  std::printf("\nReader (load, decrypt-free, decode to PCM) against sox (read, decode, write to /dev/null),\n"
              "%d minutes of speech each, best of 3 runs:\n", kRepeat);
  std::printf("%-8s %14s %14s %14s %8s %8s\n", "coding", "ours samp/s", "sox samp/s", "sox-startup", "ratio", "ratio*");
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

    double ours = 1e9;
    int samples = 0;
    for (int run = 0; run < 3; ++run) {
      CKlRecordFile recording;
      auto begin = std::chrono::steady_clock::now();
      if (recording.LoadRecordingAndWait(zelPath, "") != 1) std::abort();
      ours = std::min(ours, Seconds(begin));
      samples = recording.SampleCount();
    }
    std::string soxCommand = "sox -D " + std::string(c.soxType) + " '" + soxPath + "' -t raw -e signed-integer -b 16 -L /dev/null";
    std::string tinyCommand = "sox -D " + std::string(c.soxType) + " '" + tinyPath + "' -t raw -e signed-integer -b 16 -L /dev/null";
    double sox = TimeCommand(soxCommand, 3);
    double startup = TimeCommand(tinyCommand, 3);
    if (sox <= 0) {
      std::printf("%-8s sox failed\n", c.name);
      continue;
    }
    double soxRate = samples / sox;
    double soxNet = samples / std::max(sox - startup, 1e-6);
    double ourRate = samples / ours;
    std::printf("%-8s %14.3g %14.3g %14.3g %7.1fx %7.1fx\n", c.name, ourRate, soxRate, soxNet,
                ourRate / soxRate, ourRate / soxNet);
  }
  std::printf("ratio: ours / sox; ratio*: ours / sox without its start-up time\n");
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
