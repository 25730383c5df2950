// Cost of the player's sample chain on 8 kHz mono speech, per second of recording:
// time-stretching at 2x (and 0.5x), pause skipping and even loudness, against
// passing the samples through at 1x. The counter "core_share" is the share of one
// core that playing in real time takes: CPU time per second of sound heard.
#include <benchmark/benchmark.h>

#include <vector>

#include "audio/CPlaybackChain.h"
#include "recording/CRecordingWriter.h"

namespace {

const std::vector<int16_t>& Speech() {
  static const std::vector<int16_t> pcm = CRecordingWriter::SynthesizeVoice(60u * 8000u, 4);
  return pcm;
}

void RunChain(benchmark::State& state, CPlaybackChain::Options options) {
  const std::vector<int16_t>& pcm = Speech();
  std::vector<int16_t> out;
  for (auto _ : state) {
    CPlaybackChain chain(options, 90.0, 1.5);
    out.clear();
    for (size_t i = 0; i < pcm.size(); i += 8000) chain.Put(pcm.data() + i, 8000, out);
    chain.Finish(out);
    benchmark::DoNotOptimize(out.data());
  }
  // Playing 60 s of recording at speed s takes 60 / s seconds of listening.
  const double heard = 60.0 / options.speed;
  state.counters["core_share"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * heard,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Passthrough1x(benchmark::State& s) { RunChain(s, {1.0, false, false}); }
void BM_Stretch2x(benchmark::State& s) { RunChain(s, {2.0, false, false}); }
void BM_Stretch05x(benchmark::State& s) { RunChain(s, {0.5, false, false}); }
void BM_AllAt2x(benchmark::State& s) { RunChain(s, {2.0, true, true}); }

}  // namespace

BENCHMARK(BM_Passthrough1x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stretch2x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stretch05x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllAt2x)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
