// The WAV files written: exact header bytes of both layouts, sox reading them back,
// the naming rules of the save dialog and files left behind by a failed export.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>

#include "codec/CGsm49Encoder.h"
#include "audio/CKlWav.h"
#include "audio/WavExport.h"
#include "core/WriteTarget.h"
#include "recording/CKlRecordFile.h"
#include "tests/audioout/AudioOutSupport.h"

using namespace zeltest;

namespace {

std::string Le16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

std::vector<int16_t> SoxRead(const TempDir& dir, const std::string& wav) {
  std::string out = dir.File("sox.raw");
  CommandResult r = RunShell("sox " + ShellQuote(wav) + " -t s16 -L " + ShellQuote(out) + " 2>&1");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  return LeSamples(ReadFile(out));
}

}  // namespace

TEST(WavHeader, DefaultsOfTheRecord) {
  CKlWav wav;
  std::string expected = "RIFF" + Le32(36) + "WAVEfmt " + Le32(16) + Le16(1) + Le16(1) + Le32(0) +
                         Le32(0) + Le16(0) + Le16(0) + "data" + Le32(4);
  EXPECT_EQ(wav.Bytes(), expected);
}

TEST(WavHeader, UncompressedOneSecondIsExactly16044Bytes) {
  TempDir dir;
  std::vector<int16_t> pcm = Speech(8000);
  std::string path = dir.File("one.wav");
  ASSERT_TRUE(zel::WriteWavSamples(path, pcm.data(), pcm.size(), true));
  std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 16044u);
  std::string expected = "RIFF" + Le32(16036) + "WAVEfmt " + Le32(16) + Le16(1) + Le16(1) +
                         Le32(8000) + Le32(16000) + Le16(2) + Le16(16) + "data" + Le32(16000);
  EXPECT_EQ(bytes.substr(0, 44), expected);
  EXPECT_EQ(LeSamples(bytes, 44), pcm);
}

TEST(WavHeader, GsmLayoutForOneSecondAndForAPaddedBlock) {
  TempDir dir;
  for (size_t n : {size_t{8000}, size_t{8001}, size_t{1}}) {
    std::vector<int16_t> pcm = Speech(n);
    std::string path = dir.File("gsm.wav");
    ASSERT_TRUE(zel::WriteWavSamples(path, pcm.data(), pcm.size(), false));
    std::string bytes = ReadFile(path);
    uint32_t d = static_cast<uint32_t>((n + 319) / 320 * 65);
    ASSERT_EQ(bytes.size(), 60u + d) << n;
    std::string expected = "RIFF" + Le32(52 + d) + "WAVEfmt " + Le32(20) + Le16(49) + Le16(1) +
                           Le32(8000) + Le32(1625) + Le16(65) + Le16(0) + Le16(2) + Le16(320) +
                           "fact" + Le32(4) + Le32(static_cast<uint32_t>(n)) + "data" + Le32(d);
    EXPECT_EQ(bytes.substr(0, 60), expected) << n;
    EXPECT_EQ(U32At(bytes, 4), bytes.size() - 8);
  }
}

TEST(WavHeader, GsmBlocksAreLibgsmWav49Frames) {
  // The 65-byte block of 320 samples is the pair of frames libgsm writes in WAV49
  // mode; a second encoder fed the same samples must give identical bytes, and a
  // short tail is the same as explicit zero padding.
  std::vector<int16_t> pcm = Speech(700);
  CGsm49Encoder a, b;
  ASSERT_TRUE(a.IsValid());
  std::vector<uint8_t> outA(CGsm49Encoder::EncodedSize(700)), outB(outA.size());
  ASSERT_EQ(a.Encode(pcm.data(), 700, outA.data()), 3u * 65);
  std::vector<int16_t> padded = pcm;
  padded.resize(960, 0);
  ASSERT_EQ(b.Encode(padded.data(), 960, outB.data()), 3u * 65);
  EXPECT_EQ(outA, outB);
  EXPECT_TRUE(zel::GsmCodecAvailable());
}

