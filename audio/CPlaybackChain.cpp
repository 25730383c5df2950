#include "audio/CPlaybackChain.h"

#include <algorithm>

CPlaybackChain::CPlaybackChain(const Options& options, double silenceThreshold, double gain)
    : stretch_(options.speed) {
  if (options.skipSilence) skipper_.emplace(silenceThreshold);
  if (options.normalise) limiter_.emplace(gain);
}

void CPlaybackChain::Level(std::vector<int16_t>& block, size_t from) {
  if (limiter_ && block.size() > from) limiter_->Apply(block.data() + from, block.size() - from);
}

void CPlaybackChain::Put(const int16_t* samples, size_t count, std::vector<int16_t>& out) {
  if (finished_ || count == 0) return;
  input_ += static_cast<int64_t>(count);
  stage_.clear();
  if (skipper_) {
    skipper_->Put(samples, count, stage_);
  } else {
    stage_.assign(samples, samples + count);
  }
  Level(stage_, 0);
  const size_t before = out.size();
  stretch_.Put(stage_.data(), stage_.size(), out);
  output_ += static_cast<int64_t>(out.size() - before);
}

void CPlaybackChain::Finish(std::vector<int16_t>& out) {
  if (finished_) return;
  stage_.clear();
  if (skipper_) skipper_->Finish(stage_);
  Level(stage_, 0);
  const size_t before = out.size();
  stretch_.Put(stage_.data(), stage_.size(), out);
  stretch_.Finish(out);
  output_ += static_cast<int64_t>(out.size() - before);
  finished_ = true;
}

int64_t CPlaybackChain::SourceAt(int64_t output) const {
  if (finished_ && output >= output_) return input_;
  const int64_t stretched = stretch_.InputAt(output);
  const int64_t source = skipper_ ? skipper_->SourceAt(stretched) : stretched;
  return std::clamp<int64_t>(source, 0, input_);
}
