// zelctl export: the layouts chosen by the options and the argument checks.
#include <gtest/gtest.h>

#include <cstring>

#include "audio/Loudness.h"
#include "recording/CKlRecordFile.h"
#include "tests/audioout/AudioOutSupport.h"

using namespace zeltest;

namespace {

class ExportCli : public ::testing::Test {
 protected:
  void SetUp() override {
    RecordingDescription d;
    d.formatTag = 6;
    d.bookmarkStart = 1;
    d.bookmarkEnd = 3;
    pcm_ = Speech(4 * 8000, 21);
    marked_ = MakeRecording(dir_, "Marked.zel", pcm_, d);
    d.bookmarkStart = d.bookmarkEnd = -1;
    plain_ = MakeRecording(dir_, "Plain.zel", pcm_, d);
    ASSERT_FALSE(marked_.empty());
  }
  CommandResult Export(const std::vector<std::string>& args) {
    return RunZelctl(args, "XDG_CONFIG_HOME=" + ShellQuote(xdg_.ConfigHome()) +
                               " XDG_DATA_HOME=" + ShellQuote(xdg_.DataHome()) + " ");
  }
  XdgSandbox xdg_;
  TempDir dir_;
  std::vector<int16_t> pcm_;
  std::string marked_, plain_;
};

}  // namespace

TEST_F(ExportCli, WavLayoutsNativeCopiesAndClips) {
  CommandResult r = Export({"export", plain_, "-o", dir_.File("a")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"format\":\"gsm\""), std::string::npos) << r.out;
  std::string gsm = ReadFile(dir_.File("a.wav"));
  ASSERT_GE(gsm.size(), 60u);
  EXPECT_EQ(gsm[20], 49);
  EXPECT_EQ(U32At(gsm, 48), 32000u);

  r = Export({"export", plain_, "-o", dir_.File("b.WAV"), "--pcm"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string pcm = ReadFile(dir_.File("b.WAV"));
  ASSERT_EQ(pcm.size(), 44u + 64000);
  // Exactly the samples the reader decodes.
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecordingAndWait(plain_, ""), 1);
  const int16_t* samples = nullptr;
  ASSERT_EQ(file.GetSamples(0, 32000, &samples), 32000);
  EXPECT_EQ(LeSamples(pcm, 44), std::vector<int16_t>(samples, samples + 32000));

  r = Export({"export", marked_, "-o", dir_.File("span"), "--pcm", "--clip"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string span = ReadFile(dir_.File("span.wav"));
  ASSERT_EQ(span.size(), 44u + 2 * 16000);
  EXPECT_EQ(span.substr(44, 64), pcm.substr(44 + 2 * 8000, 64));

  r = Export({"export", marked_, "-o", dir_.File("copy.zel"), "--native"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_.File("copy.zel")), ReadFile(marked_));

  r = Export({"export", marked_, "-o", dir_.File("clip"), "--native", "--clip"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string clip = ReadFile(dir_.File("clip.zel"));
  // Header plus 2 s of GSM: 100 frames of 33 bytes.
  EXPECT_EQ(clip.size(), 1440u + 100 * 33);
}

TEST_F(ExportCli, BadArgumentsAndInputsFail) {
  EXPECT_EQ(Export({"export", plain_}).exitCode, 2);
  EXPECT_EQ(Export({"export", plain_, "-o", dir_.File("x"), "--pcm", "--gsm"}).exitCode, 2);
  EXPECT_EQ(Export({"export", plain_, "-o", dir_.File("x"), "--native", "--pcm"}).exitCode, 2);
  CommandResult r = Export({"export", plain_, "-o", dir_.File("x"), "--clip"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("no bookmark"), std::string::npos) << r.err;
  WriteFile(dir_.File("junk.zel"), std::string(3000, '\x7f'));
  EXPECT_EQ(Export({"export", dir_.File("junk.zel"), "-o", dir_.File("x")}).exitCode, 1);
  r = Export({"export", plain_, "-o", dir_.File("missing/x")});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_FALSE(FileExists(dir_.File("x.wav")));
}

TEST_F(ExportCli, CompactFormatsByName) {
  CommandResult r = Export({"export", marked_, "-o", dir_.File("span"), "--format", "flac", "--clip"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"format\":\"flac\""), std::string::npos) << r.out;
  EXPECT_EQ(ReadFile(dir_.File("span.flac")).substr(0, 4), "fLaC");
  r = Export({"export", plain_, "-o", dir_.File("whole.opus"), "--format", "opus"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_.File("whole.opus")).substr(0, 4), "OggS");
  r = Export({"export", plain_, "-o", dir_.File("w"), "--format", "wav"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_.File("w.wav")).size(), 44u + 64000);
  EXPECT_EQ(Export({"export", plain_, "-o", dir_.File("x"), "--format", "ogg"}).exitCode, 2);
  EXPECT_EQ(Export({"export", plain_, "-o", dir_.File("x"), "--format", "mp3", "--pcm"}).exitCode, 2);
}

// Even loudness: the written samples measure -16 LUFS, for the whole call and for
// its span; a native copy has nothing to level.
TEST_F(ExportCli, NormalisedExportsMeasureTheTargetLoudness) {
  for (bool clip : {false, true}) {
    std::vector<std::string> args{"export", marked_, "-o", dir_.File("level"), "--format", "wav", "--normalise"};
    if (clip) args.push_back("--clip");
    CommandResult r = Export(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"loudnessBefore\":-"), std::string::npos) << r.out;
    const std::string wav = ReadFile(dir_.File("level.wav"));
    ASSERT_EQ(wav.size(), 44u + (clip ? 2 : 4) * 16000) << clip;
    std::vector<int16_t> samples((wav.size() - 44) / 2);
    std::memcpy(samples.data(), wav.data() + 44, samples.size() * 2);
    const auto loudness = zel::MeasureLoudness(samples.data(), samples.size());
    ASSERT_TRUE(loudness.has_value());
    EXPECT_NEAR(*loudness, zel::kTargetLoudness, 1.0) << clip;
  }
  EXPECT_EQ(Export({"export", plain_, "-o", dir_.File("n"), "--native", "--normalise"}).exitCode, 2);
}
