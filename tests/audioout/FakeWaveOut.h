#pragma once
// A deterministic wave-output device for tests and benchmarks: it plays nothing and
// keeps time only when the test advances its clock, so positions and the order of
// notifications are exact. Notifications are queued in a FakeWindow and delivered
// when the test pumps it, as a message loop would.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "audio/CPlaybackManager.h"
#include "audio/IWaveOut.h"

namespace zeltest {

class FakeWaveOut;

// The "window" that receives the device's notifications.
class FakeWindow : public IWaveNotifyTarget {
 public:
  explicit FakeWindow(CPlaybackManager& manager) : manager_(manager) {}
  void Post(unsigned code) override { pending_.push_back(code); }
  // Delivers the queued notifications (and any posted meanwhile); returns how many.
  int Pump() {
    int n = 0;
    while (!pending_.empty()) {
      unsigned code = pending_.front();
      pending_.pop_front();
      manager_.OnWaveNotify(code);
      ++n;
    }
    return n;
  }
  void Withdraw() { pending_.clear(); }
  size_t Pending() const { return pending_.size(); }

 private:
  CPlaybackManager& manager_;
  std::deque<unsigned> pending_;
};

// What a test sees of the devices the manager opens.
struct FakeDeviceControl {
  int openResult = zel::kWaveOk;      // what Open answers (busy, no driver, ...)
  int prepareFailures = 0;            // the next n Prepare calls fail
  uint64_t extraPositionBytes = 0;    // added to the reported position
  int opens = 0;
  int closes = 0;
  FakeWaveOut* current = nullptr;     // the open device, or null
  std::vector<uint32_t> writtenLengths;  // bytes of every buffer written, in order
  std::vector<const int16_t*> writtenData;
  std::function<void()> onWrite;  // called after each accepted Write

  // Plays `ms` milliseconds on the open device.
  void Advance(int ms);
};

class FakeWaveOut : public IWaveOut {
 public:
  explicit FakeWaveOut(std::shared_ptr<FakeDeviceControl> control) : control_(std::move(control)) {}
  ~FakeWaveOut() override {
    if (control_->current == this) control_->current = nullptr;
  }

  int Open(const WaveFormat& format, IWaveNotifyTarget* target) override {
    if (control_->openResult != zel::kWaveOk) return control_->openResult;
    if (format.bytesPerSecond != 16000 || format.blockAlign != 2) return zel::kWaveBadFormat;
    target_ = target;
    open_ = true;
    ++control_->opens;
    control_->current = this;
    return zel::kWaveOk;
  }
  int Prepare(WaveHeader* header) override {
    if (!open_) return zel::kWaveInvalidHandle;
    if (control_->prepareFailures > 0) {
      --control_->prepareFailures;
      return zel::kWaveError;
    }
    header->flags |= WaveHeader::kPrepared;
    return zel::kWaveOk;
  }
  int Write(WaveHeader* header) override {
    if (!open_) return zel::kWaveInvalidHandle;
    if (!(header->flags & WaveHeader::kPrepared)) return zel::kWaveUnprepared;
    header->flags = (header->flags | WaveHeader::kInQueue) & ~WaveHeader::kDone;
    queue_.push_back({header, 0});
    control_->writtenLengths.push_back(header->bufferLength);
    control_->writtenData.push_back(header->data);
    if (control_->onWrite) control_->onWrite();
    return zel::kWaveOk;
  }
  int Unprepare(WaveHeader* header) override {
    if (!open_) return zel::kWaveInvalidHandle;
    if (header->flags & WaveHeader::kInQueue) return zel::kWaveStillPlaying;
    header->flags &= ~WaveHeader::kPrepared;
    return zel::kWaveOk;
  }
  int Reset() override {
    for (auto& entry : queue_) {
      entry.header->flags = (entry.header->flags & ~WaveHeader::kInQueue) | WaveHeader::kDone;
    }
    queue_.clear();
    return zel::kWaveOk;
  }
  int Close() override {
    if (!queue_.empty()) return zel::kWaveStillPlaying;
    if (auto* window = dynamic_cast<FakeWindow*>(target_)) window->Withdraw();
    open_ = false;
    ++control_->closes;
    if (control_->current == this) control_->current = nullptr;
    return zel::kWaveOk;
  }
  int GetPosition(uint64_t& bytes) override {
    if (!open_) return zel::kWaveInvalidHandle;
    bytes = played_ + control_->extraPositionBytes;
    return zel::kWaveOk;
  }

  // 16 bytes per millisecond; a buffer is reported done once all of it was played.
  // Time with nothing queued passes in silence and does not move the position.
  void Advance(int ms) {
    uint64_t budget = static_cast<uint64_t>(ms) * 16;
    while (budget > 0 && !queue_.empty()) {
      auto& front = queue_.front();
      uint64_t left = front.header->bufferLength - front.consumed;
      uint64_t step = left < budget ? left : budget;
      front.consumed += step;
      played_ += step;
      budget -= step;
      if (front.consumed == front.header->bufferLength) {
        front.header->flags = (front.header->flags & ~WaveHeader::kInQueue) | WaveHeader::kDone;
        queue_.pop_front();
        if (target_ != nullptr) target_->Post(zel::kMmWomDone);
      }
    }
  }
  size_t Queued() const { return queue_.size(); }

 private:
  struct Entry {
    WaveHeader* header;
    uint64_t consumed;
  };
  std::shared_ptr<FakeDeviceControl> control_;
  IWaveNotifyTarget* target_ = nullptr;
  bool open_ = false;
  std::deque<Entry> queue_;
  uint64_t played_ = 0;
};

inline void FakeDeviceControl::Advance(int ms) {
  if (current != nullptr) current->Advance(ms);
}

// A factory for CPlaybackManager::SetWaveOutFactory that makes fake devices.
inline WaveOutFactory FakeFactory(const std::shared_ptr<FakeDeviceControl>& control) {
  return [control]() -> std::unique_ptr<IWaveOut> { return std::make_unique<FakeWaveOut>(control); };
}

}  // namespace zeltest
