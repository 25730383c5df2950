// MP3, Opus and FLAC exports: other decoders read them back with the same length,
// the rates and tags are the ones promised, and the save rules are those of WAV.
#include <gtest/gtest.h>

#include <filesystem>

#include "audio/CompactExport.h"
#include "core/WriteTarget.h"
#include "recording/CKlRecordFile.h"
#include "tests/audioout/AudioOutSupport.h"

using namespace zeltest;
using zel::CompactFormat;

namespace {

struct Decoder {
  CompactFormat format;
  const char* tool;
  const char* command;  // %1 the input, %2 the 8 kHz WAV written
  size_t frame;         // samples in one coded frame
};

// lame and opusdec honour the encoder delay and padding the files record, as
// gapless players do; sox reads FLAC.
const Decoder kDecoders[] = {
    {CompactFormat::Mp3, "lame", "lame --quiet --decode %1 %2", 576},
    {CompactFormat::Opus, "opusdec", "opusdec --quiet --rate 8000 %1 %2", 160},
    {CompactFormat::Flac, "sox", "sox %1 %2", 1},
};

std::string Command(const Decoder& d, const std::string& in, const std::string& out) {
  std::string c = d.command;
  c.replace(c.find("%1"), 2, ShellQuote(in));
  c.replace(c.find("%2"), 2, ShellQuote(out));
  return c + " 2>&1";
}

class CompactExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pcm_ = Speech(60 * 8000, 5);
    RecordingDescription d;
    d.formatTag = 6;
    d.callerId = ">0301234";
    d.startTime = 1700000000;
    d.comment = "Refund for order 77";
    d.bookmarkStart = 10;
    d.bookmarkEnd = 13;
    path_ = MakeRecording(dir_, "Agent-20231114.zel", pcm_, d);
    ASSERT_FALSE(path_.empty());
    ASSERT_EQ(file_.LoadRecordingAndWait(path_, ""), 1);
  }
  XdgSandbox xdg_;
  TempDir dir_;
  ScopedEnv home_{"HOME", dir_.path()};
  std::vector<int16_t> pcm_;
  std::string path_;
  CKlRecordFile file_;
};

}  // namespace

TEST_F(CompactExportTest, OtherDecodersReadEachFormatBackWhole) {
  for (const Decoder& d : kDecoders) {
    SCOPED_TRACE(zel::CompactName(d.format));
    ASSERT_TRUE(zel::CompactFormatAvailable(d.format));
    const std::string out = dir_.File(std::string("call") + zel::CompactExtension(d.format));
    ASSERT_TRUE(zel::WriteCompact(out, file_, d.format)) << zel::LastWriteError();
    const std::string bytes = ReadFile(out);
    // The tags: caller and date as the title, the user's comment without the
    // bookmark line or the system block.
    EXPECT_NE(bytes.find(">0301234, "), std::string::npos);
    EXPECT_NE(bytes.find("Refund for order 77"), std::string::npos);
    EXPECT_EQ(bytes.find("System information"), std::string::npos);
    const double kbits = bytes.size() * 8.0 / 60.0 / 1000.0;
    if (d.format == CompactFormat::Mp3) {
      EXPECT_NEAR(kbits, 24.0, 2.0);
    }
    if (d.format == CompactFormat::Opus) {
      EXPECT_NEAR(kbits, 16.0, 3.0);
    }
    if (d.format == CompactFormat::Flac) {
      EXPECT_LT(kbits, 128.0);
    }  // smaller than the PCM

    if (!ToolAvailable(d.tool)) {
      ADD_FAILURE() << d.tool << " is not installed (scripts/setup-deps.sh)";
      continue;
    }
    const std::string wav = dir_.File("decoded.wav");
    CommandResult r = RunShell(Command(d, out, wav));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    std::vector<int16_t> decoded = LeSamples(ReadFile(wav), 44);
    EXPECT_LE(std::abs(static_cast<long>(decoded.size()) - static_cast<long>(pcm_.size())),
              static_cast<long>(d.frame));
    if (d.format == CompactFormat::Flac) {
      const int16_t* samples = nullptr;
      ASSERT_EQ(file_.GetSamples(0, file_.SampleCount(), &samples), file_.SampleCount());
      EXPECT_EQ(decoded, std::vector<int16_t>(samples, samples + file_.SampleCount()));  // lossless
    }
  }
}

