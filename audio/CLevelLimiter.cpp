#include "audio/CLevelLimiter.h"

#include <algorithm>
#include <cmath>

void CLevelLimiter::SetGain(double gain) {
  target_ = gain;
  step_ = (target_ - gain_) / 400.0;
}

void CLevelLimiter::Apply(int16_t* samples, size_t count) {
  // Recovery by a factor per sample that closes 63 % of the gap in 100 ms at 8 kHz.
  constexpr double kRelease = 1.0 / 800.0;
  for (size_t i = 0; i < count; ++i) {
    if (step_ != 0) {
      gain_ += step_;
      if ((step_ > 0) == (gain_ >= target_)) {
        gain_ = target_;
        step_ = 0;
      }
    }
    const double wanted = samples[i] * gain_;
    reduction_ += (1.0 - reduction_) * kRelease;
    const double level = std::fabs(wanted) * reduction_;
    if (level > kCeiling) reduction_ = kCeiling / std::fabs(wanted);
    const double value = std::clamp(wanted * reduction_, -kCeiling, kCeiling);
    samples[i] = static_cast<int16_t>(std::lrint(value));
  }
}
