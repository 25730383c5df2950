// zelctl play against the private PulseAudio daemon (started by the environment of
// this test program), and without any sound server.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/audioout/AudioOutSupport.h"
#include "tests/qtaudio/PulseServer.h"

using namespace zeltest;

namespace zeltest {
bool PulseIsUp();
std::string PulseError();
}  // namespace zeltest

namespace {

class PlayCli : public ::testing::Test {
 protected:
  std::string Recording(int seconds) {
    RecordingDescription d;
    d.formatTag = 49;
    return MakeRecording(dir_, "Call" + std::to_string(seconds) + ".zel", Speech(seconds * 8000), d);
  }
  std::string Env() const {
    return "XDG_CONFIG_HOME=" + ShellQuote(xdg_.ConfigHome()) +
           " XDG_DATA_HOME=" + ShellQuote(xdg_.DataHome()) + " ";
  }
  XdgSandbox xdg_;
  TempDir dir_;
};

}  // namespace

// At normal and at half speed: the end is found however fast the device runs.
TEST_F(PlayCli, PlaysToTheEndAndReportsThePosition) {
  if (!PulseIsUp()) GTEST_SKIP() << "no PulseAudio daemon: " << PulseError();
  std::string path = Recording(2);
  for (double speed : {1.0, 0.5}) {
    auto start = std::chrono::steady_clock::now();
    CommandResult r = RunZelctl({"play", path, "--speed", speed == 1.0 ? "1" : "0.5"}, Env());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("00:00:02 / 00:00:02"), std::string::npos) << r.err;
    EXPECT_GT(seconds, 1.6 / speed) << speed;
    EXPECT_LT(seconds, 5.0 / speed) << speed;
  }
}

TEST_F(PlayCli, DoubleSpeedPlaysFourSecondsInTwoAndBadSpeedsAreRefused) {
  std::string path = Recording(4);
  for (const char* bad : {"2.5", "0.4", "fast", ""}) EXPECT_EQ(RunZelctl({"play", path, "--speed", bad}, Env()).exitCode, 2) << bad;
  if (!PulseIsUp()) GTEST_SKIP() << "no PulseAudio daemon: " << PulseError();
  auto start = std::chrono::steady_clock::now();
  CommandResult r = RunZelctl({"play", path, "--speed", "2", "--normalise", "--skip-silence"}, Env());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("00:00:04 / 00:00:04"), std::string::npos) << r.err;
  EXPECT_LT(seconds, 3.6);
}

TEST_F(PlayCli, CtrlCStopsCleanlyWithStatus130) {
  if (!PulseIsUp()) GTEST_SKIP() << "no PulseAudio daemon: " << PulseError();
  std::string path = Recording(20);
  auto start = std::chrono::steady_clock::now();
  CommandResult r = RunShell(Env() + ShellQuote(ZELCTL_PATH) + " play " + ShellQuote(path) +
                             " & pid=$!; sleep 1.5; kill -INT $pid; wait $pid; echo status=$?");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_NE(r.out.find("status=130"), std::string::npos) << r.out << r.err;
  EXPECT_LT(seconds, 5.0);
  // It left through its own shutdown (which prints the last position), not by dying
  // from the signal.
  EXPECT_NE(r.err.find(" / 00:00:20"), std::string::npos) << r.err;
}

TEST_F(PlayCli, NoSoundServerMeansNoPlaybackDevice) {
  std::string path = Recording(1);
  CommandResult r =
      RunZelctl({"play", path}, Env() + "PULSE_SERVER=unix:" + ShellQuote(dir_.File("none")) + " ");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("ERROR! Unable to open audio playback device\n\nNo playback device available"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(RunZelctl({"play"}, Env()).exitCode, 2);
}
