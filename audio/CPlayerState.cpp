#include "audio/CPlayerState.h"

#include <cstdint>

#include "audio/CPlaybackManager.h"
#include "codec/SampleRate.h"
#include "recording/CKlRecordFileHdr.h"

std::string CPlayerState::DurationText() const {
  if (!manager_.IsLoaded()) return {};
  const CKlRecordFile& recording = manager_.Recording();
  uint32_t seconds = recording.Header().Duration();
  if (seconds == 0) seconds = static_cast<uint32_t>(recording.SampleCount() / zel::kSamplesPerSecond);
  return CKlRecordFileHdr::FormatHms(seconds);
}

std::string CPlayerState::PositionText() const {
  return CKlRecordFileHdr::FormatHms(static_cast<uint32_t>(manager_.Position() / zel::kSamplesPerSecond));
}

bool CPlayerState::Tick() {
  if (!manager_.IsLoaded()) {
    lastPosition_.clear();
    return false;
  }
  lastPosition_ = PositionText();
  if (!manager_.IsPlaying() || lastPosition_ != DurationText()) return false;
  manager_.PlayStop(false, true);
  return true;
}

void CPlayerState::Step(int samples) {
  if (!manager_.IsLoaded()) return;
  const bool wasPlaying = manager_.IsPlaying() && !manager_.IsPaused();
  if (wasPlaying) manager_.TogglePause();
  const int64_t target = static_cast<int64_t>(manager_.Position()) + samples;
  if (target < 0 || target > manager_.Recording().SampleCount()) {
    manager_.PlayStop(false, true);
    return;
  }
  manager_.Seek(static_cast<int>(target));
  if (wasPlaying) manager_.TogglePause();
}
