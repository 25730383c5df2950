#include "audio/CSilenceSkipper.h"

#include <algorithm>
#include <cmath>

namespace {

double FrameRms(const int16_t* samples, int count) {
  double sum = 0;
  for (int i = 0; i < count; ++i) sum += static_cast<double>(samples[i]) * samples[i];
  return count > 0 ? std::sqrt(sum / count) : 0.0;
}

}  // namespace

double CSilenceSkipper::NoiseThreshold(const int16_t* samples, size_t count) {
  std::vector<double> levels;
  levels.reserve(count / kFrame);
  for (size_t i = 0; i + kFrame <= count; i += kFrame) levels.push_back(FrameRms(samples + i, kFrame));
  // -54 dBFS: digital silence and dithering stay below it, speech never does.
  constexpr double kFloor = 64.0;
  if (levels.empty()) return kFloor;
  auto tenth = levels.begin() + static_cast<std::ptrdiff_t>(levels.size() / 10);
  std::nth_element(levels.begin(), tenth, levels.end());
  // 12 dB above the line noise: its own swings stay below, a quiet voice rises above.
  return std::max(kFloor, *tenth * 4.0);
}

void CSilenceSkipper::Put(const int16_t* samples, size_t count, std::vector<int16_t>& out) {
  size_t i = 0;
  if (!partial_.empty()) {
    size_t take = std::min(count, static_cast<size_t>(kFrame) - partial_.size());
    partial_.insert(partial_.end(), samples, samples + take);
    i = take;
    if (partial_.size() < static_cast<size_t>(kFrame)) return;
    std::vector<int16_t> frame;
    frame.swap(partial_);
    Frame(frame.data(), kFrame, out);
  }
  for (; i + kFrame <= count; i += kFrame) Frame(samples + i, kFrame, out);
  partial_.insert(partial_.end(), samples + i, samples + count);
}

void CSilenceSkipper::Finish(std::vector<int16_t>& out) {
  if (!partial_.empty()) {
    std::vector<int16_t> frame;
    frame.swap(partial_);
    Frame(frame.data(), static_cast<int>(frame.size()), out);
  }
  EmitPending(out);
}

void CSilenceSkipper::Frame(const int16_t* samples, int count, std::vector<int16_t>& out) {
  const int64_t source = in_;
  in_ += count;
  if (FrameRms(samples, count) >= threshold_) {
    EmitPending(out);
    Emit(samples, static_cast<size_t>(count), source, out);
    return;
  }
  if (run_ == 0) {
    pauseOut_ = out_;
    pauseSource_ = source;
  }
  run_ += count;
  if (run_ <= kKeptPause / 2 && pending_.empty()) {
    Emit(samples, static_cast<size_t>(count), source, out);
    return;
  }
  if (pending_.empty()) pendingSource_ = source;
  pending_.insert(pending_.end(), samples, samples + count);
  if (run_ > kLongPause) cutting_ = true;
  if (cutting_ && pending_.size() > static_cast<size_t>(kKeptPause / 2)) {
    const size_t drop = pending_.size() - kKeptPause / 2;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(drop));
    pendingSource_ += static_cast<int64_t>(drop);
  }
}

void CSilenceSkipper::EmitPending(std::vector<int16_t>& out) {
  if (cutting_) {
    // The kept 0.3 s stand for the whole pause: one straight line from its start to
    // its end instead of the two pieces either side of the cut.
    while (!anchors_.empty() && anchors_.back().first > pauseOut_) anchors_.pop_back();
    if (anchors_.empty() || anchors_.back() != std::make_pair(pauseOut_, pauseSource_)) {
      anchors_.emplace_back(pauseOut_, pauseSource_);
    }
    out.insert(out.end(), pending_.begin(), pending_.end());
    out_ += static_cast<int64_t>(pending_.size());
    sourceEnd_ = pendingSource_ + static_cast<int64_t>(pending_.size());
    anchors_.emplace_back(out_, sourceEnd_);
  } else if (!pending_.empty()) {
    Emit(pending_.data(), pending_.size(), pendingSource_, out);
  }
  pending_.clear();
  run_ = 0;
  cutting_ = false;
}

void CSilenceSkipper::Emit(const int16_t* samples, size_t count, int64_t source,
                           std::vector<int16_t>& out) {
  if (count == 0) return;
  if (anchors_.empty() || source != sourceEnd_) anchors_.emplace_back(out_, source);
  out.insert(out.end(), samples, samples + count);
  out_ += static_cast<int64_t>(count);
  sourceEnd_ = source + static_cast<int64_t>(count);
  // A straight continuation moves the last point instead of adding one.
  const size_t n = anchors_.size();
  if (n >= 2 && anchors_[n - 1].first - anchors_[n - 2].first == anchors_[n - 1].second - anchors_[n - 2].second &&
      anchors_[n - 1].second == source) {
    anchors_.back() = {out_, sourceEnd_};
  } else {
    anchors_.emplace_back(out_, sourceEnd_);
  }
}

int64_t CSilenceSkipper::SourceAt(int64_t output) const {
  if (anchors_.empty() || output <= anchors_.front().first) return anchors_.empty() ? 0 : anchors_.front().second;
  if (output >= anchors_.back().first) return anchors_.back().second;
  auto next = std::upper_bound(anchors_.begin(), anchors_.end(), output,
                               [](int64_t value, const auto& a) { return value < a.first; });
  auto previous = next - 1;
  const int64_t span = next->first - previous->first;
  if (span <= 0) return next->second;
  return previous->second + (next->second - previous->second) * (output - previous->first) / span;
}
