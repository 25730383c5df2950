#include "audio/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "audio/CLevelLimiter.h"

namespace zel {

namespace {

// Integrated loudness over the given [first, first + count) pieces of `samples`, as
// if they followed one another.
std::optional<double> Measure(const int16_t* samples, const std::vector<std::pair<size_t, size_t>>& pieces) {
  std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> state(
      ebur128_init(1, 8000, EBUR128_MODE_I), [](ebur128_state* s) { ebur128_destroy(&s); });
  if (!state) return std::nullopt;
  // Fed in slices: the library's own buffers stay small on an hour-long call.
  constexpr size_t kSlice = 1 << 16;
  for (const auto& [first, count] : pieces) {
    for (size_t i = 0; i < count; i += kSlice) {
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

}  // namespace

std::optional<double> MeasureLoudness(const int16_t* samples, size_t count) {
  if (count < 3200) return std::nullopt;
  return Measure(samples, {{0, count}});
}

std::optional<double> EstimateLoudness(const int16_t* samples, size_t count) {
  constexpr size_t kWhole = 10 * 60 * 8000, kPieces = 20, kPiece = 30 * 8000;
  if (count <= kWhole) return MeasureLoudness(samples, count);
  std::vector<std::pair<size_t, size_t>> pieces;
  for (size_t k = 0; k < kPieces; ++k) pieces.emplace_back((count - kPiece) * k / (kPieces - 1), kPiece);
  return Measure(samples, pieces);
}

double LoudnessGain(std::optional<double> loudness, double target) {
  if (!loudness) return 1.0;
  const double db = std::min(30.0, target - *loudness);
  return std::pow(10.0, db / 20.0);
}

std::optional<double> NormaliseLoudness(std::vector<int16_t>& samples, double target) {
  std::optional<double> loudness = MeasureLoudness(samples.data(), samples.size());
  if (!loudness) return loudness;
  // The limiter takes some loudness off peaky speech: a few passes over the
  // original with the shortfall added to the gain bring it to the target.
  const std::vector<int16_t> original = samples;
  double db = std::min(30.0, target - *loudness);
  for (int pass = 0; pass < 4; ++pass) {
    samples = original;
    CLevelLimiter limiter(std::pow(10.0, db / 20.0));
    limiter.Apply(samples);
    const std::optional<double> reached = MeasureLoudness(samples.data(), samples.size());
    if (!reached || std::abs(*reached - target) < 0.3) break;
    db = std::min(30.0, db + (target - *reached));
  }
  return loudness;
}

}  // namespace zel
