// The playback manager against the fake device, whose clock only moves when a test
// advances it: buffer sizes and order, positions, pause and seek, device errors.
#include <gtest/gtest.h>

#include "audio/CPlaybackManager.h"
#include "audio/CPlayerState.h"
#include "recording/CKlRecordFileHdr.h"
#include "tests/audioout/AudioOutSupport.h"
#include "tests/audioout/FakeWaveOut.h"

using namespace zeltest;

namespace {

class PlaybackTest : public ::testing::Test {
 protected:
  PlaybackTest() : window_(manager_) {
    control_ = std::make_shared<FakeDeviceControl>();
    manager_.SetWaveOutFactory(FakeFactory(control_));
    manager_.SetFrameWindow(&window_);
  }
  // The window goes before the manager: close the device that points at it first.
  ~PlaybackTest() override {
    manager_.Close();
    manager_.SetFrameWindow(nullptr);
  }
  // A-law recording of `samples` samples with `duration` seconds in its header.
  void LoadRecording(size_t samples, int64_t duration) {
    RecordingDescription d;
    d.formatTag = 6;
    d.duration = duration;
    std::string path = MakeRecording(dir_, "Rec.zel", Speech(samples), d);
    ASSERT_TRUE(manager_.Load(path, ""));
  }
  // Plays `ms` and delivers the notifications, as the message loop would.
  void Run(int ms) {
    control_->Advance(ms);
    window_.Pump();
  }
  const int16_t* SampleAt(int i) {
    const int16_t* p = nullptr;
    manager_.Recording().GetSamples(i, 1, &p);
    return p;
  }

  XdgSandbox xdg_;
  TempDir dir_;
  ScopedMessages messages_;
  std::shared_ptr<FakeDeviceControl> control_;
  CPlaybackManager manager_;
  FakeWindow window_;
};

}  // namespace

TEST_F(PlaybackTest, ShortRecordingQueuesTwoBuffersThenTheRest) {
  LoadRecording(20000, 2);
  ASSERT_TRUE(manager_.CanPlay());
  manager_.PlayStop(true, false);
  EXPECT_TRUE(manager_.IsPlaying());
  EXPECT_EQ(control_->writtenLengths, (std::vector<uint32_t>{16000, 16000}));
  EXPECT_EQ(manager_.QueuedBuffers(), 2);
  EXPECT_FALSE(manager_.CanPlay());
  Run(999);
  EXPECT_EQ(control_->writtenLengths.size(), 2u) << "a buffer returned before it was played";
  Run(1);
  EXPECT_EQ(control_->writtenLengths, (std::vector<uint32_t>{16000, 16000, 8000}));
  // The buffers point into the decoded samples, in order.
  EXPECT_EQ(control_->writtenData, (std::vector<const int16_t*>{SampleAt(0), SampleAt(8000),
                                                                SampleAt(16000)}));
  EXPECT_EQ(manager_.Position(), 8000);
  Run(1500);
  // Everything played: the device stays open with an empty queue until stopped.
  EXPECT_EQ(manager_.QueuedBuffers(), 0);
  EXPECT_EQ(manager_.QueueLength(), 0u);
  EXPECT_TRUE(manager_.IsPlaying());
  EXPECT_TRUE(manager_.DeviceOpen());
  EXPECT_EQ(manager_.Position(), 16000) << "capped at Duration x 8000";
  // A further notification with nothing queued stops playback.
  manager_.OnWaveNotify(zel::kMmWomDone);
  EXPECT_FALSE(manager_.IsPlaying());
  EXPECT_FALSE(manager_.DeviceOpen());
}

TEST_F(PlaybackTest, FourBuffersStayInFlight) {
  LoadRecording(10 * 8000, 10);
  manager_.PlayStop(true, false);
  EXPECT_EQ(manager_.QueuedBuffers(), 4);
  for (int second = 1; second <= 5; ++second) {
    Run(1000);
    EXPECT_EQ(manager_.QueuedBuffers(), 4) << second;
    EXPECT_EQ(manager_.Position(), second * 8000);
  }
  EXPECT_EQ(control_->writtenLengths.size(), 9u);
  for (int second = 6; second <= 10; ++second) Run(1000);
  EXPECT_EQ(control_->writtenLengths.size(), 10u);
  EXPECT_EQ(manager_.QueuedBuffers(), 0);
  EXPECT_EQ(manager_.Position(), 80000);
}

TEST_F(PlaybackTest, PauseResumesFromTheHeardPositionNotTheQueuedOne) {
  LoadRecording(10 * 8000, 10);
  manager_.PlayStop(true, false);
  Run(3200);
  EXPECT_EQ(manager_.QueuePosition(), 7 * 8000);
  manager_.TogglePause();
  EXPECT_TRUE(manager_.IsPaused());
  EXPECT_FALSE(manager_.IsPlaying());
  EXPECT_FALSE(manager_.DeviceOpen());
  EXPECT_EQ(manager_.Position(), 25600);
  control_->writtenData.clear();
  manager_.TogglePause();
  EXPECT_FALSE(manager_.IsPaused());
  EXPECT_TRUE(manager_.IsPlaying());
  ASSERT_FALSE(control_->writtenData.empty());
  EXPECT_EQ(control_->writtenData[0], SampleAt(25600));
  EXPECT_EQ(manager_.Position(), 25600);
  Run(500);
  EXPECT_EQ(manager_.Position(), 25600 + 4000);
  // Resuming with 6.8 s left queues four buffers; n = 10 - 3 = 7 allowed.
  EXPECT_EQ(manager_.QueuedBuffers(), 4);
}

