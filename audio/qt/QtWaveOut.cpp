#include "audio/qt/QtWaveOut.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QMediaDevices>
#include <algorithm>
#include <cstring>

#include "audio/CPlaybackManager.h"
#include "core/CKlLogger.h"

// The buffers written and not yet reported done, in order; the sink reads from the
// oldest one not yet fully read.
class QtWaveSource : public QIODevice {
 public:
  struct Entry {
    WaveHeader* header;
    uint64_t endOffset;  // stream offset just past this buffer
  };

  void Append(WaveHeader* header) {
    std::lock_guard<std::mutex> lock(mutex_);
    written_ += header->bufferLength;
    entries_.push_back({header, written_});
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& e : entries_) {
      e.header->flags = (e.header->flags & ~WaveHeader::kInQueue) | WaveHeader::kDone;
    }
    entries_.clear();
    read_ = written_;
  }
  // Removes and returns the oldest buffer once it was read and `played` passed its
  // end; null otherwise.
  WaveHeader* TakeDone(uint64_t played) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.empty()) return nullptr;
    const Entry& front = entries_.front();
    if (front.endOffset > read_ || front.endOffset > played) return nullptr;
    WaveHeader* header = front.header;
    entries_.pop_front();
    return header;
  }
  bool Contains(const WaveHeader* header) {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [header](const Entry& e) { return e.header == header; });
  }
  uint64_t BytesRead() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return read_;
  }
  uint64_t BytesWritten() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
  }

  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<qint64>(written_ - read_) + QIODevice::bytesAvailable();
  }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    std::lock_guard<std::mutex> lock(mutex_);
    qint64 total = 0;
    uint64_t start = 0;
    for (const Entry& e : entries_) {
      start = e.endOffset - e.header->bufferLength;
      if (e.endOffset <= read_) continue;
      if (total >= maxSize) break;
      uint64_t offset = read_ - start;
      uint64_t n = std::min<uint64_t>(e.header->bufferLength - offset,
                                      static_cast<uint64_t>(maxSize - total));
      std::memcpy(data + total, reinterpret_cast<const char*>(e.header->data) + offset, n);
      total += static_cast<qint64>(n);
      read_ += n;
    }
    return total;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  mutable std::mutex mutex_;
  std::deque<Entry> entries_;
  uint64_t written_ = 0;
  uint64_t read_ = 0;
};

QtWaveNotifyReceiver::QtWaveNotifyReceiver(std::function<void(unsigned)> handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
  if (!handler_) {
    handler_ = [](unsigned code) { Singleton<CPlaybackManager>::Instance()->OnWaveNotify(code); };
  }
}

void QtWaveNotifyReceiver::Post(unsigned code) {
  QCoreApplication::postEvent(this, new QtWaveNotifyEvent(code));
}

bool QtWaveNotifyReceiver::event(QEvent* event) {
  if (event->type() == QtWaveNotifyEvent::kType) {
    handler_(static_cast<QtWaveNotifyEvent*>(event)->Code());
    return true;
  }
  return QObject::event(event);
}

QtWaveOut::QtWaveOut() {
  timer_.setInterval(10);
  connect(&timer_, &QTimer::timeout, this, &QtWaveOut::Poll);
}

QtWaveOut::~QtWaveOut() {
  Reset();
  Close();
}

WaveOutFactory QtWaveOut::Factory() {
  return []() -> std::unique_ptr<IWaveOut> { return std::make_unique<QtWaveOut>(); };
}

QString QtWaveOut::DefaultDeviceDescription() {
  QAudioDevice device = QMediaDevices::defaultAudioOutput();
  return device.isNull() ? QString() : device.description();
}

