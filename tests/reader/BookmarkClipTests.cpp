// Clips: a private copy cropped to the bookmark, written as a GSM recording.
#include <cstdlib>

#include <unistd.h>

#include "core/WriteTarget.h"
#include "recording/CBookmarkRecordFile.h"
#include "tests/reader/ReaderFixture.h"

namespace {

std::vector<int16_t> AllSamples(const CKlRecordFile& file) {
  const int16_t* samples = nullptr;
  int n = file.GetSamples(0, file.SampleCount(), &samples);
  return std::vector<int16_t>(samples, samples + n);
}

}  // namespace

using BookmarkClip = ReaderFixture;

TEST_F(BookmarkClip, SixtySecondCallClipsTenSeconds) {
  RecordingDescription d = Description(4, 6);
  d.bookmarkStart = 10;
  d.bookmarkEnd = 20;
  std::vector<int16_t> pcm = Voice(60);
  std::string path = Write("call.zel", d, pcm);
  std::string original = zeltest::ReadFile(path);

  CKlRecordFile source;
  ASSERT_EQ(source.LoadRecordingAndWait(path, ""), 1);
  ASSERT_EQ(source.SampleCount(), 480000);
  CBookmarkRecordFile clip(source, "");
  ASSERT_TRUE(clip.IsReady());
  ASSERT_TRUE(clip.CropToBookmark());
  EXPECT_EQ(clip.SampleCount(), 80000);
  EXPECT_EQ(clip.Header().Duration(), 10u);
  std::vector<int16_t> kept = AllSamples(clip);
  std::vector<int16_t> all = AllSamples(source);
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), all.begin() + 80000));
  int start = 0, end = 0;
  EXPECT_FALSE(clip.GetBookmark(start, end));

  std::string out = dir_.File("clip.zel");
  ASSERT_TRUE(clip.WriteClip(out));
  // The clip object never writes into its source.
  EXPECT_FALSE(clip.SaveIfDirty());
  EXPECT_EQ(zeltest::ReadFile(path), original);

  CKlRecordFile back;
  ASSERT_EQ(back.LoadRecordingAndWait(out, ""), 1);
  EXPECT_EQ(back.Header().Version(), 4u);
  EXPECT_EQ(back.Header().FormatTag(), 49);
  EXPECT_EQ(back.Header().Duration(), 10u);
  EXPECT_EQ(back.SampleCount(), 80000);
  EXPECT_FALSE(back.GetBookmark(start, end));
  EXPECT_EQ(back.GetCallerId(), "Müller GmbH");
  EXPECT_EQ(zeltest::ReadFile(out).size(), 1440u + 500 * 33);
  // The clip's audio is the kept samples through GSM.
  std::vector<uint8_t> gsm = CGsmCodec::Encode(kept.data(), kept.size());
  EXPECT_EQ(AllSamples(back), Reference(49, gsm));
}

TEST_F(BookmarkClip, DurationZeroUsesEightThousandSamplesPerSecond) {
  RecordingDescription d = Description(3, 7);  // version 3 keeps a zero duration
  d.duration = 0;
  d.bookmarkStart = 2;
  d.bookmarkEnd = 5;
  std::string path = Write("nodur.zel", d, Voice(7));
  CKlRecordFile source;
  ASSERT_EQ(source.LoadRecording(path, ""), 1);
  ASSERT_EQ(source.Header().Duration(), 0u);
  CBookmarkRecordFile clip(source, "");
  ASSERT_TRUE(clip.CropToBookmark());
  EXPECT_EQ(clip.SampleCount(), 24000);
  EXPECT_EQ(clip.Header().Duration(), 3u);

  // A bookmark beyond the audio gives what there is, never more.
  RecordingDescription late = Description(4, 7);
  late.bookmarkStart = 5;
  late.bookmarkEnd = 100;
  CKlRecordFile lateSource;
  ASSERT_EQ(lateSource.LoadRecording(Write("late.zel", late, Voice(7)), ""), 1);
  CBookmarkRecordFile lateClip(lateSource, "");
  ASSERT_TRUE(lateClip.CropToBookmark());
  EXPECT_EQ(lateClip.SampleCount(), 16000);
  EXPECT_EQ(lateClip.Header().Duration(), 2u) << "the length the clip holds, not 95 s";
}

TEST_F(BookmarkClip, ASpanWithoutAudioOrOntoTheSourceIsNotWritten) {
  RecordingDescription d = Description(4, 7);
  d.bookmarkStart = 7;  // exactly at the end of a 7-second call
  d.bookmarkEnd = 12;
  std::string path = Write("ends.zel", d, Voice(7));
  const std::string before = zeltest::ReadFile(path);
  CKlRecordFile source;
  ASSERT_EQ(source.LoadRecording(path, ""), 1);
  CBookmarkRecordFile clip(source, "");
  ASSERT_TRUE(clip.CropToBookmark());
  EXPECT_EQ(clip.SampleCount(), 0);
  EXPECT_FALSE(clip.WriteClip(dir_.File("empty.zel")));
  EXPECT_FALSE(zeltest::FileExists(dir_.File("empty.zel")));
  EXPECT_FALSE(zel::LastWriteError().empty());

  d.bookmarkStart = 1;
  d.bookmarkEnd = 2;
  std::string other = Write("other.zel", d, Voice(3));
  CKlRecordFile second;
  ASSERT_EQ(second.LoadRecording(other, ""), 1);
  CBookmarkRecordFile span(second, "");
  ASSERT_TRUE(span.CropToBookmark());
  ASSERT_EQ(link(other.c_str(), dir_.File("hard.zel").c_str()), 0);
  const std::string otherBefore = zeltest::ReadFile(other);
  EXPECT_FALSE(span.WriteClip(other));
  EXPECT_FALSE(span.WriteClip(dir_.File("hard.zel")));
  EXPECT_EQ(zeltest::ReadFile(other), otherBefore);
  EXPECT_EQ(zeltest::ReadFile(path), before);
}

