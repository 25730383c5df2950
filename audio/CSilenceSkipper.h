#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// Shortens the long pauses of a call while it plays: a pause longer than 1.5 s
// (every 20 ms frame below a threshold taken from the call's own noise floor) is
// played as its first and last 0.15 s. The position still sweeps through the whole
// pause during those 0.3 s, so SourceAt never jumps.
class CSilenceSkipper {
 public:
  static constexpr int kFrame = 160;         // 20 ms at 8 kHz
  static constexpr int kLongPause = 12000;   // 1.5 s
  static constexpr int kKeptPause = 2400;    // 0.3 s, half before and half after the cut

  // `threshold`: the RMS level (in sample units) below which a frame is silence.
  explicit CSilenceSkipper(double threshold) : threshold_(threshold) {}

  // The level of silence for a call: a little above the quietest tenth of its
  // frames (its line noise), never below a floor for digitally silent calls.
  static double NoiseThreshold(const int16_t* samples, size_t count);

  // Appends the samples to play for `count` more input samples to `out`.
  void Put(const int16_t* samples, size_t count, std::vector<int16_t>& out);
  // The input has ended: appends what is still held back.
  void Finish(std::vector<int16_t>& out);
  // The input sample (counted from the first one put) shown while output sample
  // `output` plays.
  int64_t SourceAt(int64_t output) const;
  int64_t OutputCount() const { return out_; }

 private:
  void Frame(const int16_t* samples, int count, std::vector<int16_t>& out);
  void Emit(const int16_t* samples, size_t count, int64_t source, std::vector<int16_t>& out);
  void EmitPending(std::vector<int16_t>& out);

  double threshold_;
  std::vector<int16_t> partial_;  // input short of a whole frame
  std::vector<int16_t> pending_;  // pause samples held until it is known how long the pause is
  int64_t pendingSource_ = 0;
  int64_t run_ = 0;               // samples of the current pause
  int64_t pauseOut_ = 0, pauseSource_ = 0;  // where the current pause began
  bool cutting_ = false;
  int64_t in_ = 0, out_ = 0, sourceEnd_ = 0;
  // (output, input) points; the position runs straight between them.
  std::vector<std::pair<int64_t, int64_t>> anchors_;
};
