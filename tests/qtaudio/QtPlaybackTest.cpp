// Real playback through Qt Multimedia into a private PulseAudio null sink, whose
// monitor is recorded with parec to check that sound came out.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QAudioDevice>
#include <QTimer>
#include <cmath>
#include <memory>

#include "audio/CPlaybackManager.h"
#include "audio/qt/QtWaveOut.h"
#include "tests/audioout/AudioOutSupport.h"
#include "tests/qtaudio/PulseServer.h"

using namespace zeltest;

namespace {

PulseServer* g_pulse = nullptr;
bool g_pulseUp = false;

class QtAudioEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    g_pulse = new PulseServer();
    g_pulseUp = g_pulse->Start();
    static int argc = 1;
    static char name[] = "zel_qtaudio_tests";
    static char* argv[] = {name, nullptr};
    app_ = new QCoreApplication(argc, argv);
  }
  void TearDown() override {
    delete app_;
    delete g_pulse;
  }

 private:
  QCoreApplication* app_ = nullptr;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new QtAudioEnvironment);

#define REQUIRE_PULSE()                                                          \
  do {                                                                           \
    if (!g_pulseUp) GTEST_SKIP() << "no PulseAudio daemon: " << g_pulse->Error(); \
  } while (0)

// Records the null sink's monitor while alive.
class MonitorRecorder {
 public:
  explicit MonitorRecorder(const TempDir& dir) : path_(dir.File("monitor.raw")) {
    pid_ = SpawnBackground({"sh", "-c",
                            "exec parec -d zeltest.monitor --format=s16le --rate=8000 "
                            "--channels=1 --raw > " + ShellQuote(path_)},
                           dir.File("parec.log"));
  }
  // Stops recording and returns the loudest RMS over 100 ms windows.
  double StopAndMeasure() {
    StopBackground(pid_, SIGINT);
    std::vector<int16_t> samples = LeSamples(ReadFile(path_));
    double best = 0;
    for (size_t start = 0; start + 800 <= samples.size(); start += 800) {
      double sum = 0;
      for (size_t i = start; i < start + 800; ++i) sum += double(samples[i]) * samples[i];
      best = std::max(best, std::sqrt(sum / 800));
    }
    return best;
  }

 private:
  std::string path_;
  pid_t pid_;
};

void RunEventsFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

namespace zeltest {
bool PulseIsUp() { return g_pulseUp; }
std::string PulseError() { return g_pulse != nullptr ? g_pulse->Error() : "not started"; }
}  // namespace zeltest

TEST(QtAudio, DefaultOutputIsThePulseNullSink) {
  REQUIRE_PULSE();
  QString description = QtWaveOut::DefaultDeviceDescription();
  EXPECT_FALSE(description.isEmpty());
  // Qt 6.4 Multimedia talks to PulseAudio itself (QT_MEDIA_BACKEND only picks the
  // media player's plugin); the device id is the sink's name.
  EXPECT_EQ(QMediaDevices::defaultAudioOutput().id().toStdString(), "zeltest");
  RecordProperty("default_output", description.toStdString());
  std::printf("default audio output: %s\n", description.toUtf8().constData());
}

TEST(QtAudio, DeviceReturnsEveryBufferInOrderAfterPlayingIt) {
  REQUIRE_PULSE();
  TempDir dir;
  std::vector<int16_t> pcm = Speech(20000, 11);
  std::vector<WaveHeader> headers(3);
  int done = 0;
  QtWaveNotifyReceiver receiver([&done](unsigned code) {
    if (code == zel::kMmWomDone) ++done;
  });
  QtWaveOut device;
  ASSERT_EQ(device.Open(WaveFormat{}, &receiver), zel::kWaveOk);
  MonitorRecorder monitor(dir);
  RunEventsFor(200);
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < 3; ++i) {
    headers[i].data = pcm.data() + i * 8000;
    headers[i].bufferLength = static_cast<uint32_t>(2 * std::min<int>(8000, 20000 - i * 8000));
    ASSERT_EQ(device.Prepare(&headers[i]), zel::kWaveOk);
    ASSERT_EQ(device.Write(&headers[i]), zel::kWaveOk);
  }
  EXPECT_EQ(device.Unprepare(&headers[0]), zel::kWaveStillPlaying);
  std::vector<qint64> doneAt;
  while (done < 3 && clock.elapsed() < 10000) {
    int before = done;
    RunEventsFor(10);
    if (done != before) doneAt.push_back(clock.elapsed());
    // Buffers come back in order: a later one never before an earlier one.
    for (int i = 0; i < done; ++i) EXPECT_TRUE(headers[i].flags & WaveHeader::kDone) << i;
  }
  qint64 elapsed = clock.elapsed();
  ASSERT_EQ(done, 3);
  // The first second cannot have been played before about a second passed.
  EXPECT_GE(doneAt.front(), 800);
  EXPECT_GE(elapsed, 0.8 * 2500);
  EXPECT_LE(elapsed, 2 * 2500);
  uint64_t position = 0;
  ASSERT_EQ(device.GetPosition(position), zel::kWaveOk);
  EXPECT_GE(position, 40000u * 9 / 10);
  EXPECT_LE(position, 40000u);
  for (auto& h : headers) EXPECT_EQ(device.Unprepare(&h), zel::kWaveOk);
  RunEventsFor(200);
  EXPECT_EQ(device.Close(), zel::kWaveOk);
  double rms = monitor.StopAndMeasure();
  std::printf("3 buffers (2.5 s) done at %lld/%lld/%lld ms, all after %lld ms, position %llu bytes, "
              "monitor RMS %.0f\n",
              static_cast<long long>(doneAt.at(0)), static_cast<long long>(doneAt.at(1)),
              static_cast<long long>(doneAt.back()), static_cast<long long>(elapsed),
              static_cast<unsigned long long>(position), rms);
  EXPECT_GT(rms, 300.0) << "the null sink heard only silence";
}

