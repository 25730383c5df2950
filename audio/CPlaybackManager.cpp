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

void CPlaybackManager::SetWaveOutFactory(WaveOutFactory factory) { Factory_ = std::move(factory); }

void CPlaybackManager::SetFrameWindow(IWaveNotifyTarget* window) { FrameWindow_ = window; }

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
  Loudness_.Cancel();
  Loaded = static_cast<uint32_t>(Recording_.LoadRecording(path, passphrase));
  AudioArchived_ = Loaded == 0 && HeaderOnly(path, passphrase);
  if (Loaded != 0) WaitForFirstBuffers();
  SilenceThreshold_.reset();
  PlayAudited_ = false;
  if (Loaded != 0) {
    QueuePos = 0;
    StartPos = 0;
    StartLoudness();
    if (AuditAccess && Recording_.Header().IsEncrypted()) zel::AuditTrail::Record("decrypt", path, "passphrase");
  } else {
    Close();
  }
  return Loaded != 0;
}

void CPlaybackManager::WaitForFirstBuffers() {
  // IMA and GSM recordings decode in the background, many times faster than they
  // play. Waiting for the first queue's worth means the buffers Play hands to the
  // device hold decoded samples; CanPlay still asks for its larger lead. Bounded
  // like LoadRecordingAndWait's wait.
  Recording_.WaitForDecodedCount(kBuffersInFlight * kBufferSamples, 100000);
}

bool CPlaybackManager::FinishDecoding() {
  Recording_.WaitForDecoding(100000);
  return Recording_.IsReady();
}

void CPlaybackManager::Close() {
  Stop();
  Loudness_.Cancel();
  QueuePos = 0;
  StartPos = 0;
  Paused = 0;
  Recording_.SaveIfDirty();
  Loaded = 0;
}

bool CPlaybackManager::OpenDevice() {
  if (Device_) return true;
  std::unique_ptr<IWaveOut> device = Factory_ ? Factory_() : nullptr;
  int result = device ? device->Open(WaveFormat{}, FrameWindow_) : zel::kWaveNoDriver;
  if (result == zel::kWaveOk) {
    Device_ = std::move(device);
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
    Playing = 0;
    return;
  }
  {
    ZEL_LOCK(QueueLock_);
    if (QueuedCount != 0) return;
  }
  Playing = 1;
  if (AuditAccess && !PlayAudited_) {
    PlayAudited_ = true;
    // The caller id of an encrypted call stays out of the trail.
    const auto& header = Recording_.Header();
    zel::AuditTrail::Record("play", Recording_.Path(), "", header.IsEncrypted() ? "" : header.CallerIdUtf8());
  }
  StartChain();
  int n = static_cast<int>(Recording_.Header().Duration()) - Position() / zel::kSamplesPerSecond;
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
  Chain_.reset();
  if (!Options_.Active()) return;
  const int16_t* all = nullptr;
  const size_t decoded = static_cast<size_t>(Recording_.GetSamples(0, Recording_.DecodedCount(), &all));
  if (Options_.skipSilence && !SilenceThreshold_) {
    SilenceThreshold_ = CSilenceSkipper::NoiseThreshold(all, decoded);
  }
  std::optional<double> gain;
  if (Options_.normalise) {
    StartLoudness();
    // The gain is usually found between loading and playing. When it is not (a call
    // played at once, or one still decoding), playback starts with the first guess,
    // or at the call's own level, and moves to the gain once it is found.
    gain = Loudness_.WaitForGain(kLoudnessWaitMs);
  }
  GainPending_ = Options_.normalise && !(gain && Loudness_.Final());
  Chain_ = std::make_unique<CPlaybackChain>(Options_, SilenceThreshold_.value_or(0), gain.value_or(1.0));
  ChainStart_ = QueuePos;
}

void CPlaybackManager::StartLoudness() {
  if (Options_.normalise && Loaded != 0 && !Loudness_.Started()) Loudness_.Start(Recording_);
}

void CPlaybackManager::SetPlaybackOptions(const CPlaybackChain::Options& options) {
  CPlaybackChain::Options snapped = options;
  snapped.speed = CTimeStretch::SnapTempo(options.speed);
  const bool running = Playing && !Paused;
  int position = Position();
  if (running) Stop();
  Options_ = snapped;
  StartLoudness();
  if (running) {
    QueuePos = position;
    StartPos = position;
    Playing = 1;
    Play();
  }
}

