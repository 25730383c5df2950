#include "audio/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "audio/CLevelLimiter.h"
#include "codec/SampleRate.h"

namespace zel {

namespace {

using Pieces = std::vector<std::pair<size_t, size_t>>;

// Integrated loudness over the given [first, first + count) pieces of `samples`, as
// if they followed one another. Nothing as well when `stop` asks to stop.
std::optional<double> Measure(const int16_t* samples, const Pieces& pieces, const StopRequest& stop = {}) {
  std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> state(
      ebur128_init(1, kSamplesPerSecond, EBUR128_MODE_I), [](ebur128_state* s) { ebur128_destroy(&s); });
  if (!state) return std::nullopt;
  // Fed in slices: the library's own buffers stay small on an hour-long call, and a
  // stop request is seen within a few milliseconds.
  constexpr size_t kSlice = 1 << 16;
  for (const auto& [first, count] : pieces) {
    for (size_t i = 0; i < count; i += kSlice) {
      if (stop && stop()) return std::nullopt;
      if (ebur128_add_frames_short(state.get(), samples + first + i, std::min(kSlice, count - i)) !=
          EBUR128_SUCCESS) {
        return std::nullopt;
      }
    }
  }
  double loudness = 0;
  if (ebur128_loudness_global(state.get(), &loudness) != EBUR128_SUCCESS || !std::isfinite(loudness)) {
    return std::nullopt;
  }
  return loudness;
}

std::optional<double> Measure(const std::vector<int16_t>& samples, const StopRequest& stop = {}) {
  if (samples.size() < 3200) return std::nullopt;
  return Measure(samples.data(), {{0, samples.size()}}, stop);
}

// The whole call up to ten minutes; beyond, twenty 30 s slices spread evenly over it.
Pieces GainPieces(size_t count) {
  constexpr size_t kWhole = 10 * 60 * kSamplesPerSecond, kPieces = 20, kPiece = 30 * kSamplesPerSecond;
  if (count <= kWhole) return {{0, count}};
  Pieces pieces;
  for (size_t k = 0; k < kPieces; ++k) pieces.emplace_back((count - kPiece) * k / (kPieces - 1), kPiece);
  return pieces;
}

// The gain in dB that brings `original` (measured at `loudness`) to `target` through
// the limiter. The limiter takes some loudness off peaky speech: a few passes over
// the original with the shortfall added to the gain reach the target. `levelled`
// holds the last pass. Nothing when stopped.
std::optional<double> LimitedGainDb(const std::vector<int16_t>& original, double loudness, double target,
                                    std::vector<int16_t>& levelled, const StopRequest& stop) {
  double db = std::min(30.0, target - loudness);
  for (int pass = 0; pass < 4; ++pass) {
    levelled = original;
    CLevelLimiter limiter(std::pow(10.0, db / 20.0));
    limiter.Apply(levelled);
    const std::optional<double> reached = Measure(levelled, stop);
    if (stop && stop()) return std::nullopt;
    if (!reached || std::abs(*reached - target) < 0.3) break;
    db = std::min(30.0, db + (target - *reached));
  }
  return db;
}

}  // namespace

std::optional<double> MeasureLoudness(const int16_t* samples, size_t count) {
  if (count < 3200) return std::nullopt;
  return Measure(samples, {{0, count}});
}

double LoudnessGain(std::optional<double> loudness, double target) {
  if (!loudness) return 1.0;
  const double db = std::min(30.0, target - *loudness);
  return std::pow(10.0, db / 20.0);
}

std::optional<double> EvenLoudnessGain(const int16_t* samples, size_t count, const StopRequest& stop,
                                       const std::function<void(double gain)>& guess, double target) {
  if (count < 3200) return 1.0;
  std::vector<int16_t> original;
  for (const auto& [first, length] : GainPieces(count)) {
    original.insert(original.end(), samples + first, samples + first + length);
  }
  const std::optional<double> loudness = Measure(original, stop);
  if (stop && stop()) return std::nullopt;
  if (!loudness) return 1.0;
  if (guess) guess(LoudnessGain(loudness, target));
  std::vector<int16_t> levelled;
  const std::optional<double> db = LimitedGainDb(original, *loudness, target, levelled, stop);
  if (!db) return std::nullopt;
  return std::pow(10.0, *db / 20.0);
}

std::optional<double> NormaliseLoudness(int16_t* samples, size_t count, double target, const StopRequest& stop) {
  if (count < 3200) return std::nullopt;
  std::optional<double> loudness = Measure(samples, {{0, count}}, stop);
  if (!loudness) return loudness;
  const std::vector<int16_t> original(samples, samples + count);
  std::vector<int16_t> levelled;
  if (!LimitedGainDb(original, *loudness, target, levelled, stop)) return std::nullopt;
  std::copy(levelled.begin(), levelled.end(), samples);
  return loudness;
}

std::optional<double> NormaliseLoudness(std::vector<int16_t>& samples, double target, const StopRequest& stop) {
  return NormaliseLoudness(samples.data(), samples.size(), target, stop);
}

}  // namespace zel
