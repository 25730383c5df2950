#include "audio/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "audio/CLevelLimiter.h"

namespace zel {

std::optional<double> MeasureLoudness(const int16_t* samples, size_t count) {
  if (count < 3200) return std::nullopt;
  std::unique_ptr<ebur128_state, void (*)(ebur128_state*)> state(
      ebur128_init(1, 8000, EBUR128_MODE_I), [](ebur128_state* s) { ebur128_destroy(&s); });
  if (!state) return std::nullopt;
  // Fed in slices: the library's own buffers stay small on an hour-long call.
  constexpr size_t kSlice = 1 << 16;
  for (size_t i = 0; i < count; i += kSlice) {
    if (ebur128_add_frames_short(state.get(), samples + i, std::min(kSlice, count - i)) != EBUR128_SUCCESS) {
      return std::nullopt;
    }
  }
  double loudness = 0;
  if (ebur128_loudness_global(state.get(), &loudness) != EBUR128_SUCCESS || !std::isfinite(loudness)) {
    return std::nullopt;
  }
  return loudness;
}

double LoudnessGain(std::optional<double> loudness, double target) {
  if (!loudness) return 1.0;
  const double db = std::min(30.0, target - *loudness);
  return std::pow(10.0, db / 20.0);
}

std::optional<double> NormaliseLoudness(std::vector<int16_t>& samples, double target) {
  std::optional<double> loudness = MeasureLoudness(samples.data(), samples.size());
  if (!loudness) return loudness;
  CLevelLimiter limiter(LoudnessGain(loudness, target));
  limiter.Apply(samples);
  return loudness;
}

}  // namespace zel
