// Speed with the pitch kept, pause skipping and even loudness: on the core classes
// and through the playback manager against the fake device.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "audio/CPlaybackManager.h"
#include "audio/CPlayerState.h"
#include "audio/Loudness.h"
#include "tests/audioout/AudioOutSupport.h"
#include "tests/audioout/FakeWaveOut.h"

using namespace zeltest;

namespace {

std::vector<int16_t> Tone(double hz, size_t count) {
  std::vector<int16_t> out(count);
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * hz * i / 8000.0));
  return out;
}

// Dominant frequency from upward zero crossings over the middle of `s`.
double Frequency(const std::vector<int16_t>& s) {
  size_t from = s.size() / 4, to = 3 * s.size() / 4, first = 0, last = 0;
  int crossings = 0;
  for (size_t i = from + 1; i < to; ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) {
      if (crossings == 0) first = i;
      last = i;
      ++crossings;
    }
  }
  return crossings > 1 ? 8000.0 * (crossings - 1) / static_cast<double>(last - first) : 0;
}

std::vector<int16_t> Noise(size_t count) {
  std::vector<int16_t> out(count);
  uint32_t state = 99;
  for (auto& v : out) {
    state = state * 1103515245u + 12345u;
    v = static_cast<int16_t>(static_cast<int>((state >> 16) % 61) - 30);
  }
  return out;
}

std::vector<int16_t> RunChain(CPlaybackChain& chain, const std::vector<int16_t>& in) {
  std::vector<int16_t> out;
  for (size_t i = 0; i < in.size(); i += 8000) chain.Put(in.data() + i, std::min<size_t>(8000, in.size() - i), out);
  chain.Finish(out);
  return out;
}

TEST(PlaybackChain, SpeedKeepsPitchAndTime) {
  for (double speed : {2.0, 0.5}) {
    CPlaybackChain chain({speed, false, false}, 0, 1);
    std::vector<int16_t> out = RunChain(chain, Tone(440, 80000));
    EXPECT_NEAR(Frequency(out), 440.0, 440 * 0.02) << speed;
    EXPECT_NEAR(static_cast<double>(out.size()), 80000 / speed, 80) << speed;
    EXPECT_EQ(chain.SourceAt(static_cast<int64_t>(out.size())), 80000);
    EXPECT_NEAR(static_cast<double>(chain.SourceAt(static_cast<int64_t>(out.size() / 2))), 40000, 800);
  }
  EXPECT_DOUBLE_EQ(CTimeStretch::SnapTempo(1.26), 1.3);
  EXPECT_DOUBLE_EQ(CTimeStretch::SnapTempo(9), 2.0);
  EXPECT_DOUBLE_EQ(CTimeStretch::SnapTempo(NAN), 1.0);
}

TEST(PlaybackChain, LongPauseIsPlayedAsThreeTenths) {
  std::vector<int16_t> call = Speech(40000, 3);
  std::vector<int16_t> pause = Noise(80000), shortPause = Noise(8000);
  call.insert(call.end(), pause.begin(), pause.end());
  std::vector<int16_t> more = Speech(40000, 5);
  call.insert(call.end(), more.begin(), more.end());
  call.insert(call.end(), shortPause.begin(), shortPause.end());  // 1 s: kept whole
  call.insert(call.end(), more.begin(), more.end());
  const double threshold = CSilenceSkipper::NoiseThreshold(call.data(), call.size());
  CPlaybackChain chain({1.0, true, false}, threshold, 1);
  std::vector<int16_t> out = RunChain(chain, call);
  EXPECT_NEAR(static_cast<double>(call.size() - out.size()) / 8000, 9.7, 0.1);
  // The position sweeps through the pause and never runs backwards.
  int64_t previous = 0;
  for (int64_t o = 0; o <= static_cast<int64_t>(out.size()); o += 100) {
    int64_t source = chain.SourceAt(o);
    ASSERT_GE(source, previous) << o;
    previous = source;
  }
  EXPECT_EQ(chain.SourceAt(static_cast<int64_t>(out.size())), static_cast<int64_t>(call.size()));
}