// MP3 players read the texts as UTF-8: the frames say so, and no Latin-1 tag
// holds them.
TEST_F(CompactExportTest, Mp3TagsCarryNonAsciiTexts) {
  const std::string out = dir_.File("call.mp3");
  for (const zel::CompactTags& tags : {zel::CompactTags{"M\xC3\xBCller, 7 Dec", "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80"},
                                       zel::CompactTags{"", "only a comment"}}) {
    ASSERT_TRUE(zel::WriteCompactSamples(out, CompactFormat::Mp3, pcm_.data(), 8000, tags)) << zel::LastWriteError();
    const std::string bytes = ReadFile(out);
    ASSERT_EQ(bytes.compare(0, 4, "ID3\x04"), 0);
    size_t tagSize = 10;
    for (int i = 6; i < 10; ++i) tagSize += static_cast<size_t>(bytes[i] & 0x7F) << (7 * (9 - i));
    const std::string tag = bytes.substr(0, tagSize);
    EXPECT_EQ(tag.find("TIT2") != std::string::npos, !tags.title.empty());
    EXPECT_NE(tag.find("\x03" + tags.title), std::string::npos);
    EXPECT_NE(tag.find(std::string("\x03" "eng\0", 5) + tags.comment), std::string::npos);
    EXPECT_EQ(bytes.find("\xC3\x83"), std::string::npos);  // "Ã": UTF-8 read as Latin-1 and stored again
    EXPECT_EQ(bytes.find("TAG", bytes.size() - 128), std::string::npos);
    EXPECT_EQ(bytes.compare(tagSize, 1, "\xFF"), 0);  // the first frame follows the tag
  }
}

TEST_F(CompactExportTest, SaveRulesClipAndFailures) {
  {
    // The span 10 s to 13 s, the extension appended to the chosen name.
    ScopedChooser chooser(dir_.File("span"));
    ASSERT_TRUE(zel::ExportCompactClip(file_, CompactFormat::Flac, std::string()));
    ASSERT_EQ(chooser.chooser().requests.size(), 1u);
    EXPECT_EQ(chooser.chooser().requests[0].fileName, "Agent-20231114");
    EXPECT_EQ(chooser.chooser().requests[0].defaultExtension, "flac");
  }
  CommandResult r = RunShell("sox " + ShellQuote(dir_.File("span.flac")) + " -t s16 - | wc -c");
  EXPECT_EQ(std::stol(r.out), 2 * 3 * 8000);
  {
    // An existing file is replaced; an ending in another case is kept.
    WriteFile(dir_.File("old.OPUS"), "old");
    ScopedChooser chooser(dir_.File("old.OPUS"));
    ASSERT_TRUE(zel::ExportCompact(file_, CompactFormat::Opus));
    EXPECT_EQ(ReadFile(dir_.File("old.OPUS")).substr(0, 4), "OggS");
  }
  // The recording's own file, a missing folder, a cancelled dialog: nothing written.
  const std::string before = ReadFile(path_);
  EXPECT_FALSE(zel::WriteCompact(path_, file_, CompactFormat::Mp3));
  EXPECT_FALSE(zel::LastWriteError().empty());
  EXPECT_EQ(ReadFile(path_), before);
  EXPECT_FALSE(zel::WriteCompact(dir_.File("missing/x.mp3"), file_, CompactFormat::Mp3));
  {
    ScopedChooser cancel(std::nullopt);
    EXPECT_FALSE(zel::ExportCompact(file_, CompactFormat::Mp3));
  }
  size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir_.path())) entries += e.is_regular_file();
  EXPECT_EQ(entries, 3u) << "the recording, span.flac and old.OPUS only";
}