TEST_F(PlaybackTest, PositionNeverPassesTheDuration) {
  LoadRecording(3 * 8000, 3);
  manager_.PlayStop(true, false);
  control_->extraPositionBytes = 1000000;
  EXPECT_EQ(manager_.Position(), 24000);
}

TEST_F(PlaybackTest, SeekClampsAndIsIgnoredWhilePlaying) {
  LoadRecording(3 * 8000 + 100, 3);
  manager_.Seek(-5);
  EXPECT_EQ(manager_.Position(), 0);
  manager_.Seek(1000000);
  EXPECT_EQ(manager_.QueuePosition(), 3 * 8000 + 100);
  manager_.Seek(12000);
  EXPECT_EQ(manager_.Position(), 12000);
  manager_.PlayStop(true, false);
  EXPECT_EQ(control_->writtenData.at(0), SampleAt(12000));
  manager_.Seek(100);
  EXPECT_EQ(manager_.Position(), 12000);
  EXPECT_EQ(manager_.StartPosition(), 12000);
}

TEST_F(PlaybackTest, StopRewindOnAPausedRecordingClearsPaused) {
  LoadRecording(5 * 8000, 5);
  manager_.PlayStop(true, false);
  Run(1500);
  manager_.TogglePause();
  ASSERT_TRUE(manager_.IsPaused());
  manager_.PlayStop(false, true);
  EXPECT_FALSE(manager_.IsPaused());
  EXPECT_FALSE(manager_.IsPlaying());
  EXPECT_EQ(manager_.Position(), 0);
  EXPECT_EQ(manager_.QueuePosition(), 0);
}

TEST_F(PlaybackTest, DeviceErrorsShowTheirMessageAndStartNothing) {
  LoadRecording(2 * 8000, 2);
  control_->openResult = zel::kWaveAllocated;
  manager_.PlayStop(true, false);
  control_->openResult = zel::kWaveNoDriver;
  manager_.PlayStop(true, false);
  control_->openResult = zel::kWaveError;
  manager_.PlayStop(true, false);
  EXPECT_EQ(messages_.messages(),
            (std::vector<std::string>{
                "ERROR! Unable to open audio playback device\n\nPlayback device already in use",
                "ERROR! Unable to open audio playback device\n\nNo playback device available",
                "ERROR! There was an error opening your audio device.\n\nError Code = 1"}));
  EXPECT_FALSE(manager_.IsPlaying());
  EXPECT_FALSE(manager_.DeviceOpen());
  EXPECT_TRUE(control_->writtenLengths.empty());
  EXPECT_TRUE(manager_.CanPlay());
  // Without any device factory there is no device at all.
  CPlaybackManager bare;
  bare.Play();
  EXPECT_EQ(messages_.messages().back(),
            "ERROR! Unable to open audio playback device\n\nNo playback device available");
}

TEST_F(PlaybackTest, AFailedPrepareStaysQueuedUncountedUntilStop) {
  LoadRecording(10 * 8000, 10);
  control_->prepareFailures = 1;
  manager_.PlayStop(true, false);
  // The first header failed; the following ones retry it at index QueuedCount 0.
  EXPECT_EQ(manager_.QueueLength(), 4u);
  EXPECT_EQ(manager_.QueuedBuffers(), 3);
  manager_.PlayStop(false, true);
  EXPECT_EQ(manager_.QueueLength(), 0u);
  EXPECT_EQ(manager_.QueuedBuffers(), 0);
}

TEST_F(PlaybackTest, DeviceCloseNotificationAndLoadFailure) {
  LoadRecording(4 * 8000, 4);
  manager_.PlayStop(true, false);
  manager_.OnWaveNotify(zel::kMmWomClose);
  EXPECT_FALSE(manager_.IsPlaying());
  EXPECT_EQ(control_->closes, 1);
  // Notifications still queued for the closed device are withdrawn.
  EXPECT_EQ(window_.Pending(), 0u);

  WriteFile(dir_.File("bad.zel"), std::string(100, 'x'));
  EXPECT_FALSE(manager_.Load(dir_.File("bad.zel"), ""));
  EXPECT_FALSE(manager_.IsLoaded());
  EXPECT_FALSE(manager_.CanPlay());
  EXPECT_FALSE(manager_.AudioArchived());
  // What archiving leaves when it removes the audio: the header alone.
  CKlRecordFileHdr header;
  ASSERT_EQ(header.LoadHeader(dir_.File("Rec.zel"), ""), 1440);
  ASSERT_EQ(header.SaveHeader(dir_.File("archived.zel")), 1);
  EXPECT_FALSE(manager_.Load(dir_.File("archived.zel"), ""));
  EXPECT_TRUE(manager_.AudioArchived());
  manager_.PlayStop(true, false);
  EXPECT_FALSE(manager_.IsPlaying());
}