int CPlaybackManager::QueueBuffer() {
  auto buffer = std::make_unique<QueuedBuffer>();
  int n = 0;
  if (Chain_) {
    if (GainPending_) {
      const bool final = Loudness_.Final();
      if (const std::optional<double> gain = Loudness_.Gain()) Chain_->SetGain(*gain);
      GainPending_ = !final;
    }
    std::vector<int16_t> out;
    while (out.size() < static_cast<size_t>(kBufferSamples) && !Chain_->Finished()) {
      const int16_t* samples = nullptr;
      int got = Recording_.GetSamples(QueuePos, kBufferSamples, &samples);
      if (got <= 0) {
        Chain_->Finish(out);
        break;
      }
      Chain_->Put(samples, static_cast<size_t>(got), out);
      QueuePos += got;
    }
    if (out.empty()) return 0;
    n = static_cast<int>(out.size());
    buffer->samples = std::move(out);
    buffer->header.data = buffer->samples.data();
  } else {
    const int16_t* samples = nullptr;
    n = Recording_.GetSamples(QueuePos, kBufferSamples, &samples);
    if (n <= 0) return 0;
    buffer->header.data = samples;
    QueuePos += n;
  }
  ZEL_LOCK(QueueLock_);
  WaveHeader* header = &buffer->header;
  header->bufferLength = static_cast<uint32_t>(2 * n);
  header->user = static_cast<uintptr_t>(QueuedCount);
  header->flags = 0;
  Queue_.push_back(std::move(buffer));
  if (Device_) {
    // The header at index QueuedCount is the one just appended unless an earlier
    // one failed and stayed in the queue uncounted.
    WaveHeader* target = &Queue_[static_cast<size_t>(QueuedCount)]->header;
    if (Device_->Prepare(target) == zel::kWaveOk && Device_ &&
        Device_->Write(target) == zel::kWaveOk) {
      ++QueuedCount;
    }
  }
  return n;
}

void CPlaybackManager::OnWaveNotify(unsigned code) {
  if (code == zel::kMmWomDone) {
    bool empty = false;
    {
      ZEL_LOCK(QueueLock_);
      if (Queue_.empty()) {
        QueuedCount = 0;
        empty = true;
      } else if (Device_ && Device_->Unprepare(&Queue_.front()->header) == zel::kWaveOk) {
        Queue_.pop_front();
        QueuedCount = std::max(0, QueuedCount - 1);
      }
    }
    if (empty) {
      Stop();
      return;
    }
    if (Playing) QueueBuffer();
  } else if (code == zel::kMmWomClose) {
    {
      ZEL_LOCK(QueueLock_);
      QueuedCount = 0;
    }
    Stop();
  }
}

void CPlaybackManager::Stop() {
  if (!Playing) return;
  if (QueuePos <= 0) {
    QueuePos = 0;
    StartPos = 0;
  }
  if (Device_) {
    Device_->Reset();
    Device_->Close();
    Device_.reset();
  }
  ZEL_LOCK(QueueLock_);
  Queue_.clear();
  Chain_.reset();
  Playing = 0;
  QueuedCount = 0;
}

int CPlaybackManager::Position() {
  int64_t position = StartPos;
  uint64_t bytes = 0;
  if (Device_ && Device_->GetPosition(bytes) == zel::kWaveOk) {
    const int64_t played = static_cast<int64_t>(bytes / 2);
    position = Chain_ ? ChainStart_ + Chain_->SourceAt(played) : played + StartPos;
  }
  // A recording without a stored duration (a headerless file) is capped at its end.
  uint32_t duration = Recording_.Header().Duration();
  int64_t cap = duration > 0 ? static_cast<int64_t>(duration) * zel::kSamplesPerSecond : Recording_.SampleCount();
  return static_cast<int>(std::min(position, cap));
}

void CPlaybackManager::TogglePause() {
  if (!Paused) {
    Paused = 1;
    StartPos = Position();
    Stop();
  } else {
    QueuePos = std::max(StartPos, 0);
    StartPos = QueuePos;
    Paused = 0;
    Play();
  }
}

void CPlaybackManager::Seek(int sample) {
  if (Playing) return;
  QueuePos = std::clamp(sample, 0, Recording_.SampleCount());
  StartPos = QueuePos;
}

void CPlaybackManager::PlayStop(bool play, bool rewind) {
  if (rewind) {
    QueuePos = 0;
    StartPos = 0;
  }
  if (play) {
    Playing = 1;
    Play();
  } else {
    Stop();
  }
  Paused = 0;
}

bool CPlaybackManager::CanPlay() const {
  if (!Loaded || Playing) return false;
  return Recording_.IsReady() || Recording_.DecodedCount() > kPlayableSamples;
}
