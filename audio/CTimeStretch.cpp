#include "audio/CTimeStretch.h"

#include <SoundTouch.h>

#include <algorithm>
#include <cmath>

#include "codec/SampleRate.h"

CTimeStretch::CTimeStretch(double tempo) : tempo_(std::clamp(tempo, kMinTempo, kMaxTempo)) {
  if (std::fabs(tempo_ - 1.0) < 1e-6) {
    tempo_ = 1.0;
    return;
  }
  touch_ = std::make_unique<soundtouch::SoundTouch>();
  touch_->setSampleRate(zel::kSamplesPerSecond);
  touch_->setChannels(1);
  touch_->setTempo(tempo_);
  // Shorter sequences than the music defaults suit speech; quick seeking keeps the
  // cost low enough to run beside the decoder on a slow machine.
  touch_->setSetting(SETTING_SEQUENCE_MS, 40);
  touch_->setSetting(SETTING_SEEKWINDOW_MS, 15);
  touch_->setSetting(SETTING_OVERLAP_MS, 8);
  touch_->setSetting(SETTING_USE_QUICKSEEK, 1);
}

CTimeStretch::~CTimeStretch() = default;

double CTimeStretch::SnapTempo(double tempo) {
  if (!std::isfinite(tempo)) return 1.0;
  return std::clamp(std::round(tempo * 10.0) / 10.0, kMinTempo, kMaxTempo);
}

void CTimeStretch::Put(const int16_t* samples, size_t count, std::vector<int16_t>& out) {
  if (count == 0 || finished_) return;
  input_ += static_cast<int64_t>(count);
  if (!touch_) {
    out.insert(out.end(), samples, samples + count);
    return;
  }
  scratch_.resize(count);
  for (size_t i = 0; i < count; ++i) scratch_[i] = static_cast<float>(samples[i]) * (1.0f / 32768.0f);
  touch_->putSamples(scratch_.data(), static_cast<unsigned>(count));
  Drain(out);
}

void CTimeStretch::Finish(std::vector<int16_t>& out) {
  if (finished_) return;
  finished_ = true;
  if (!touch_) return;
  // flush() pads with silence until the last input has come out; trim the padding so
  // the output lasts input / tempo.
  const int64_t wanted = std::llround(static_cast<double>(input_) / tempo_);
  const size_t before = out.size();
  touch_->flush();
  Drain(out);
  const int64_t excess = std::min<int64_t>(output_ - wanted, static_cast<int64_t>(out.size() - before));
  if (excess > 0) {
    out.resize(out.size() - static_cast<size_t>(excess));
    output_ -= excess;
  }
}

void CTimeStretch::Drain(std::vector<int16_t>& out) {
  float buffer[1024];
  unsigned got = 0;
  while ((got = touch_->receiveSamples(buffer, 1024)) > 0) {
    for (unsigned i = 0; i < got; ++i) {
      float v = std::clamp(buffer[i] * 32768.0f, -32768.0f, 32767.0f);
      out.push_back(static_cast<int16_t>(std::lrint(v)));
    }
    output_ += got;
  }
}

int64_t CTimeStretch::InputAt(int64_t output) const {
  if (output <= 0) return 0;
  // SoundTouch keeps the ratio over the whole stream; its short latency (tens of
  // milliseconds) is below what the position shows.
  const int64_t input = static_cast<int64_t>(std::llround(static_cast<double>(output) * tempo_));
  return std::min(input, input_);
}
