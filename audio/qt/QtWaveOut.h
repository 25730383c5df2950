#pragma once
#include <QEvent>
#include <QIODevice>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "audio/IWaveOut.h"

class QAudioSink;

// The device's notification as a Qt event: the number is MM_WOM_DONE (0x3BD).
class QtWaveNotifyEvent : public QEvent {
 public:
  static constexpr QEvent::Type kType = static_cast<QEvent::Type>(zel::kMmWomDone);
  explicit QtWaveNotifyEvent(unsigned code) : QEvent(kType), code_(code) {}
  unsigned Code() const { return code_; }

 private:
  unsigned code_;
};

// The notification target of the desktop program and of zelctl: Post may be called
// from any thread; the event is delivered on the thread that owns this object,
// where the handler runs (by default the playback manager's OnWaveNotify).
class QtWaveNotifyReceiver : public QObject, public IWaveNotifyTarget {
  Q_OBJECT
 public:
  explicit QtWaveNotifyReceiver(std::function<void(unsigned)> handler = {},
                                QObject* parent = nullptr);
  void Post(unsigned code) override;

 protected:
  bool event(QEvent* event) override;

 private:
  std::function<void(unsigned)> handler_;
};

class QtWaveSource;

// IWaveOut on Qt Multimedia: a QAudioSink on the default output device pulls the
// queued buffers through a QIODevice of ours. A buffer is reported done (posted to
// the target, in write order) once the sink has taken all of it and its play
// position has passed its end. Create and use it on a thread with an event loop.
class QtWaveOut : public QObject, public IWaveOut {
  Q_OBJECT
 public:
  QtWaveOut();
  ~QtWaveOut() override;

  int Open(const WaveFormat& format, IWaveNotifyTarget* target) override;
  int Prepare(WaveHeader* header) override;
  int Write(WaveHeader* header) override;
  int Unprepare(WaveHeader* header) override;
  int Reset() override;
  int Close() override;
  int GetPosition(uint64_t& bytes) override;

  // A factory for CPlaybackManager::SetWaveOutFactory.
  static WaveOutFactory Factory();
  // The description of the default output device, or "" when there is none.
  static QString DefaultDeviceDescription();

 private:
  void Poll();
  uint64_t PlayedBytes() const;

  QAudioSink* sink_ = nullptr;
  QtWaveSource* source_ = nullptr;
  QTimer timer_;
  IWaveNotifyTarget* target_ = nullptr;
  uint64_t bytesPerSecond_ = 16000;
};
