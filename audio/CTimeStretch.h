#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

// Plays 8 kHz mono speech faster or slower with its pitch kept (SoundTouch's
// time-domain stretching), and says which input sample an output sample came from,
// so that the player's position stays in the recording's own samples. At tempo 1.0
// the samples pass through untouched.
class CTimeStretch {
 public:
  static constexpr double kMinTempo = 0.5;
  static constexpr double kMaxTempo = 2.0;

  // `tempo` is clamped to [kMinTempo, kMaxTempo]; 2.0 plays twice as fast.
  explicit CTimeStretch(double tempo);
  ~CTimeStretch();
  CTimeStretch(const CTimeStretch&) = delete;
  CTimeStretch& operator=(const CTimeStretch&) = delete;

  double Tempo() const { return tempo_; }
  // Appends the output that `count` more input samples make available to `out`.
  void Put(const int16_t* samples, size_t count, std::vector<int16_t>& out);
  // The input has ended: appends what is still held back.
  void Finish(std::vector<int16_t>& out);
  // The input sample (counted from the first one put) heard at output sample
  // `output`; never past the input put so far.
  int64_t InputAt(int64_t output) const;

  // Speeds as the player offers them: 0.5 to 2.0 in steps of 0.1.
  static double SnapTempo(double tempo);

 private:
  void Drain(std::vector<int16_t>& out);

  double tempo_;
  std::unique_ptr<soundtouch::SoundTouch> touch_;
  std::vector<float> scratch_;
  int64_t input_ = 0;
  int64_t output_ = 0;
  bool finished_ = false;
};
