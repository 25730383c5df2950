#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Applies a fixed gain and keeps the result below a ceiling: a peak limiter whose
// gain drops at once where a sample would pass the ceiling and recovers over about
// 100 ms, so that raising a quiet call never clips. Streams: the state carries over
// from one Apply to the next.
class CLevelLimiter {
 public:
  static constexpr double kCeiling = 29204.0;  // -1 dBFS

  explicit CLevelLimiter(double gain) : gain_(gain), target_(gain) {}

  double Gain() const { return target_; }
  // Moves to another gain over the next 50 ms, so that the change makes no click.
  void SetGain(double gain);
  void Apply(int16_t* samples, size_t count);
  void Apply(std::vector<int16_t>& samples) { Apply(samples.data(), samples.size()); }

 private:
  double gain_;
  double target_;
  double step_ = 0;  // per sample, while gain_ moves to target_
  double reduction_ = 1.0;  // the limiter's own factor, at most 1
};
