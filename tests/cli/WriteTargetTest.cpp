#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "recording/CRecordingWriter.h"
#include "support/TestSupport.h"

namespace {

using zeltest::RunZelctl;

class WriteTargetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stem_ = dir_.File("4711-20260105 080000");
    recording_ = stem_ + ".zel";
    RecordingDescription d;
    d.formatTag = 7;
    d.bookmarkStart = 1;
    d.bookmarkEnd = 2;
    std::vector<int16_t> pcm = CRecordingWriter::SynthesizeVoice(3 * 8000, 1);
    ASSERT_TRUE(CRecordingWriter::Write(recording_, d, pcm.data(), pcm.size()));
    original_ = zeltest::ReadFile(recording_);
  }
  zeltest::XdgSandbox sandbox_;
  zeltest::TempDir dir_;
  std::string stem_, recording_, original_;
};

TEST_F(WriteTargetTest, WritersRefuseTheRecordingTheyRead) {
  std::string link = dir_.File("link.zel");
  ASSERT_EQ(::symlink(recording_.c_str(), link.c_str()), 0);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"clip", recording_, "-o", recording_},
           {"clip", recording_, "-o", stem_},  // ".zel" is added
           {"export", recording_, "--native", "-o", stem_},
           {"export", recording_, "--native", "--clip", "-o", stem_},
           {"pcm", recording_, "-o", recording_},
           {"pcm", recording_, "-o", link}}) {
    auto r = RunZelctl(args);
    EXPECT_EQ(r.exitCode, 1) << args[0] << " -o " << args.back();
    EXPECT_NE(r.err.find("being read"), std::string::npos) << r.err;
    ASSERT_EQ(zeltest::ReadFile(recording_), original_) << args[0] << " -o " << args.back();
  }
}

TEST_F(WriteTargetTest, ClipWithoutExtensionIsARecording) {
  auto r = RunZelctl({"clip", recording_, "-o", dir_.File("span")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"path\":\"" + dir_.File("span.zel") + "\""), std::string::npos) << r.out;
  EXPECT_FALSE(zeltest::FileExists(dir_.File("span")));
  EXPECT_EQ(RunZelctl({"info", dir_.File("span.zel")}).exitCode, 0);
}

TEST_F(WriteTargetTest, AnnotateNamesTheFieldChangedToFit) {
  auto changed = RunZelctl({"annotate", recording_, "--caller", "\xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb0",
                            "--comment", "R\xc3\xbc" "ckruf"});
  EXPECT_EQ(changed.exitCode, 0) << changed.err;
  EXPECT_NE(changed.err.find("the caller ID was changed to fit"), std::string::npos) << changed.err;
  EXPECT_EQ(changed.err.find("comment"), std::string::npos) << changed.err;
  auto fits = RunZelctl({"annotate", recording_, "--comment", "\xe2\x82\xac 20"});  // the euro sign fits
  EXPECT_EQ(fits.exitCode, 0);
  EXPECT_EQ(fits.err, "");
}

}  // namespace
