// Mail hand-off through a fake xdg-email placed first on PATH: the arguments it
// received, the files left in the temporary folder, and the failure messages.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "audio/CompactExport.h"
#include "audio/Loudness.h"
#include "audio/WavExport.h"
#include "platform/MailClient.h"
#include "recording/CBookmarkRecordFile.h"
#include "recording/CKlRecordFile.h"
#include "tests/audioout/AudioOutSupport.h"

using namespace zeltest;

namespace {

// Splits the NUL-separated argument record the fake xdg-email writes.
std::vector<std::string> SplitNul(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\0') {
      out.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

class MailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(bin_.path());
    std::filesystem::create_directories(tmp_.path());
    // Records every argument followed by a NUL, and the attachment's existence while
    // the "mail client" runs.
    InstallFake("#!/bin/sh\n"
                "for a in \"$@\"; do printf '%s\\0' \"$a\" >> '" + Record() + "'; done\n"
                "exit ${FAKE_MAIL_STATUS:-0}\n");
  }
  void InstallFake(const std::string& script, mode_t mode = 0755) {
    WriteFile(bin_.File("xdg-email"), script);
    ::chmod(bin_.File("xdg-email").c_str(), mode);
  }
  std::string Record() const { return bin_.File("args"); }
  std::vector<std::string> Arguments() const { return SplitNul(ReadFile(Record())); }
  std::string ArgumentAfter(const std::string& option) const {
    auto args = Arguments();
    for (size_t i = 0; i + 1 < args.size(); ++i) {
      if (args[i] == option) return args[i + 1];
    }
    return "<missing>";
  }
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(tmp_.path())) names.push_back(e.path().filename());
    return names;
  }
  std::string Load(const std::string& name, RecordingDescription d) {
    std::vector<int16_t> pcm = Speech(3 * 8000);
    std::string path = MakeRecording(dir_, name, pcm, d);
    EXPECT_EQ(file_.LoadRecordingAndWait(path, ""), 1);
    return path;
  }

  XdgSandbox xdg_;
  TempDir dir_, bin_, tmp_;
  ScopedEnv path_{"PATH", bin_.path()};
  ScopedEnv tmpdir_{"TMPDIR", tmp_.path()};
  ScopedMessages messages_;
  CKlRecordFile file_;
};

}  // namespace

