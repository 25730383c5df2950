// Damaged files: truncated and overwritten recordings of every layout never crash
// the reader, and whatever loads is consistent.
#include <random>

#include "recording/CKlRecordFile.h"
#include "tests/reader/ReaderFixture.h"

namespace {

// Loads `bytes` as `name` and, when it loads, reads every sample.
void LoadAndRead(const zeltest::TempDir& dir, const std::string& name,
                 const std::vector<uint8_t>& bytes, const std::string& passphrase) {
  std::string path = dir.File(name);
  zeltest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
  CKlRecordFile file;
  int result = file.LoadRecordingAndWait(path, passphrase);
  if (result == 0) {
    EXPECT_FALSE(file.HasFile());
    EXPECT_EQ(file.SampleCount(), 0);
    return;
  }
  ASSERT_GT(file.SampleCount(), 0);
  ASSERT_EQ(file.DecodedCount(), file.SampleCount());
  const int16_t* samples = nullptr;
  ASSERT_EQ(file.GetSamples(0, file.SampleCount(), &samples), file.SampleCount());
  long long sum = 0;
  for (int i = 0; i < file.SampleCount(); ++i) sum += samples[i];
  int start = 0, end = 0;
  file.GetBookmark(start, end);
  EXPECT_LE(file.GetCallerId().size(), 127u * 3);
  (void)sum;
}

}  // namespace

using Corruption = ReaderFixture;

TEST_F(Corruption, TruncatedAndOverwrittenFilesNeverCrash) {
  std::vector<int16_t> pcm = Voice(1, 8);
  std::mt19937 random(2026);
  for (uint32_t version : {1u, 2u, 4u, 5u}) {
    for (int32_t tag : {6, 17, 49}) {
      RecordingDescription d = Description(version, tag);
      d.bookmarkStart = 0;
      d.bookmarkEnd = 1;
      std::vector<uint8_t> audio = CRecordingWriter::EncodeAudio(tag, pcm.data(), pcm.size());
      std::vector<uint8_t> whole = CRecordingWriter::FileBytes(d, audio, pcm.size());
      SCOPED_TRACE("version " + std::to_string(version) + " tag " + std::to_string(tag));
      // Every length around the header and the first frames, then coarser steps.
      for (size_t length = 0; length < whole.size(); length += (length < 1600 ? 13 : 997)) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length));
        LoadAndRead(dir_, "cut.zel", cut, d.passphrase);
      }
      // Random bytes written over random places (header included).
      for (int round = 0; round < 25; ++round) {
        std::vector<uint8_t> damaged = whole;
        int hits = 1 + static_cast<int>(random() % 40);
        for (int h = 0; h < hits; ++h) {
          size_t at = random() % (round % 2 == 0 ? std::min<size_t>(damaged.size(), 1500) : damaged.size());
          damaged[at] = static_cast<uint8_t>(random());
        }
        LoadAndRead(dir_, "damaged.zel", damaged, d.passphrase);
      }
    }
  }
}

TEST_F(Corruption, RandomFilesOfManyLengths) {
  std::mt19937 random(77);
  for (size_t length : {0u, 1u, 7u, 8u, 100u, 1175u, 1176u, 1177u, 1439u, 1440u, 1441u, 1473u,
                        1487u, 1488u, 1489u, 1520u, 1696u, 5000u, 70000u}) {
    std::vector<uint8_t> bytes(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    // Each plausible version in front, so the readers behind it run too.
    for (uint8_t version : {1, 2, 3, 4, 5, 77}) {
      if (length >= 4) {
        bytes[0] = version;
        bytes[1] = bytes[2] = bytes[3] = 0;
      }
      for (uint8_t tag : {6, 7, 17, 49}) {
        if (length >= 12) {
          bytes[8] = tag;
          bytes[9] = bytes[10] = bytes[11] = 0;
        }
        LoadAndRead(dir_, "random.zel", bytes, "open sesame");
      }
    }
    LoadAndRead(dir_, "random.wav", bytes, "");
    LoadAndRead(dir_, "random.bin", bytes, "");
  }
}

TEST_F(Corruption, ReturnCodesOfTheUsualFailures) {
  std::vector<int16_t> pcm = Voice(1);
  CKlRecordFile file;
  // Wrong passphrase.
  std::string secret = Write("secret.zel", Description(5, 6), pcm);
  EXPECT_EQ(file.LoadRecordingAndWait(secret, "wrong"), 0);
  EXPECT_FALSE(file.IsReady());
  // Unknown format tag, in every layout.
  for (uint32_t version : {1u, 3u, 4u, 5u}) {
    RecordingDescription d = Description(version, 2);  // MS ADPCM
    EXPECT_EQ(file.LoadRecordingAndWait(Write("adpcm.zel", d, pcm), d.passphrase), 0) << version;
  }
  // Zero-length audio, and audio shorter than one block or frame.
  RecordingDescription d = Description(4, 17);
  std::vector<uint8_t> empty = CRecordingWriter::FileBytes(d, {}, 0);
  EXPECT_EQ(file.LoadRecordingAndWait(WriteBytes("empty.zel", empty), ""), 0);
  std::vector<uint8_t> partBlock = CRecordingWriter::FileBytes(d, std::vector<uint8_t>(255, 0x11), 0);
  EXPECT_EQ(file.LoadRecordingAndWait(WriteBytes("part.zel", partBlock), ""), 0);
  d.formatTag = 49;
  std::vector<uint8_t> partFrame = CRecordingWriter::FileBytes(d, std::vector<uint8_t>(32, 0xD0), 0);
  EXPECT_EQ(file.LoadRecordingAndWait(WriteBytes("frame.zel", partFrame), ""), 0);
  EXPECT_FALSE(file.HasFile());
  // A ".wav" of one byte has no sample; an empty headerless file nothing at all.
  EXPECT_EQ(file.LoadRecording(WriteBytes("one.wav", {1}), ""), 0);
  EXPECT_EQ(file.LoadRecording(WriteBytes("empty.raw", {}), ""), 0);
}
