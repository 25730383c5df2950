// zelctl pcm, annotate, clip and make-demo, run as a user would.
#include <cmath>
#include <set>
#include <sstream>

#include "recording/CKlRecordFile.h"
#include "tests/reader/ReaderFixture.h"

namespace {

std::vector<int16_t> Decoded(const std::string& path, const std::string& passphrase) {
  CKlRecordFile file;
  if (file.LoadRecordingAndWait(path, passphrase) == 0) return {};
  const int16_t* samples = nullptr;
  int n = file.GetSamples(0, file.SampleCount(), &samples);
  return std::vector<int16_t>(samples, samples + n);
}

std::vector<int16_t> RawSamples(const std::string& path) {
  std::string bytes = zeltest::ReadFile(path);
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                      (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
  }
  return samples;
}

// A device's file name: "<user digits>-<YYYYMMDD> <hhmmss>.zel".
bool DeviceName(const std::string& name) {
  size_t dash = name.find('-');
  if (dash == 0 || dash == std::string::npos || name.size() != dash + 20) return false;
  auto digits = [&](size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i) {
      if (name[i] < '0' || name[i] > '9') return false;
    }
    return true;
  };
  return digits(0, dash) && name.compare(dash + 1, 2, "20") == 0 && digits(dash + 1, 8) &&
         name[dash + 9] == ' ' && digits(dash + 10, 6) && name.compare(dash + 16, 4, ".zel") == 0;
}

}  // namespace

class Cli : public ReaderFixture {
 protected:
  zeltest::XdgSandbox sandbox_;
};

TEST_F(Cli, PcmWritesTheDecodedSamples) {
  std::string path = Write("call.zel", Description(5, 49), Voice(2));
  std::string out = dir_.File("out.raw");
  zeltest::CommandResult r = zeltest::RunZelctl({"pcm", path, "-o", out, "--passphrase", "open sesame"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "16000\n");
  EXPECT_EQ(RawSamples(out), Decoded(path, "open sesame"));

  zeltest::WriteFile(dir_.File("pass.txt"), "open sesame\n");
  EXPECT_EQ(zeltest::RunZelctl({"pcm", path, "-o", out, "--passphrase-file", dir_.File("pass.txt")}).exitCode, 0);
  EXPECT_EQ(zeltest::RunZelctl({"pcm", path, "-o", out}).exitCode, 1);
  EXPECT_EQ(zeltest::RunZelctl({"pcm", dir_.File("missing.zel"), "-o", out}).exitCode, 1);
  EXPECT_EQ(zeltest::RunZelctl({"pcm", path}).exitCode, 2);
  EXPECT_EQ(zeltest::RunZelctl({"pcm", "-o", out}).exitCode, 2);
  EXPECT_EQ(zeltest::RunZelctl({"pcm", path, "-o", out, "--passphrase-file", dir_.File("none")}).exitCode, 1);
  EXPECT_EQ(zeltest::RunZelctl({"pcm", path, "-o", dir_.File("no/dir/out.raw"), "--passphrase", "open sesame"}).exitCode, 1);
}

TEST_F(Cli, AnnotateChangesOnlyTheHeader) {
  std::string path = Write("notes.zel", Description(4, 17), Voice(2));
  std::string before = zeltest::ReadFile(path);
  zeltest::CommandResult r = zeltest::RunZelctl(
      {"annotate", path, "--caller", "Zoë", "--comment", "Bitte zurückrufen", "--important", "1",
       "--bookmark", "0:05", "12"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"bookmark\":{\"start\":5,\"end\":12}"), std::string::npos) << r.out;
  std::string after = zeltest::ReadFile(path);
  EXPECT_EQ(after.substr(1440), before.substr(1440));
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecording(path, ""), 1);
  EXPECT_EQ(file.GetCallerId(), "Zoë");
  EXPECT_EQ(file.Header().Important(), 1u);
  int start = 0, end = 0;
  ASSERT_TRUE(file.GetBookmark(start, end));
  EXPECT_EQ(start, 5);
  EXPECT_EQ(end, 12);
  EXPECT_EQ(file.GetComment().substr(0, 24 + 18), "Bookmark at:  00:00:05\r\nBitte zurückrufen");
  file.CloseRecording();

  // A new comment keeps the bookmark; --clear-bookmark removes it.
  ASSERT_EQ(zeltest::RunZelctl({"annotate", path, "--comment", "Erledigt"}).exitCode, 0);
  ASSERT_EQ(file.LoadRecording(path, ""), 1);
  EXPECT_TRUE(file.GetBookmark(start, end));
  file.CloseRecording();
  ASSERT_EQ(zeltest::RunZelctl({"annotate", path, "--clear-bookmark"}).exitCode, 0);
  ASSERT_EQ(file.LoadRecording(path, ""), 1);
  EXPECT_FALSE(file.GetBookmark(start, end));
  EXPECT_EQ(file.GetComment().find("Erledigt"), 0u);

  std::string now = zeltest::ReadFile(path);
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"annotate", path, "--important", "2"},
           {"annotate", path, "--bookmark", "20", "10"},
           {"annotate", path, "--bookmark", "1", "x"},
           {"annotate", path, "--bookmark", "1", "2", "--clear-bookmark"},
           {"annotate"}}) {
    EXPECT_EQ(zeltest::RunZelctl(args).exitCode, 2) << args.back();
  }
  EXPECT_EQ(zeltest::ReadFile(path), now);
  EXPECT_EQ(zeltest::RunZelctl({"annotate", dir_.File("gone.zel"), "--important", "1"}).exitCode, 1);
  zeltest::WriteFile(dir_.File("audio.wav"), std::string(2000, '\x10'));
  EXPECT_EQ(zeltest::RunZelctl({"annotate", dir_.File("audio.wav"), "--caller", "x"}).exitCode, 1);
  EXPECT_EQ(zeltest::ReadFile(dir_.File("audio.wav")), std::string(2000, '\x10'));
}

