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

  explicit CLevelLimiter(double gain) : gain_(gain) {}

  double Gain() const { return gain_; }
  void Apply(int16_t* samples, size_t count);
  void Apply(std::vector<int16_t>& samples) { Apply(samples.data(), samples.size()); }

 private:
  double gain_;
  double reduction_ = 1.0;  // the limiter's own factor, at most 1
};