TEST(QtAudio, PlaybackManagerPlaysARecordingToTheEnd) {
  REQUIRE_PULSE();
  XdgSandbox xdg;
  TempDir dir;
  ScopedMessages messages;
  RecordingDescription d;
  d.formatTag = 49;
  std::string path = MakeRecording(dir, "Call.zel", Speech(3 * 8000, 5), d);
  ASSERT_FALSE(path.empty());

  CPlaybackManager manager;
  int done = 0;
  QtWaveNotifyReceiver receiver([&](unsigned code) {
    if (code == zel::kMmWomDone) ++done;
    manager.OnWaveNotify(code);
  });
  manager.SetWaveOutFactory(QtWaveOut::Factory());
  manager.SetFrameWindow(&receiver);
  ASSERT_TRUE(manager.Load(path, ""));
  ASSERT_EQ(manager.Recording().Header().Duration(), 3u);
  MonitorRecorder monitor(dir);
  RunEventsFor(200);

  QElapsedTimer clock;
  clock.start();
  manager.PlayStop(true, false);
  ASSERT_TRUE(manager.IsPlaying()) << (messages.messages().empty() ? "" : messages.messages()[0]);
  // The player panel's end rule: stop when the position text reaches the duration.
  std::string durationText = CKlRecordFileHdr::FormatHms(manager.Recording().Header().Duration());
  int maxPosition = 0;
  while (manager.IsPlaying() && clock.elapsed() < 10000) {
    RunEventsFor(200);
    int position = manager.Position();
    maxPosition = std::max(maxPosition, position);
    if (CKlRecordFileHdr::FormatHms(static_cast<uint32_t>(position / 8000)) == durationText) {
      manager.PlayStop(false, true);
    }
  }
  qint64 elapsed = clock.elapsed();
  EXPECT_FALSE(manager.IsPlaying());
  EXPECT_EQ(maxPosition, 24000);
  EXPECT_EQ(done, 3) << "every buffer must come back";
  EXPECT_GE(elapsed, 0.8 * 3000);
  EXPECT_LE(elapsed, 2 * 3000);
  EXPECT_EQ(manager.Position(), 0);
  EXPECT_TRUE(messages.messages().empty());
  double rms = monitor.StopAndMeasure();
  std::printf("3 s recording played in %lld ms, %d buffers back, monitor RMS %.0f\n",
              static_cast<long long>(elapsed), done, rms);
  EXPECT_GT(rms, 300.0);
  manager.Close();
}

TEST(QtAudio, DeviceThatRanDryPlaysTheNextBufferAndReportsBusyWhenOpenTwice) {
  REQUIRE_PULSE();
  std::vector<int16_t> pcm = Speech(8000, 13);
  WaveHeader first, second;
  first.data = pcm.data();
  first.bufferLength = 8000;  // half a second
  second.data = pcm.data() + 4000;
  second.bufferLength = 8000;
  int done = 0;
  QtWaveNotifyReceiver receiver([&done](unsigned) { ++done; });
  QtWaveOut device;
  ASSERT_EQ(device.Open(WaveFormat{}, &receiver), zel::kWaveOk);
  EXPECT_EQ(device.Open(WaveFormat{}, &receiver), zel::kWaveAllocated);
  ASSERT_EQ(device.Prepare(&first), zel::kWaveOk);
  ASSERT_EQ(device.Write(&first), zel::kWaveOk);
  QElapsedTimer clock;
  clock.start();
  while (done < 1 && clock.elapsed() < 5000) RunEventsFor(10);
  ASSERT_EQ(done, 1);
  RunEventsFor(300);  // the sink runs dry and goes idle
  ASSERT_EQ(device.Prepare(&second), zel::kWaveOk);
  ASSERT_EQ(device.Write(&second), zel::kWaveOk);
  clock.restart();
  while (done < 2 && clock.elapsed() < 5000) RunEventsFor(10);
  EXPECT_EQ(done, 2);
  EXPECT_GE(clock.elapsed(), 300);
  uint64_t position = 0;
  ASSERT_EQ(device.GetPosition(position), zel::kWaveOk);
  EXPECT_GE(position, 14000u);
  // Reset drops what is queued without notifications; Close withdraws pending ones.
  ASSERT_EQ(device.Prepare(&first), zel::kWaveOk);
  ASSERT_EQ(device.Write(&first), zel::kWaveOk);
  EXPECT_EQ(device.Reset(), zel::kWaveOk);
  EXPECT_EQ(device.Close(), zel::kWaveOk);
  RunEventsFor(700);
  EXPECT_EQ(done, 2);
  EXPECT_EQ(device.Write(&first), zel::kWaveInvalidHandle);
}