TEST_F(MailTest, WavMailCarriesTheCallTextsAndLeavesItsTemporaryWav) {
  RecordingDescription d;
  d.callerId = "Kåre 0123";
  d.comment = "Call back";
  Load("Agent-1.zel", d);
  ASSERT_TRUE(zel::EmailWav(file_));
  std::string dateTime = file_.Header().FormatDateTime();
  EXPECT_EQ(ArgumentAfter("--subject"), "Recording With Kåre 0123 at " + dateTime);
  std::string body = ArgumentAfter("--body");
  EXPECT_EQ(body.rfind(
                "Please find attached a telephone conversation recorded by me as follows:\r\n"
                "Conversation With: Kåre 0123\r\nDate & Time: " + dateTime + "\r\nMy comments: ",
                0),
            0u)
      << body;
  EXPECT_EQ(body.substr(body.size() - 2), "\r\n");
  EXPECT_EQ(ArgumentAfter("--attach"), tmp_.File("Agent-1.wav"));
  EXPECT_EQ(TempFiles(), std::vector<std::string>{"Agent-1.wav"});
  EXPECT_EQ(ReadFile(tmp_.File("Agent-1.wav")).substr(0, 4), "RIFF");
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(MailTest, WithoutCommentTheNoteHasThreeLines) {
  RecordingDescription d;
  d.callerId = "555";
  Load("NoComment.zel", d);
  ASSERT_TRUE(zel::EmailNative(file_));
  std::string body = ArgumentAfter("--body");
  EXPECT_EQ(body, "Please find attached a telephone conversation recorded by me as follows:\r\n"
                  "Conversation With: 555\r\nDate & Time: " +
                      file_.Header().FormatDateTime() + "\r\n");
  EXPECT_EQ(ArgumentAfter("--attach"), file_.Path());
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(MailTest, NativeClipIsMailedAndRemovedWhilePlainMailHasTheGreeting) {
  RecordingDescription d;
  d.bookmarkStart = 1;
  d.bookmarkEnd = 2;
  std::string path = Load("Clip-1.zel", d);
  std::string before = ReadFile(path);
  ASSERT_TRUE(zel::EmailNativeClip(file_));
  EXPECT_EQ(ArgumentAfter("--attach"), tmp_.File("Clip-1.zel"));
  EXPECT_TRUE(TempFiles().empty()) << "the clip must be deleted after sending";
  EXPECT_EQ(ReadFile(path), before);

  // The WAV of the span stays in the temporary folder: one second, uncompressed
  // size 16,000 bytes of samples or 25 GSM blocks.
  std::filesystem::remove(Record());
  ASSERT_TRUE(zel::EmailWavClip(file_));
  EXPECT_EQ(ArgumentAfter("--attach"), tmp_.File("Clip-1.wav"));
  std::string wav = ReadFile(tmp_.File("Clip-1.wav"));
  ASSERT_GE(wav.size(), 60u);
  EXPECT_EQ(U32At(wav, 48), 8000u) << "fact: the samples of the bookmarked second";
  EXPECT_EQ(wav.size(), 60u + 25 * 65);
  std::filesystem::remove(tmp_.File("Clip-1.wav"));

  std::filesystem::remove(Record());
  ASSERT_TRUE(zel::EmailNativePlain(file_));
  EXPECT_EQ(ArgumentAfter("--subject"), "My Recorded Calls");
  EXPECT_EQ(ArgumentAfter("--body"),
            std::string("Please find attached, one or more telephone calls I have recorded\r\n\r\n"
                        "These files are in compressed format.\r\nA free player is available from ") +
                zel::kPlayerWebAddress);
  EXPECT_EQ(ArgumentAfter("--attach"), path);
}

TEST_F(MailTest, CompactMailAttachesItsFormatAndMayBeLevelled) {
  RecordingDescription d;
  d.callerId = "555";
  d.bookmarkStart = 1;
  d.bookmarkEnd = 3;
  Load("Span-1.zel", d);
  ASSERT_TRUE(zel::EmailCompactClip(file_, zel::CompactFormat::Opus));
  EXPECT_EQ(ArgumentAfter("--attach"), tmp_.File("Span-1.opus"));
  EXPECT_EQ(ReadFile(tmp_.File("Span-1.opus")).substr(0, 4), "OggS");

  std::filesystem::remove(Record());
  auto levelled = zel::EvenLoudnessCopy(file_, true);
  ASSERT_TRUE(levelled);
  ASSERT_TRUE(zel::EmailCompact(*levelled, zel::CompactFormat::Flac));
  EXPECT_EQ(ArgumentAfter("--subject"), "Recording With 555 at " + file_.Header().FormatDateTime());
  EXPECT_EQ(ArgumentAfter("--attach"), tmp_.File("Span-1.flac"));
  // PATH holds only the fake mail client here.
  ASSERT_EQ(RunShell("/usr/bin/sox " + ShellQuote(tmp_.File("Span-1.flac")) + " -t s16 " +
                     ShellQuote(dir_.File("span.raw")))
                .exitCode,
            0);
  const std::string raw = ReadFile(dir_.File("span.raw"));
  ASSERT_EQ(raw.size(), 2u * 2 * 8000);
  std::vector<int16_t> samples(raw.size() / 2);
  std::memcpy(samples.data(), raw.data(), raw.size());
  EXPECT_NEAR(*zel::MeasureLoudness(samples.data(), samples.size()), zel::kTargetLoudness, 1.0);
}

TEST_F(MailTest, ArgumentsAreNotInterpretedByAShell) {
  RecordingDescription d;
  d.callerId = "$(touch pwned) `x` ' \"";
  Load("Quote.zel", d);
  ASSERT_TRUE(zel::EmailNative(file_));
  EXPECT_EQ(ArgumentAfter("--subject").rfind("Recording With $(touch pwned) `x` ' \" at ", 0), 0u);
  EXPECT_FALSE(FileExists("pwned"));
}

TEST_F(MailTest, FailuresShowTheMailSystemMessages) {
  Load("Fail.zel", {});
  {
    ScopedEnv status("FAKE_MAIL_STATUS", "4");
    EXPECT_FALSE(zel::EmailNative(file_));
  }
  InstallFake("#!/bin/sh\nexit 0\n", 0644);
  EXPECT_FALSE(zel::EmailNative(file_));
  std::filesystem::remove(bin_.File("xdg-email"));
  EXPECT_FALSE(zel::EmailNative(file_));
  EXPECT_EQ(messages_.messages(),
            (std::vector<std::string>{"Send Mail failed to send message.", "Mail system DLL is invalid.",
                                      "Unable to load mail system support."}));
  // A WAV mail that could not be sent still leaves its temporary file.
  EXPECT_FALSE(zel::EmailWav(file_));
  EXPECT_EQ(TempFiles(), std::vector<std::string>{"Fail.wav"});
}
