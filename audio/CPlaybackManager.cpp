#include "audio/CPlaybackManager.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "codec/SampleRate.h"
#include "core/AuditTrail.h"
#include "core/CKlLogger.h"
#include "core/CSettings.h"
#include "core/MessageSink.h"
#include "recording/CKlRecordFileHdr.h"

namespace {

bool HeaderOnly(const std::string& path, const std::string& passphrase) {
  CKlRecordFileHdr header;
  const int headerBytes = header.LoadHeader(path, passphrase);
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return headerBytes > 0 && !error && size == static_cast<uintmax_t>(headerBytes);
}

}  // namespace

CPlaybackManager::CPlaybackManager() = default;

CPlaybackManager::~CPlaybackManager() { Close(); }

void CPlaybackManager::SetWaveOutFactory(WaveOutFactory factory) { factory_ = std::move(factory); }

void CPlaybackManager::SetFrameWindow(IWaveNotifyTarget* window) { frameWindow_ = window; }

bool CPlaybackManager::Load(const std::string& path) {
  if (path.empty()) {
    Close();
    return true;
  }
  return Load(path, Singleton<CSettings>::Instance()->GetPassphrase());
}

bool CPlaybackManager::Load(const std::string& path, const std::string& passphrase) {
  if (path.empty()) {
    Close();
    return true;
  }
  // The device plays straight from the recording's samples: it must let go of them
  // before another recording replaces them.
  Stop();
  loudness_.Cancel();
  loaded_ = static_cast<uint32_t>(recording_.LoadRecording(path, passphrase));
  audioArchived_ = loaded_ == 0 && HeaderOnly(path, passphrase);
  if (loaded_ != 0) WaitForFirstBuffers();
  silenceThreshold_.reset();
  playAudited_ = false;
  if (loaded_ != 0) {
    queuePos_ = 0;
    startPos_ = 0;
    StartLoudness();
    if (AuditAccess && recording_.Header().IsEncrypted()) zel::AuditTrail::Record("decrypt", path, "passphrase");
  } else {
    Close();
  }
  return loaded_ != 0;
}

void CPlaybackManager::WaitForFirstBuffers() {
  // IMA and GSM recordings decode in the background, many times faster than they
  // play. Waiting for the first queue's worth means the buffers Play hands to the
  // device hold decoded samples; CanPlay still asks for its larger lead. Bounded
  // like LoadRecordingAndWait's wait.
  recording_.WaitForDecodedCount(kBuffersInFlight * kBufferSamples, 100000);
}

bool CPlaybackManager::FinishDecoding() {
  recording_.WaitForDecoding(100000);
  return recording_.IsReady();
}

void CPlaybackManager::Close() {
  Stop();
  loudness_.Cancel();
  queuePos_ = 0;
  startPos_ = 0;
  paused_ = 0;
  recording_.SaveIfDirty();
  loaded_ = 0;
}

bool CPlaybackManager::OpenDevice() {
  if (device_) return true;
  std::unique_ptr<IWaveOut> device = factory_ ? factory_() : nullptr;
  int result = device ? device->Open(WaveFormat{}, frameWindow_) : zel::kWaveNoDriver;
  if (result == zel::kWaveOk) {
    device_ = std::move(device);
    return true;
  }
  if (result == zel::kWaveAllocated) {
    zel::ShowMessage("ERROR! Unable to open audio playback device\n\nPlayback device already in use",
                     IMessageSink::Icon::Error);
  } else if (result == zel::kWaveNoDriver) {
    zel::ShowMessage("ERROR! Unable to open audio playback device\n\nNo playback device available",
                     IMessageSink::Icon::Error);
  } else {
    char text[128];
    std::snprintf(text, sizeof text,
                  "ERROR! There was an error opening your audio device.\n\nError Code = %d", result);
    zel::ShowMessage(text, IMessageSink::Icon::Error);
  }
  return false;
}

void CPlaybackManager::Play() {
  if (!OpenDevice()) {
    // Nothing was started: PlayStop must not leave the player looking busy.
    playing_ = 0;
    return;
  }
  {
    ZEL_LOCK(queueLock_);
    if (queuedCount_ != 0) return;
  }
  playing_ = 1;
  if (AuditAccess && !playAudited_) {
    playAudited_ = true;
    // The caller id of an encrypted call stays out of the trail.
    const auto& header = recording_.Header();
    zel::AuditTrail::Record("play", recording_.Path(), "", header.IsEncrypted() ? "" : header.CallerIdUtf8());
  }
  StartChain();
  int n = static_cast<int>(recording_.Header().Duration()) - Position() / zel::kSamplesPerSecond;
  if (n <= 0) n = 1;  // a position past a short Duration still plays what is left
  int queued = 0;
  for (int i = 0; i < kBuffersInFlight && i < n; ++i) {
    int got = QueueBuffer();
    if (got == 0) break;
    queued += got;
  }
  if (queued == 0) Stop();
}

void CPlaybackManager::StartChain() {
  chain_.reset();
  if (!options_.Active()) return;
  const int16_t* all = nullptr;
  const size_t decoded = static_cast<size_t>(recording_.GetSamples(0, recording_.DecodedCount(), &all));
  if (options_.skipSilence && !silenceThreshold_) {
    silenceThreshold_ = CSilenceSkipper::NoiseThreshold(all, decoded);
  }
  std::optional<double> gain;
  if (options_.normalise) {
    StartLoudness();
    // The gain is usually found between loading and playing. When it is not (a call
    // played at once, or one still decoding), playback starts with the first guess,
    // or at the call's own level, and moves to the gain once it is found.
    gain = loudness_.WaitForGain(kLoudnessWaitMs);
  }
  gainPending_ = options_.normalise && !(gain && loudness_.Final());
  chain_ = std::make_unique<CPlaybackChain>(options_, silenceThreshold_.value_or(0), gain.value_or(1.0));
  chainStart_ = queuePos_;
}

