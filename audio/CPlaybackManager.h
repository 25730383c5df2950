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
  bool AudioArchived() const { return audioArchived_; }
  // Whether loading an encrypted call ("decrypt") and first playing a loaded call
  // ("play") add a line to the audit trail; off where the caller records it itself.
  bool AuditAccess = true;
  // Waits (up to 100 s) until the loaded recording is fully decoded, as the export and
  // mail commands need it; true when it is ready.
  bool FinishDecoding();
  // Stops, rewinds, writes pending header changes and unloads the recording.
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
  const CPlaybackChain::Options& PlaybackOptions() const { return options_; }

  bool IsPlaying() const { return playing_ != 0; }
  bool IsPaused() const { return paused_ != 0; }
  bool IsLoaded() const { return loaded_ != 0; }
  CKlRecordFile& Recording() { return recording_; }
  const CKlRecordFile& Recording() const { return recording_; }

  // MM_WOM_DONE: a buffer has been played; MM_WOM_CLOSE: the device was closed.
  void OnWaveNotify(unsigned code);

  // For tests and diagnostics.
  int QueuedBuffers() const {
    ZEL_LOCK(queueLock_);
    return queuedCount_;
  }
  int QueuePosition() const { return queuePos_; }
  int StartPosition() const { return startPos_; }
  size_t QueueLength() const {
    ZEL_LOCK(queueLock_);
    return queue_.size();
  }
  bool DeviceOpen() const { return device_ != nullptr; }
  bool LoudnessFound() const { return loudness_.Final(); }

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

  int32_t playing_ = 0;
  uint32_t paused_ = 0;
  std::unique_ptr<IWaveOut> device_;
  uint32_t loaded_ = 0;
  bool audioArchived_ = false;
  bool playAudited_ = false;  // the loaded call's "play" line is written
  int32_t queuePos_ = 0;
  int32_t queuedCount_ GUARDED_BY(queueLock_) = 0;
  int32_t startPos_ = 0;
  mutable CKlLoggedSemaphore queueLock_{"PLAYBACK_MANAGER"};
  std::deque<std::unique_ptr<QueuedBuffer>> queue_ GUARDED_BY(queueLock_);
  CKlRecordFile recording_;
  IWaveNotifyTarget* frameWindow_ = nullptr;
  WaveOutFactory factory_;
  CPlaybackChain::Options options_;
  std::unique_ptr<CPlaybackChain> chain_;
  int64_t chainStart_ = 0;
  // Measured once per loaded recording, when first needed; the loudness off this
  // thread, from the load on while even loudness is on.
  std::optional<double> silenceThreshold_;
  CLoudnessAnalysis loudness_;
  bool gainPending_ = false;  // the chain's gain is not the final one yet
};