TEST(PlaybackChain, NormalisedSpeechMeasuresTarget) {
  for (double level : {0.05, 1.0}) {
    std::vector<int16_t> speech = Speech(8000 * 20, 11);
    for (auto& v : speech) v = static_cast<int16_t>(v * level);
    ASSERT_TRUE(zel::NormaliseLoudness(speech));
    auto after = zel::MeasureLoudness(speech.data(), speech.size());
    ASSERT_TRUE(after);
    EXPECT_NEAR(*after, zel::kTargetLoudness, 1.0) << level;
    for (int16_t v : speech) ASSERT_LE(std::abs(v), static_cast<int>(CLevelLimiter::kCeiling) + 1);
  }
  // The player's gain, found on slices of a long call, levels the whole of it.
  std::vector<int16_t> call = Speech(8000 * 60 * 15, 13);
  for (size_t i = 0; i < call.size() / 2; ++i) call[i] = static_cast<int16_t>(call[i] / 2);
  CLevelLimiter limiter(*zel::EvenLoudnessGain(call.data(), call.size()));
  limiter.Apply(call);
  EXPECT_NEAR(*zel::MeasureLoudness(call.data(), call.size()), zel::kTargetLoudness, 0.7);
  std::vector<int16_t> silence(16000, 0);
  EXPECT_FALSE(zel::NormaliseLoudness(silence));
}

// The playback manager with its chain, playing into the fake device.
class ChainedManager : public ::testing::Test {
 protected:
  ChainedManager() {
    manager.SetWaveOutFactory(FakeFactory(control));
    manager.SetFrameWindow(&window);
  }
  ~ChainedManager() override {
    manager.Close();
    manager.SetFrameWindow(nullptr);
  }
  // A PCM recording of `samples`.
  std::string Make(const std::string& name, const std::vector<int16_t>& samples) {
    RecordingDescription d;
    d.formatTag = 6;
    d.duration = static_cast<uint32_t>(samples.size() / 8000);
    return MakeRecording(dir, name, samples, d);
  }

  std::shared_ptr<FakeDeviceControl> control = std::make_shared<FakeDeviceControl>();
  CPlaybackManager manager;
  FakeWindow window{manager};
  TempDir dir;
};

TEST_F(ChainedManager, PlaysSixtySecondsInThirtyAtDoubleSpeed) {
  ASSERT_TRUE(manager.Load(Make("Rec.zel", Speech(480000)), ""));
  manager.SetPlaybackOptions({2.0, false, false});
  CPlayerState player(manager);
  manager.PlayStop(true, false);
  int ms = 0;
  while (manager.IsPlaying() && ms < 40000) {
    control->Advance(200);
    window.Pump();
    ms += 200;
    if (ms == 10000) {
      EXPECT_NEAR(manager.Position(), 160000, 1600);
    }
    player.Tick();
  }
  EXPECT_NEAR(ms, 30000, 400);
  // A change of speed while playing goes on from the sample being heard.
  manager.PlayStop(true, false);
  control->Advance(5000);
  window.Pump();
  const int before = manager.Position();
  manager.SetPlaybackOptions({1.0, false, false});
  EXPECT_NEAR(manager.Position(), before, 100);
  control->Advance(1000);
  window.Pump();
  EXPECT_NEAR(manager.Position(), before + 8000, 200);
}

TEST_F(ChainedManager, PlaysQuietPeakySpeechAtTheTarget) {
  std::vector<int16_t> heard;
  control->onWrite = [&] {
    const int16_t* data = control->writtenData.back();
    heard.insert(heard.end(), data, data + control->writtenLengths.back() / 2);
  };
  // Quiet speech with loud clicks: the limiter takes loudness off each click, which
  // the gain must make up for.
  std::vector<int16_t> call = Speech(240000, 17);
  for (size_t i = 0; i < call.size(); ++i) call[i] = static_cast<int16_t>(call[i] / 4 + (i % 4000 < 40 ? 12000 : 0));
  // Loading another call first: its measurement is cut short by the next load.
  ASSERT_TRUE(manager.Load(Make("Other.zel", Speech(240000, 3)), ""));
  manager.SetPlaybackOptions({1.0, false, true});
  ASSERT_TRUE(manager.Load(Make("Rec.zel", call), ""));
  // The fake device plays faster than the gain is found; a real one gives it time.
  for (int ms = 0; !manager.LoudnessFound() && ms < 5000; ms += 10) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  manager.PlayStop(true, false);
  for (int ms = 0; manager.IsPlaying() && ms < 40000; ms += 200) {
    control->Advance(200);
    window.Pump();
  }
  ASSERT_EQ(heard.size(), call.size());
  EXPECT_NEAR(*zel::MeasureLoudness(heard.data(), heard.size()), zel::kTargetLoudness, 0.5);
}

}  // namespace