TEST(WavExternal, SoxReadsPcmExactlyAndGsmWithinTenDecibels) {
  if (!ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
  TempDir dir;
  std::vector<int16_t> pcm = Speech(3 * 8000 + 123);
  std::string pcmPath = dir.File("pcm.wav"), gsmPath = dir.File("gsm.wav");
  ASSERT_TRUE(zel::WriteWavSamples(pcmPath, pcm.data(), pcm.size(), true));
  ASSERT_TRUE(zel::WriteWavSamples(gsmPath, pcm.data(), pcm.size(), false));
  EXPECT_EQ(SoxRead(dir, pcmPath), pcm);
  // sox decodes whole 320-sample blocks (it does not cut at the "fact" count), so
  // the padded tail comes back too.
  std::vector<int16_t> decoded = SoxRead(dir, gsmPath);
  EXPECT_EQ(decoded.size(), (pcm.size() + 319) / 320 * 320);
  double snr = SnrDb(pcm, decoded);
  EXPECT_GT(snr, 10.0);
  std::vector<int16_t> whole(pcm.begin(), pcm.begin() + 75 * 320);
  std::string wholePath = dir.File("whole.wav");
  ASSERT_TRUE(zel::WriteWavSamples(wholePath, whole.data(), whole.size(), false));
  std::vector<int16_t> wholeDecoded = SoxRead(dir, wholePath);
  EXPECT_EQ(wholeDecoded.size(), whole.size());
  EXPECT_GT(SnrDb(whole, wholeDecoded), 10.0);
  RecordProperty("gsm_snr_db", std::to_string(snr));
  // A file whose blocks were scrambled would still decode to the right length;
  // make sure the test can tell.
  std::string bytes = ReadFile(gsmPath);
  for (size_t i = 60; i + 1 < bytes.size(); i += 7) bytes[i] = static_cast<char>(bytes[i] ^ 0x55);
  WriteFile(gsmPath, bytes);
  EXPECT_LT(SnrDb(pcm, SoxRead(dir, gsmPath)), 10.0);
}

TEST(WavNames, WavEndingIsKeptInAnyCaseAndAppendedOtherwise) {
  EXPECT_EQ(zel::WithExtension("/x/call.wav", ".wav"), "/x/call.wav");
  EXPECT_EQ(zel::WithExtension("/x/call.WaV", ".wav"), "/x/call.WaV");
  EXPECT_EQ(zel::WithExtension("/x/call", ".wav"), "/x/call.wav");
  EXPECT_EQ(zel::WithExtension("/x/call.mp3", ".wav"), "/x/call.mp3.wav");
  EXPECT_EQ(zel::WithExtension("/x/wav", ".wav"), "/x/wav.wav");
  EXPECT_EQ(zel::BaseName("/a/b.c/Caller-2024.zel"), "Caller-2024");
  EXPECT_EQ(zel::BaseName("plain"), "plain");
}

TEST(WavFailure, InterruptedExportLeavesNoFileAndKeepsTheOldOne) {
  XdgSandbox xdg;  // the failures are logged
  TempDir dir;
  std::vector<int16_t> pcm = Speech(60 * 8000);
  std::string fresh = dir.File("fresh.wav"), existing = dir.File("existing.wav");
  WriteFile(existing, "old content");
  // A file size limit makes the write fail part-way, as a full disk would.
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 100000;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool freshOk = zel::WriteWavSamples(fresh, pcm.data(), pcm.size(), true);
  bool existingOk = zel::WriteWavSamples(existing, pcm.data(), pcm.size(), true);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(freshOk);
  EXPECT_FALSE(existingOk);
  EXPECT_FALSE(FileExists(fresh));
  EXPECT_EQ(ReadFile(existing), "old content");
  size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) entries += e.is_regular_file();
  EXPECT_EQ(entries, 1u) << "a temporary file was left behind";
  // An unwritable folder: false and nothing created.
  EXPECT_FALSE(zel::WriteWavSamples(dir.File("missing/x.wav"), pcm.data(), 10, true));
}

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pcm_ = Speech(2 * 8000);
    RecordingDescription d;
    d.formatTag = 6;
    path_ = MakeRecording(dir_, "Agent-20240102.zel", pcm_, d);
    ASSERT_FALSE(path_.empty());
    ASSERT_EQ(file_.LoadRecordingAndWait(path_, ""), 1);
    ASSERT_TRUE(file_.IsReady());
  }
  XdgSandbox xdg_;
  TempDir dir_;
  ScopedEnv home_{"HOME", dir_.path()};
  std::vector<int16_t> pcm_;
  std::string path_;
  CKlRecordFile file_;
};

TEST_F(ExportTest, SaveDialogRequestAndChosenLayout) {
  {
    ScopedChooser chooser(dir_.File("out"), 0);
    ASSERT_TRUE(zel::ExportWav(file_));
    ASSERT_EQ(chooser.chooser().requests.size(), 1u);
    const SaveFileRequest& r = chooser.chooser().requests[0];
    EXPECT_EQ(r.defaultExtension, "wav");
    EXPECT_EQ(r.fileName, "Agent-20240102");
    EXPECT_EQ(r.filter, "Wav GSM Compressed (*.wav)|*.wav|Wav Uncompressed (*.wav)|*.wav||");
    EXPECT_FALSE(r.initialFolder.empty());
    EXPECT_EQ(ReadFile(dir_.File("out.wav")).substr(20, 2), Le16(49));
  }
  {
    ScopedChooser chooser(dir_.File("OUT2.WAV"), 1);
    ASSERT_TRUE(zel::ExportWav(file_));
    std::string bytes = ReadFile(dir_.File("OUT2.WAV"));
    ASSERT_EQ(bytes.size(), 44u + 2 * pcm_.size());
    EXPECT_EQ(bytes.substr(20, 2), Le16(1));
    EXPECT_FALSE(FileExists(dir_.File("OUT2.WAV.wav")));
  }
  {
    ScopedChooser cancelled(std::nullopt);
    EXPECT_FALSE(zel::ExportWav(file_));
  }
}

