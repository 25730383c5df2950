#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "audio/CLevelLimiter.h"
#include "audio/CSilenceSkipper.h"
#include "audio/CTimeStretch.h"

// What the player does to a recording's samples on their way to the sound device:
// skipping long pauses, bringing the level to even loudness, and playing at another
// speed, in that order. One chain serves one run of playback from one start sample;
// SourceAt maps the output played back to the recording's own samples.
class CPlaybackChain {
 public:
  struct Options {
    double speed = 1.0;
    bool skipSilence = false;
    bool normalise = false;
    bool Active() const { return speed != 1.0 || skipSilence || normalise; }
  };

  // `silenceThreshold` is used when skipping; `gain` when normalising.
  CPlaybackChain(const Options& options, double silenceThreshold, double gain);

  // The normalising gain, when it is found after playback has started.
  void SetGain(double gain) {
    if (limiter_) limiter_->SetGain(gain);
  }
  // Appends the output for `count` more recording samples to `out`.
  void Put(const int16_t* samples, size_t count, std::vector<int16_t>& out);
  // The recording has ended: appends what is still held back. Put does nothing after.
  void Finish(std::vector<int16_t>& out);
  bool Finished() const { return finished_; }
  // Recording samples, counted from the run's start, behind output sample `output`.
  // Once finished, the end of the output is the end of the input.
  int64_t SourceAt(int64_t output) const;

 private:
  void Level(std::vector<int16_t>& block, size_t from);

  std::optional<CSilenceSkipper> skipper_;
  std::optional<CLevelLimiter> limiter_;
  CTimeStretch stretch_;
  std::vector<int16_t> stage_;
  int64_t input_ = 0, output_ = 0;
  bool finished_ = false;
};
