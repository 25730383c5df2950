#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "codec/SampleRate.h"

// The wave-output device as the playback manager uses it: a queue of buffers played
// in order, reported back one by one when played. Results are MMSYSERR-style codes.
// A device is used from one thread (the GUI thread); notifications reach the
// manager through an IWaveNotifyTarget, which delivers them on that thread later,
// never from inside a device call.
namespace zel {

constexpr int kWaveOk = 0;             // MMSYSERR_NOERROR
constexpr int kWaveError = 1;          // MMSYSERR_ERROR
constexpr int kWaveAllocated = 4;      // MMSYSERR_ALLOCATED: the device is in use
constexpr int kWaveInvalidHandle = 5;  // MMSYSERR_INVALHANDLE: the device is not open
constexpr int kWaveNoDriver = 6;       // MMSYSERR_NODRIVER: there is no output device
constexpr int kWaveBadFormat = 32;     // WAVERR_BADFORMAT
constexpr int kWaveStillPlaying = 33;  // WAVERR_STILLPLAYING
constexpr int kWaveUnprepared = 34;    // WAVERR_UNPREPARED

constexpr unsigned kMmWomOpen = 0x3BB;   // MM_WOM_OPEN
constexpr unsigned kMmWomClose = 0x3BC;  // MM_WOM_CLOSE
constexpr unsigned kMmWomDone = 0x3BD;   // MM_WOM_DONE

}  // namespace zel

struct WaveFormat {
  uint16_t formatTag = 1;  // PCM
  uint16_t channels = 1;
  uint32_t samplesPerSecond = zel::kSamplesPerSecond;
  uint32_t bytesPerSecond = 2 * zel::kSamplesPerSecond;
  uint16_t blockAlign = 2;
  uint16_t bitsPerSample = 16;
};

// One queued buffer. The caller owns it and keeps it (and the data it points to)
// alive from Prepare until Unprepare succeeds or the device is reset or closed.
struct WaveHeader {
  const int16_t* data = nullptr;
  uint32_t bufferLength = 0;  // bytes
  uintptr_t user = 0;
  uint32_t flags = 0;
  static constexpr uint32_t kDone = 1;      // WHDR_DONE
  static constexpr uint32_t kPrepared = 2;  // WHDR_PREPARED
  static constexpr uint32_t kInQueue = 16;  // WHDR_INQUEUE
};

// Receives the device's notifications (the window of the desktop program). Devices
// may call Post from any thread; the target calls the playback manager's
// OnWaveNotify on its own thread afterwards.
class IWaveNotifyTarget {
 public:
  virtual ~IWaveNotifyTarget() = default;
  virtual void Post(unsigned code) = 0;
};

class IWaveOut {
 public:
  virtual ~IWaveOut() = default;
  // Opens the default output device for `format`; MM_WOM_DONE goes to `target`
  // (which must outlive the open device) once per written buffer, in write order,
  // after the device has played it.
  virtual int Open(const WaveFormat& format, IWaveNotifyTarget* target) = 0;
  virtual int Prepare(WaveHeader* header) = 0;
  // Appends a prepared buffer to the play queue.
  virtual int Write(WaveHeader* header) = 0;
  // kWaveStillPlaying while the buffer is queued and not yet played.
  virtual int Unprepare(WaveHeader* header) = 0;
  // Stops playing and drops every queued buffer without notifications.
  virtual int Reset() = 0;
  // Closes the device; notifications not yet delivered are withdrawn.
  virtual int Close() = 0;
  // Bytes played since Open.
  virtual int GetPosition(uint64_t& bytes) = 0;
};

using WaveOutFactory = std::function<std::unique_ptr<IWaveOut>()>;