void CPlaybackManager::StartLoudness() {
  if (options_.normalise && loaded_ != 0 && !loudness_.Started()) loudness_.Start(recording_);
}

void CPlaybackManager::SetPlaybackOptions(const CPlaybackChain::Options& options) {
  CPlaybackChain::Options snapped = options;
  snapped.speed = CTimeStretch::SnapTempo(options.speed);
  const bool running = playing_ && !paused_;
  int position = Position();
  if (running) Stop();
  options_ = snapped;
  StartLoudness();
  if (running) {
    queuePos_ = position;
    startPos_ = position;
    playing_ = 1;
    Play();
  }
}

int CPlaybackManager::QueueBuffer() {
  auto buffer = std::make_unique<QueuedBuffer>();
  int n = 0;
  if (chain_) {
    if (gainPending_) {
      const bool final = loudness_.Final();
      if (const std::optional<double> gain = loudness_.Gain()) chain_->SetGain(*gain);
      gainPending_ = !final;
    }
    std::vector<int16_t> out;
    while (out.size() < static_cast<size_t>(kBufferSamples) && !chain_->Finished()) {
      const int16_t* samples = nullptr;
      int got = recording_.GetSamples(queuePos_, kBufferSamples, &samples);
      if (got <= 0) {
        chain_->Finish(out);
        break;
      }
      chain_->Put(samples, static_cast<size_t>(got), out);
      queuePos_ += got;
    }
    if (out.empty()) return 0;
    n = static_cast<int>(out.size());
    buffer->samples = std::move(out);
    buffer->header.data = buffer->samples.data();
  } else {
    const int16_t* samples = nullptr;
    n = recording_.GetSamples(queuePos_, kBufferSamples, &samples);
    if (n <= 0) return 0;
    buffer->header.data = samples;
    queuePos_ += n;
  }
  ZEL_LOCK(queueLock_);
  WaveHeader* header = &buffer->header;
  header->bufferLength = static_cast<uint32_t>(2 * n);
  header->user = static_cast<uintptr_t>(queuedCount_);
  header->flags = 0;
  queue_.push_back(std::move(buffer));
  if (device_) {
    // The header at index queuedCount_ is the one just appended unless an earlier
    // one failed and stayed in the queue uncounted.
    WaveHeader* target = &queue_[static_cast<size_t>(queuedCount_)]->header;
    if (device_->Prepare(target) == zel::kWaveOk && device_ &&
        device_->Write(target) == zel::kWaveOk) {
      ++queuedCount_;
    }
  }
  return n;
}

void CPlaybackManager::OnWaveNotify(unsigned code) {
  if (code == zel::kMmWomDone) {
    bool empty = false;
    {
      ZEL_LOCK(queueLock_);
      if (queue_.empty()) {
        queuedCount_ = 0;
        empty = true;
      } else if (device_ && device_->Unprepare(&queue_.front()->header) == zel::kWaveOk) {
        queue_.pop_front();
        queuedCount_ = std::max(0, queuedCount_ - 1);
      }
    }
    if (empty) {
      Stop();
      return;
    }
    if (playing_) QueueBuffer();
  } else if (code == zel::kMmWomClose) {
    {
      ZEL_LOCK(queueLock_);
      queuedCount_ = 0;
    }
    Stop();
  }
}

void CPlaybackManager::Stop() {
  if (!playing_) return;
  if (queuePos_ <= 0) {
    queuePos_ = 0;
    startPos_ = 0;
  }
  if (device_) {
    device_->Reset();
    device_->Close();
    device_.reset();
  }
  ZEL_LOCK(queueLock_);
  queue_.clear();
  chain_.reset();
  playing_ = 0;
  queuedCount_ = 0;
}

int CPlaybackManager::Position() {
  int64_t position = startPos_;
  uint64_t bytes = 0;
  if (device_ && device_->GetPosition(bytes) == zel::kWaveOk) {
    const int64_t played = static_cast<int64_t>(bytes / 2);
    position = chain_ ? chainStart_ + chain_->SourceAt(played) : played + startPos_;
  }
  // A recording without a stored duration (a headerless file) is capped at its end.
  uint32_t duration = recording_.Header().Duration();
  int64_t cap = duration > 0 ? static_cast<int64_t>(duration) * zel::kSamplesPerSecond : recording_.SampleCount();
  return static_cast<int>(std::min(position, cap));
}

void CPlaybackManager::TogglePause() {
  if (!paused_) {
    paused_ = 1;
    startPos_ = Position();
    Stop();
  } else {
    queuePos_ = std::max(startPos_, 0);
    startPos_ = queuePos_;
    paused_ = 0;
    Play();
  }
}

void CPlaybackManager::Seek(int sample) {
  if (playing_) return;
  queuePos_ = std::clamp(sample, 0, recording_.SampleCount());
  startPos_ = queuePos_;
}

void CPlaybackManager::PlayStop(bool play, bool rewind) {
  if (rewind) {
    queuePos_ = 0;
    startPos_ = 0;
  }
  if (play) {
    playing_ = 1;
    Play();
  } else {
    Stop();
  }
  paused_ = 0;
}

bool CPlaybackManager::CanPlay() const {
  if (!loaded_ || playing_) return false;
  return recording_.IsReady() || recording_.DecodedCount() > kPlayableSamples;
}