TEST_F(Cli, ClipWritesTheBookmarkedSpan) {
  RecordingDescription d = Description(4, 6);
  d.bookmarkStart = 2;
  d.bookmarkEnd = 5;
  std::string path = Write("call.zel", d, Voice(8));
  std::string out = dir_.File("clip.zel");
  zeltest::CommandResult r = zeltest::RunZelctl({"clip", path, "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("\"samples\":24000"), std::string::npos) << r.out;
  EXPECT_EQ(Decoded(out, "").size(), 24000u);

  std::string plain = Write("plain.zel", Description(4, 6), Voice(3));
  EXPECT_EQ(zeltest::RunZelctl({"clip", plain, "-o", dir_.File("none.zel")}).exitCode, 1);
  EXPECT_FALSE(zeltest::FileExists(dir_.File("none.zel")));
  EXPECT_EQ(zeltest::RunZelctl({"clip", path}).exitCode, 2);
}

class MakeDemo : public Cli, public ::testing::WithParamInterface<bool> {};

TEST_P(MakeDemo, WritesRealisticRecordings) {
  bool synthetic = GetParam();
  if (!synthetic && (!zeltest::ToolAvailable("espeak-ng") || !zeltest::ToolAvailable("sox"))) {
    GTEST_SKIP() << "espeak-ng or sox is not installed";
  }
  std::string folder = dir_.File("demo");
  std::vector<std::string> args = {"make-demo", folder};
  if (synthetic) args.push_back("--synthetic");
  zeltest::CommandResult r = zeltest::RunZelctl(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string label = "passphrase of the encrypted recording: ";
  size_t at = r.out.find(label);
  ASSERT_NE(at, std::string::npos) << r.out;
  std::string passphrase = r.out.substr(at + label.size());
  passphrase.erase(passphrase.find('\n'));
  ASSERT_FALSE(passphrase.empty());

  std::set<int32_t> tags;
  std::set<uint32_t> versions;
  int encrypted = 0, bookmarks = 0, important = 0, comments = 0;
  std::istringstream lines(r.out);
  std::string line;
  int files = 0;
  while (std::getline(lines, line)) {
    if (line.find("passphrase") != std::string::npos) continue;
    ++files;
    std::string base = line.substr(line.rfind('/') + 1);
    EXPECT_TRUE(DeviceName(base)) << base;
    CKlRecordFile file;
    if (file.LoadRecordingAndWait(line, "") == 0) {
      ASSERT_EQ(file.LoadRecordingAndWait(line, passphrase), 1) << line;
      ++encrypted;
    }
    tags.insert(file.Header().FormatTag());
    versions.insert(file.Header().IsEncrypted() ? 5 : file.Header().Version());
    int start = 0, end = 0;
    bookmarks += file.GetBookmark(start, end) ? 1 : 0;
    important += file.Header().Important() != 0 ? 1 : 0;
    comments += file.GetComment().empty() ? 0 : 1;
    // Seconds of audio to a couple of minutes, and not silence.
    EXPECT_GE(file.SampleCount(), 3 * 8000);
    EXPECT_LE(file.SampleCount(), 180 * 8000);
    const int16_t* samples = nullptr;
    int n = file.GetSamples(0, file.SampleCount(), &samples);
    double energy = 0;
    for (int i = 0; i < n; ++i) energy += double(samples[i]) * samples[i];
    EXPECT_GT(std::sqrt(energy / n), 1000.0) << line;
  }
  EXPECT_GE(files, 8);
  EXPECT_EQ(tags, (std::set<int32_t>{6, 7, 17, 49}));
  EXPECT_EQ(versions, (std::set<uint32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(encrypted, 1);
  EXPECT_GE(bookmarks, 2);
  EXPECT_GE(important, 2);
  EXPECT_GE(comments, 4);
}

INSTANTIATE_TEST_SUITE_P(Voices, MakeDemo, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Synthetic" : "Spoken";
                         });