TEST_F(ExportTest, NativeExportCopiesTheFileAndRefusesWhenNotReady) {
  ScopedChooser chooser(dir_.File("copy"));
  ASSERT_TRUE(zel::ExportNative(file_));
  EXPECT_EQ(chooser.chooser().requests.at(0).filter, "Zel Files (*.zel)|*.zel||");
  EXPECT_EQ(chooser.chooser().requests.at(0).defaultExtension, "zel");
  EXPECT_EQ(ReadFile(dir_.File("copy.zel")), ReadFile(path_));
  CKlRecordFile empty;
  EXPECT_FALSE(zel::ExportNative(empty));
  EXPECT_FALSE(zel::ExportWav(empty));
  EXPECT_EQ(chooser.chooser().requests.size(), 1u) << "no dialog for a recording not ready";
}

TEST_F(ExportTest, ClipExportsTheBookmarkedSpan) {
  std::vector<int16_t> pcm = Speech(5 * 8000, 3);
  RecordingDescription d;
  d.formatTag = 6;
  d.bookmarkStart = 1;
  d.bookmarkEnd = 3;
  std::string path = MakeRecording(dir_, "Marked.zel", pcm, d);
  std::string before = ReadFile(path);
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecordingAndWait(path, ""), 1);
  {
    ScopedChooser chooser(dir_.File("span.wav"), 1);
    ASSERT_TRUE(zel::ExportWavClip(file));
    std::string bytes = ReadFile(dir_.File("span.wav"));
    ASSERT_EQ(bytes.size(), 44u + 2 * 16000);
    const int16_t* s = nullptr;
    ASSERT_EQ(file.GetSamples(8000, 16000, &s), 16000);
    EXPECT_EQ(LeSamples(bytes, 44), std::vector<int16_t>(s, s + 16000));
  }
  {
    ScopedChooser chooser(dir_.File("span"));
    ASSERT_TRUE(zel::ExportNativeClip(file));
    CKlRecordFile clip;
    ASSERT_EQ(clip.LoadRecordingAndWait(dir_.File("span.zel"), ""), 1);
    EXPECT_EQ(clip.Header().FormatTag(), 49);
    EXPECT_EQ(clip.Header().Duration(), 2u);
    int start = 0, end = 0;
    EXPECT_FALSE(clip.GetBookmark(start, end));
  }
  // The source file is never changed by a clip.
  EXPECT_EQ(ReadFile(path), before);
}

TEST_F(ExportTest, NoWriterReplacesTheRecordingItReads) {
  const std::string before = ReadFile(path_);
  ASSERT_EQ(symlink(path_.c_str(), dir_.File("link.zel").c_str()), 0);
  const std::string withoutEnding = path_.substr(0, path_.size() - 4);
  for (const std::string& target : {withoutEnding, dir_.File("link.zel")}) {
    ScopedChooser chooser(target);
    EXPECT_FALSE(zel::ExportNative(file_)) << target;
  }
  EXPECT_FALSE(zel::WriteWav(path_, file_, true));
  EXPECT_FALSE(zel::WritePcmFile(dir_.File("link.zel"), file_));
  EXPECT_NE(zel::LastWriteError().find("is the recording being read"), std::string::npos);
  EXPECT_EQ(ReadFile(path_), before);

  // Another file is written as raw little-endian samples.
  ASSERT_TRUE(zel::WritePcmFile(dir_.File("raw.pcm"), file_));
  EXPECT_TRUE(zel::LastWriteError().empty());
  const std::string raw = ReadFile(dir_.File("raw.pcm"));
  const int16_t* s = nullptr;
  ASSERT_EQ(file_.GetSamples(0, file_.SampleCount(), &s), file_.SampleCount());
  EXPECT_EQ(LeSamples(raw, 0), std::vector<int16_t>(s, s + file_.SampleCount()));
}

TEST_F(ExportTest, ASpanBeyondTheAudioExportsNothingAndSaysSo) {
  RecordingDescription d;
  d.formatTag = 6;
  d.bookmarkStart = 2;  // the call is 2 s long
  d.bookmarkEnd = 9;
  std::string path = MakeRecording(dir_, "Late.zel", Speech(2 * 8000, 5), d);
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecordingAndWait(path, ""), 1);
  ScopedChooser chooser(dir_.File("late"));
  EXPECT_FALSE(zel::ExportWavClip(file));
  EXPECT_FALSE(zel::ExportNativeClip(file));
  EXPECT_FALSE(zel::LastWriteError().empty());
  EXPECT_FALSE(FileExists(dir_.File("late.wav")));
  EXPECT_FALSE(FileExists(dir_.File("late.zel")));
  EXPECT_TRUE(chooser.chooser().requests.empty()) << "no dialog for an empty span";
}
