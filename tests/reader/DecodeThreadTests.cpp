// The background decoding of IMA ADPCM and GSM: samples become readable while it
// runs, and closing or destroying the recording meanwhile is safe.
#include <atomic>
#include <chrono>
#include <thread>

#include "recording/CKlRecordFile.h"
#include "tests/reader/ReaderFixture.h"

namespace {

// Coded audio of `minutes` of speech, built from one encoded stretch repeated (the
// encoder is slower than the decoder; the content does not matter here).
std::vector<uint8_t> LongAudio(int32_t tag, int minutes) {
  std::vector<int16_t> pcm = CRecordingWriter::SynthesizeVoice(8000 * 63, 5);
  std::vector<uint8_t> piece = CRecordingWriter::EncodeAudio(tag, pcm.data(), pcm.size());
  std::vector<uint8_t> audio;
  while (audio.size() < piece.size() * static_cast<size_t>(minutes)) {
    audio.insert(audio.end(), piece.begin(), piece.end());
  }
  return audio;
}

}  // namespace

class DecodeThread : public ReaderFixture {
 protected:
  std::string LongRecording(const std::string& name, int32_t tag, int minutes) {
    RecordingDescription d = Description(4, tag);
    std::vector<uint8_t> audio = LongAudio(tag, minutes);
    return WriteBytes(name, CRecordingWriter::FileBytes(d, audio, 0));
  }
};

TEST_F(DecodeThread, SamplesFillInWhileTheCountIsFinal) {
  std::string path = LongRecording("long.zel", 49, 10);
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecording(path, ""), 1);
  int total = file.SampleCount();
  EXPECT_GE(total, 10 * 60 * 8000);
  EXPECT_TRUE(file.HasFile());
  // Decoded counts only grow, in whole frames, and reach the total.
  int last = 0;
  bool sawPartial = false;
  while (!file.WaitForDecoding(1)) {
    int now = file.DecodedCount();
    ASSERT_GE(now, last);
    ASSERT_EQ(now % 160, 0);
    if (now > 0 && now < total) {
      sawPartial = true;
      EXPECT_FALSE(file.IsReady());
      const int16_t* samples = nullptr;
      // What is decoded can be read while decoding goes on.
      ASSERT_EQ(file.GetSamples(0, now, &samples), now);
      volatile int sum = 0;
      for (int i = 0; i < now; i += 97) sum = sum + samples[i];
    }
    last = now;
  }
  EXPECT_TRUE(sawPartial);
  EXPECT_TRUE(file.IsReady());
  EXPECT_EQ(file.DecodedCount(), total);
}

TEST_F(DecodeThread, AWaitForADecodedCountEndsAtTheCountOrAtTheEnd) {
  std::string path = LongRecording("wait.zel", 49, 60);
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecording(path, ""), 1);
  EXPECT_TRUE(file.WaitForDecodedCount(8000, -1));
  EXPECT_GE(file.DecodedCount(), 8000);
  EXPECT_FALSE(file.IsReady());  // an hour takes longer than a second's worth
  // More than the recording holds: the end of decoding ends the wait.
  EXPECT_TRUE(file.WaitForDecodedCount(file.SampleCount() + 1, -1));
  EXPECT_TRUE(file.IsReady());
}

TEST_F(DecodeThread, ClosingOrDestroyingWhileDecodingIsSafe) {
  std::string gsm = LongRecording("gsm.zel", 49, 60);
  std::string ima = LongRecording("ima.zel", 17, 60);
  for (int round = 0; round < 3; ++round) {
    CKlRecordFile file;
    ASSERT_EQ(file.LoadRecording(gsm, ""), 1);
    EXPECT_FALSE(file.IsReady());  // an hour takes longer than this line
    auto begin = std::chrono::steady_clock::now();
    file.CloseRecording();
    auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_LT(took, std::chrono::milliseconds(500));
    EXPECT_FALSE(file.HasFile());
    EXPECT_EQ(file.SampleCount(), 0);
    EXPECT_EQ(file.DecodedCount(), 0);

    // Loading another file while one decodes stops the first.
    ASSERT_EQ(file.LoadRecording(gsm, ""), 1);
    ASSERT_EQ(file.LoadRecording(ima, ""), 1);
    EXPECT_EQ(file.SampleCount() % 504, 0);
    // And the destructor stops the second.
  }
  auto file = std::make_unique<CKlRecordFile>();
  ASSERT_EQ(file->LoadRecording(ima, ""), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  file.reset();
}

TEST_F(DecodeThread, WaitingLoadDecodesEverything) {
  std::string path = LongRecording("five.zel", 17, 5);
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecordingAndWait(path, ""), 1);
  EXPECT_TRUE(file.IsReady());
  EXPECT_EQ(file.DecodedCount(), file.SampleCount());
  std::vector<uint8_t> audio = LongAudio(17, 5);
  std::vector<int16_t> expected = Reference(17, audio);
  const int16_t* samples = nullptr;
  ASSERT_EQ(file.GetSamples(0, file.SampleCount(), &samples), static_cast<int>(expected.size()));
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), samples));
}