TEST_F(PlaybackTest, LoadingAnotherRecordingStopsThePlayingOne) {
  LoadRecording(5 * 8000, 5);
  manager_.PlayStop(true, false);
  Run(300);
  RecordingDescription d;
  d.formatTag = 6;
  std::string other = MakeRecording(dir_, "Other.zel", Speech(8000, 9), d);
  ASSERT_TRUE(manager_.Load(other, ""));
  EXPECT_FALSE(manager_.IsPlaying());
  EXPECT_FALSE(manager_.DeviceOpen());
  EXPECT_EQ(manager_.Position(), 0);
  EXPECT_TRUE(manager_.CanPlay());
}

TEST_F(PlaybackTest, LongGsmRecordingIsPlayableBeforeItIsFullyDecoded) {
  RecordingDescription d;
  d.formatTag = 49;
  std::string path = MakeRecording(dir_, "Long.zel", Speech(15 * 60 * 8000), d);
  ASSERT_TRUE(manager_.Load(path, ""));
  // Load returns with the first buffers decoded, whether or not decoding has ended;
  // CanPlay follows the decoding.
  int decoded = manager_.Recording().DecodedCount();
  EXPECT_GE(decoded, 4 * 8000);
  EXPECT_EQ(manager_.CanPlay(), manager_.Recording().IsReady() ||
                                    decoded > CPlaybackManager::kPlayableSamples);
  manager_.PlayStop(true, false);
  EXPECT_EQ(control_->writtenLengths.size(), 4u);
  // What was handed to the device is decoded audio, not the zeros of a buffer
  // still being filled.
  int nonZero = 0;
  for (int i = 0; i < 4 * 8000; ++i) nonZero += control_->writtenData[0][i] != 0;
  EXPECT_GT(nonZero, 4 * 8000 / 2);
  manager_.PlayStop(false, true);
  EXPECT_TRUE(manager_.FinishDecoding());
  EXPECT_EQ(manager_.Recording().DecodedCount(), manager_.Recording().SampleCount());
  EXPECT_TRUE(manager_.CanPlay());
  manager_.Close();
  EXPECT_FALSE(manager_.IsLoaded());
  EXPECT_FALSE(manager_.CanPlay());
}

TEST_F(PlaybackTest, HeaderlessFileWithoutDurationIsCappedAtItsEnd) {
  // A ".wav"-named file is raw PCM without a header: its Duration is 0, so a cap at
  // Duration x 8000 would pin the position at 0 for the whole call.
  std::vector<int16_t> pcm = Speech(12000, 4);
  WriteFile(dir_.File("raw.wav"), std::string(reinterpret_cast<const char*>(pcm.data()), 2 * pcm.size()));
  ASSERT_TRUE(manager_.Load(dir_.File("raw.wav"), ""));
  ASSERT_EQ(manager_.Recording().Header().Duration(), 0u);
  manager_.PlayStop(true, false);
  EXPECT_EQ(control_->writtenLengths, (std::vector<uint32_t>{16000}));
  Run(500);
  EXPECT_EQ(manager_.Position(), 4000);
  Run(1000);
  Run(1000);
  EXPECT_EQ(manager_.Position(), 12000);
  control_->extraPositionBytes = 100000;
  EXPECT_EQ(manager_.Position(), 12000);
}

TEST_F(PlaybackTest, PlayerStopsAtTheEndAndStepsWithinTheCall) {
  CPlayerState player(manager_);
  EXPECT_EQ(player.DurationText(), "");
  EXPECT_FALSE(player.Tick());
  LoadRecording(3 * 8000, 3);
  EXPECT_EQ(player.DurationText(), "00:00:03");
  manager_.PlayStop(true, false);

  // Forward and back while playing: paused for the move, then playing on.
  player.Step(8000);
  EXPECT_TRUE(manager_.IsPlaying());
  EXPECT_EQ(manager_.Position(), 8000);
  player.Step(-16000);  // before the start: stop and rewind
  EXPECT_FALSE(manager_.IsPlaying());
  EXPECT_EQ(manager_.Position(), 0);

  manager_.PlayStop(true, false);
  Run(2900);
  EXPECT_FALSE(player.Tick());
  EXPECT_EQ(player.LastPositionText(), "00:00:02");
  EXPECT_TRUE(manager_.IsPlaying());
  Run(200);
  EXPECT_TRUE(player.Tick()) << "the end is the position text reaching the duration";
  EXPECT_EQ(player.LastPositionText(), "00:00:03");
  EXPECT_FALSE(manager_.IsPlaying());
  EXPECT_EQ(manager_.Position(), 0);
  EXPECT_FALSE(player.Tick());
}
