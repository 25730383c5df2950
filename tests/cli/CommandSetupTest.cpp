#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording/CRecordingWriter.h"
#include "support/TestSupport.h"

namespace {

using zeltest::RunZelctl;

class CommandSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recording_ = dir_.File("4711-20260105 080000.zel");
    RecordingDescription d;
    d.formatTag = 7;
    std::vector<int16_t> pcm = CRecordingWriter::SynthesizeVoice(8000, 1);
    ASSERT_TRUE(CRecordingWriter::Write(recording_, d, pcm.data(), pcm.size()));
  }
  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
  std::string recording_;
};

TEST_F(CommandSetupTest, OnlyPlayLoadsTheSoundLibraries) {
  auto libraries = zeltest::RunShell("ldd " + zeltest::ShellQuote(ZELCTL_PATH));
  ASSERT_EQ(libraries.exitCode, 0);
  EXPECT_EQ(libraries.out.find("libQt"), std::string::npos) << libraries.out;
}

TEST_F(CommandSetupTest, AnUnreadablePassphraseFileIsAFileThatCannotBeRead) {
  const std::string none = dir_.File("none.txt");
  const std::string out = dir_.File("out");
  const std::vector<std::vector<std::string>> commands = {
      {"info", recording_},
      {"entry", recording_},
      {"annotate", recording_, "--comment", "x"},
      {"pcm", recording_, "-o", out},
      {"clip", recording_, "-o", out},
      {"export", recording_, "-o", out},
      {"list", dir_.File("x.reclist")},
      {"search", dir_.path()},
      {"archive", "--type", "zip", "--target", dir_.File("a.zip"), dir_.path()},
      {"make-demo", dir_.File("demo")},
      {"play", recording_},
  };
  for (std::vector<std::string> args : commands) {
    args.insert(args.end(), {"--passphrase-file", none});
    auto r = RunZelctl(args);
    EXPECT_EQ(r.exitCode, 1) << args[0] << ": " << r.err;
    EXPECT_NE(r.err.find("cannot read passphrase file"), std::string::npos) << args[0] << ": " << r.err;
  }
}

TEST_F(CommandSetupTest, BookmarkValuesSayWhatIsWrong) {
  auto tooLarge = RunZelctl({"annotate", recording_, "--bookmark", "5", "99999999999"});
  EXPECT_EQ(tooLarge.exitCode, 2);
  EXPECT_NE(tooLarge.err.find("END 99999999999 is too large"), std::string::npos) << tooLarge.err;
  EXPECT_EQ(tooLarge.err.find("START < END"), std::string::npos);
  auto startTooLarge = RunZelctl({"annotate", recording_, "--bookmark", "999999:00:00", "5"});
  EXPECT_NE(startTooLarge.err.find("START 999999:00:00 is too large"), std::string::npos) << startTooLarge.err;
  auto reversed = RunZelctl({"annotate", recording_, "--bookmark", "9", "5"});
  EXPECT_EQ(reversed.exitCode, 2);
  EXPECT_NE(reversed.err.find("START < END"), std::string::npos);
  auto malformed = RunZelctl({"annotate", recording_, "--bookmark", "1:75", "5"});
  EXPECT_EQ(malformed.exitCode, 2);
  EXPECT_NE(malformed.err.find("usage: zelctl annotate"), std::string::npos);
  // The largest value the header holds is taken.
  EXPECT_EQ(RunZelctl({"annotate", recording_, "--bookmark", "5", "2147483647"}).exitCode, 0);
}

TEST_F(CommandSetupTest, UsageErrorsNameTheCommandAndShowItsUsage) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"settings", "extra"}, {"paths", "--json"}, {"schedule", "show", "--passphrase", "p"},
           {"archive-log", "--report"}, {"pcm", recording_, "-o"}}) {
    auto r = RunZelctl(args);
    EXPECT_EQ(r.exitCode, 2) << args[0];
    EXPECT_EQ(r.err.rfind("zelctl " + args[0] + ": ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\nusage: zelctl " + args[0]), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
}

}  // namespace
