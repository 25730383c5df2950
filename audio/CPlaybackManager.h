#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/CLoudnessAnalysis.h"
#include "audio/CPlaybackChain.h"
#include "audio/IWaveOut.h"
#include "codec/SampleRate.h"
#include "core/CKlLoggedSemaphore.h"
#include "core/Singleton.h"
#include "recording/CKlRecordFile.h"

// The one recording open in the player and its playback through the wave-output
// device: the decoded samples are streamed in one-second buffers (pointing into the
// recording, never copied), four in flight. Reach it through
// Singleton<CPlaybackManager>::Instance(). Every call, the device notifications
// included, comes from one thread (the GUI thread); the queue lock only guards the
// queue and the count of buffers in flight.
class CPlaybackManager {
 public:
  static constexpr int kBufferSamples = zel::kSamplesPerSecond;
  static constexpr int kBuffersInFlight = 4;
  // Samples that must be decoded before a recording still decoding may be played.
  static constexpr int kPlayableSamples = 560000;
  // How long starting playback with even loudness on may wait for the call's gain.
  static constexpr int kLoudnessWaitMs = 80;

  CPlaybackManager();
  virtual ~CPlaybackManager();
  CPlaybackManager(const CPlaybackManager&) = delete;
  CPlaybackManager& operator=(const CPlaybackManager&) = delete;

  // The device used for playback (created at each open). Without a factory, or when
  // it gives none, opening fails as "no playback device available".
  void SetWaveOutFactory(WaveOutFactory factory);
  // Where the device sends its notifications; it must call OnWaveNotify with them.
  // The window must outlive any open device: Close (or Stop) before destroying it.
  void SetFrameWindow(IWaveNotifyTarget* window);

  // Empty path: Close. Otherwise stops playback and loads with the settings passphrase
  // (or `passphrase`); on failure the recording is closed. True when loaded. IMA and
  // GSM recordings go on decoding in the background: Load returns once the first
  // kBuffersInFlight seconds are decoded (PlayStop may start at once), and CanPlay
  // turns true when more than kPlayableSamples are.
  bool Load(const std::string& path);
  bool Load(const std::string& path, const std::string& passphrase);
  // After a failed Load: whether the file holds a readable header and no audio, as
  // archiving that removes the audio leaves a recording behind.
  bool AudioArchived() const { return AudioArchived_; }
  // Whether loading an encrypted call ("decrypt") and first playing a loaded call
  // ("play") add a line to the audit trail; off where the caller records it itself.
  bool AuditAccess = true;
  // Waits (up to 100 s) until the loaded recording is fully decoded, as the export and
  // mail commands need it; true when it is ready.
  bool FinishDecoding();
  // Stops, rewinds, writes pending header changes and clears Loaded.
  void Close();

  void PlayStop(bool play, bool rewind);
  void Play();
  void Stop();
  void TogglePause();
  void Seek(int sample);
  // The sample being heard now, at most Duration x zel::kSamplesPerSecond.
  int Position();
  bool CanPlay() const;

  // Speed (0.5 to 2.0 in steps of 0.1, pitch kept), pause skipping and even loudness.
  // Changed while playing, playback goes on from the sample being heard.
  void SetPlaybackOptions(const CPlaybackChain::Options& options);
  const CPlaybackChain::Options& PlaybackOptions() const { return Options_; }

  bool IsPlaying() const { return Playing != 0; }
  bool IsPaused() const { return Paused != 0; }
  bool IsLoaded() const { return Loaded != 0; }
  CKlRecordFile& Recording() { return Recording_; }
  const CKlRecordFile& Recording() const { return Recording_; }

  // MM_WOM_DONE: a buffer has been played; MM_WOM_CLOSE: the device was closed.
  void OnWaveNotify(unsigned code);

  // For tests and diagnostics.
  int QueuedBuffers() const {
    ZEL_LOCK(QueueLock_);
    return QueuedCount;
  }
  int QueuePosition() const { return QueuePos; }
  int StartPosition() const { return StartPos; }
  size_t QueueLength() const {
    ZEL_LOCK(QueueLock_);
    return Queue_.size();
  }
  bool DeviceOpen() const { return Device_ != nullptr; }
  bool LoudnessFound() const { return Loudness_.Final(); }

 private:
  bool OpenDevice();
  void WaitForFirstBuffers();
  int QueueBuffer();
  void StartChain();
  void StartLoudness();

  struct QueuedBuffer {
    WaveHeader header;
    std::vector<int16_t> samples;  // owned output of the chain; empty when playing the recording's own
  };

  int32_t Playing = 0;
  uint32_t Paused = 0;
  std::unique_ptr<IWaveOut> Device_;
  uint32_t Loaded = 0;
  bool AudioArchived_ = false;
  bool PlayAudited_ = false;  // the loaded call's "play" line is written
  int32_t QueuePos = 0;
  int32_t QueuedCount GUARDED_BY(QueueLock_) = 0;
  int32_t StartPos = 0;
  mutable CKlLoggedSemaphore QueueLock_{"PLAYBACK_MANAGER"};
  std::deque<std::unique_ptr<QueuedBuffer>> Queue_ GUARDED_BY(QueueLock_);
  CKlRecordFile Recording_;
  IWaveNotifyTarget* FrameWindow_ = nullptr;
  WaveOutFactory Factory_;
  CPlaybackChain::Options Options_;
  std::unique_ptr<CPlaybackChain> Chain_;
  int64_t ChainStart_ = 0;
  // Measured once per loaded recording, when first needed; the loudness off this
  // thread, from the load on while even loudness is on.
  std::optional<double> SilenceThreshold_;
  CLoudnessAnalysis Loudness_;
  bool GainPending_ = false;  // the chain's gain is not the final one yet
};