TEST(NativeFileName, AppendsTheEndingUnlessPresentInAnyCase) {
  EXPECT_EQ(zel::NativeFileName("/x/clip"), "/x/clip.zel");
  EXPECT_EQ(zel::NativeFileName("clip.ZeL"), "clip.ZeL");
  EXPECT_EQ(zel::NativeFileName("clip.zel.wav"), "clip.zel.wav.zel");
  EXPECT_EQ(zel::NativeFileName("zel"), "zel.zel");
}

TEST_F(BookmarkClip, WithoutBookmarkNothingIsCropped) {
  CKlRecordFile source;
  ASSERT_EQ(source.LoadRecording(Write("plain.zel", Description(4, 17), Voice(2)), ""), 1);
  CBookmarkRecordFile clip(source, "");
  int count = clip.SampleCount();
  EXPECT_FALSE(clip.CropToBookmark());
  EXPECT_EQ(clip.SampleCount(), count);
  EXPECT_EQ(clip.Header().Duration(), 2u);
}

TEST_F(BookmarkClip, ClipOfAnEncryptedRecordingStaysEncrypted) {
  RecordingDescription d = Description(5, 49);
  d.keySizeCode = 2;
  d.bookmarkStart = 1;
  d.bookmarkEnd = 4;
  std::string path = Write("secret.zel", d, Voice(6));
  CKlRecordFile source;
  ASSERT_EQ(source.LoadRecordingAndWait(path, "open sesame"), 1);
  CBookmarkRecordFile clip(source, "open sesame");
  ASSERT_TRUE(clip.CropToBookmark());
  std::vector<int16_t> kept = AllSamples(clip);
  ASSERT_EQ(kept.size(), 24000u);
  std::string out = dir_.File("secret-clip.zel");
  ASSERT_TRUE(clip.WriteClip(out));

  std::string bytes = zeltest::ReadFile(out);
  std::vector<uint8_t> plainAudio = CGsmCodec::Encode(kept.data(), kept.size());
  ASSERT_EQ(bytes.size(), 1488u + (plainAudio.size() + 15) / 16 * 16);
  EXPECT_EQ(zeltest::ReadFile(out).find("Müller"), std::string::npos);
  // No stretch of the plain GSM frames appears in the file, not even the last bytes.
  std::string plain(plainAudio.begin(), plainAudio.end());
  EXPECT_EQ(bytes.find(plain.substr(plain.size() - 12)), std::string::npos);
  EXPECT_EQ(bytes.find(plain.substr(0, 16)), std::string::npos);

  CKlRecordFile back;
  EXPECT_EQ(back.LoadRecording(out, ""), 0);
  ASSERT_EQ(back.LoadRecordingAndWait(out, "open sesame"), 1);
  EXPECT_TRUE(back.Header().IsEncrypted());
  EXPECT_EQ(back.Header().KeySizeCode(), 2);
  EXPECT_EQ(back.SampleCount(), 24000);
  EXPECT_EQ(back.Header().Duration(), 3u);
  EXPECT_EQ(back.GetCallerId(), "Müller GmbH");
  EXPECT_EQ(AllSamples(back), Reference(49, plainAudio));
}

TEST_F(BookmarkClip, PathsAndAtomicWriting) {
  RecordingDescription d = Description(4, 6);
  d.bookmarkStart = 0;
  d.bookmarkEnd = 1;
  std::string path = Write("4711-20261207 101500.zel", d, Voice(2));
  CKlRecordFile source;
  ASSERT_EQ(source.LoadRecording(path, ""), 1);
  CBookmarkRecordFile clip(source, "");
  {
    zeltest::ScopedEnv tmp("TMPDIR", "/var/tmp/x");
    EXPECT_EQ(clip.ClipTempPath(".zel"), "/var/tmp/x/4711-20261207 101500.zel");
  }
  {
    zeltest::ScopedEnv tmp("TMPDIR", "/var/tmp/");
    EXPECT_EQ(clip.ClipTempPath(".wav"), "/var/tmp/4711-20261207 101500.wav");
  }
  {
    zeltest::ScopedEnv tmp("TMPDIR", "");
    EXPECT_EQ(clip.ClipTempPath(".zel"), "/tmp/4711-20261207 101500.zel");
  }
  ASSERT_TRUE(clip.CropToBookmark());
  EXPECT_FALSE(clip.WriteClip(dir_.File("no/such/folder/clip.zel")));
  // An existing file is replaced as a whole, and no temporary file is left behind.
  std::string out = dir_.File("clip.zel");
  zeltest::WriteFile(out, std::string(100000, 'x'));
  ASSERT_TRUE(clip.WriteClip(out));
  EXPECT_EQ(zeltest::ReadFile(out).size(), 1440u + 50 * 33);
  EXPECT_EQ(zeltest::RunShell("ls " + zeltest::ShellQuote(dir_.path()) + " | grep -c tmp").out, "0\n");

  std::string asked;
  EXPECT_FALSE(clip.ExportClip([&](const std::string& base) {
    asked = base;
    return std::optional<std::string>();
  }));
  EXPECT_EQ(asked, "4711-20261207 101500");
  std::string chosen = dir_.File("chosen.zel");
  EXPECT_TRUE(clip.ExportClip([&](const std::string&) { return std::optional<std::string>(chosen); }));
  EXPECT_TRUE(zeltest::FileExists(chosen));
}