int QtWaveOut::Open(const WaveFormat& format, IWaveNotifyTarget* target) {
  if (sink_ != nullptr) return zel::kWaveAllocated;
  QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) return zel::kWaveNoDriver;
  if (format.formatTag != 1 || format.bitsPerSample != 16) return zel::kWaveBadFormat;
  QAudioFormat qformat;
  qformat.setSampleRate(static_cast<int>(format.samplesPerSecond));
  qformat.setChannelCount(format.channels);
  qformat.setSampleFormat(QAudioFormat::Int16);
  if (!device.isFormatSupported(qformat)) return zel::kWaveBadFormat;
  bytesPerSecond_ = format.bytesPerSecond;
  target_ = target;
  source_ = new QtWaveSource();
  source_->open(QIODevice::ReadOnly);
  sink_ = new QAudioSink(device, qformat);
  // A quarter of a second of device buffer keeps the reported position close to
  // what is heard without risking underruns.
  sink_->setBufferSize(static_cast<qsizetype>(bytesPerSecond_ / 4));
  sink_->start(source_);
  if (sink_->error() == QAudio::OpenError || sink_->state() == QAudio::StoppedState) {
    Singleton<CKlLogger>::Instance()->LogLine("Audio output %s could not be opened (error %d)",
                                              device.description().toUtf8().constData(),
                                              static_cast<int>(sink_->error()));
    delete sink_;
    sink_ = nullptr;
    delete source_;
    source_ = nullptr;
    target_ = nullptr;
    return zel::kWaveAllocated;
  }
  timer_.start();
  return zel::kWaveOk;
}

int QtWaveOut::Prepare(WaveHeader* header) {
  if (sink_ == nullptr) return zel::kWaveInvalidHandle;
  header->flags |= WaveHeader::kPrepared;
  return zel::kWaveOk;
}

int QtWaveOut::Write(WaveHeader* header) {
  if (sink_ == nullptr) return zel::kWaveInvalidHandle;
  if (!(header->flags & WaveHeader::kPrepared)) return zel::kWaveUnprepared;
  header->flags = (header->flags | WaveHeader::kInQueue) & ~WaveHeader::kDone;
  source_->Append(header);
  // Wakes a sink that ran dry and went idle.
  emit source_->readyRead();
  if (sink_->state() == QAudio::IdleState || sink_->state() == QAudio::SuspendedState) {
    sink_->resume();
  }
  return zel::kWaveOk;
}

int QtWaveOut::Unprepare(WaveHeader* header) {
  if (sink_ == nullptr) return zel::kWaveInvalidHandle;
  if (header->flags & WaveHeader::kInQueue) return zel::kWaveStillPlaying;
  header->flags &= ~WaveHeader::kPrepared;
  return zel::kWaveOk;
}

int QtWaveOut::Reset() {
  if (sink_ == nullptr) return zel::kWaveInvalidHandle;
  source_->Clear();
  return zel::kWaveOk;
}

int QtWaveOut::Close() {
  if (sink_ == nullptr) return zel::kWaveInvalidHandle;
  timer_.stop();
  sink_->stop();
  delete sink_;
  sink_ = nullptr;
  delete source_;
  source_ = nullptr;
  // Notifications posted but not yet delivered belong to this device's buffers.
  if (auto* receiver = dynamic_cast<QObject*>(target_)) {
    QCoreApplication::removePostedEvents(receiver, QtWaveNotifyEvent::kType);
  }
  target_ = nullptr;
  return zel::kWaveOk;
}

uint64_t QtWaveOut::PlayedBytes() const {
  if (sink_ == nullptr) return 0;
  uint64_t played = static_cast<uint64_t>(sink_->processedUSecs()) * bytesPerSecond_ / 1000000;
  played &= ~uint64_t{1};
  // Never ahead of what the sink has taken.
  return std::min(played, source_->BytesRead());
}

int QtWaveOut::GetPosition(uint64_t& bytes) {
  if (sink_ == nullptr) return zel::kWaveInvalidHandle;
  bytes = PlayedBytes();
  return zel::kWaveOk;
}

void QtWaveOut::Poll() {
  if (sink_ == nullptr) return;
  uint64_t played = PlayedBytes();
  // A sink that ran dry has played everything it took.
  if (sink_->state() == QAudio::IdleState && source_->BytesRead() == source_->BytesWritten()) {
    played = source_->BytesRead();
  }
  while (WaveHeader* header = source_->TakeDone(played)) {
    header->flags = (header->flags & ~WaveHeader::kInQueue) | WaveHeader::kDone;
    if (target_ != nullptr) target_->Post(zel::kMmWomDone);
  }
}
