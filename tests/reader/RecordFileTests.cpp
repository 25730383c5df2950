// CKlRecordFile: loading every layout and coding, the sizes at the edges, sample
// access, annotations and their write-back.
#include <sys/stat.h>

#include <chrono>
#include <thread>

using namespace std::string_literals;

#include "core/Cp1252.h"
#include "recording/CKlRecordFile.h"
#include "tests/reader/ReaderFixture.h"

namespace {

std::vector<int16_t> AllSamples(const CKlRecordFile& file) {
  const int16_t* samples = nullptr;
  int n = file.GetSamples(0, file.SampleCount(), &samples);
  return std::vector<int16_t>(samples, samples + n);
}

std::vector<uint8_t> Plain(const RecordingDescription& d, const std::vector<uint8_t>& audio) {
  return CRecordingWriter::FileBytes(d, audio, audio.size());
}

}  // namespace

using RecordFile = ReaderFixture;

TEST_F(RecordFile, LoadsEveryVersionAndCodingToTheDecodedAudio) {
  std::vector<int16_t> pcm = Voice(3);
  for (uint32_t version = 1; version <= 5; ++version) {
    for (int32_t tag : {6, 7, 17, 49}) {
      SCOPED_TRACE("version " + std::to_string(version) + " tag " + std::to_string(tag));
      RecordingDescription d = Description(version, tag);
      std::string path = Write("v" + std::to_string(version) + "-" + std::to_string(tag) + ".zel", d, pcm);
      std::vector<int16_t> expected =
          Reference(tag, CRecordingWriter::EncodeAudio(tag, pcm.data(), pcm.size()));
      CKlRecordFile file;
      ASSERT_EQ(file.LoadRecordingAndWait(path, d.passphrase), 1);
      EXPECT_TRUE(file.IsReady());
      EXPECT_EQ(file.DecodedCount(), file.SampleCount());
      EXPECT_EQ(AllSamples(file), expected);
      EXPECT_EQ(file.GetCallerId(), "Müller GmbH");
      EXPECT_EQ(file.GetComment(), "Rückruf erbeten");
      EXPECT_EQ(file.Header().FormatTag(), tag);
      EXPECT_EQ(file.Header().IsEncrypted(), version == 5);
    }
  }
}

TEST_F(RecordFile, SizesAtTheEdges) {
  RecordingDescription d = Description(4, 49);
  // 1439 bytes is too short for any ".zel"; exactly a header gives no samples.
  std::vector<uint8_t> header = Plain(d, {});
  ASSERT_EQ(header.size(), 1440u);
  std::vector<uint8_t> short1439 = Plain(d, std::vector<uint8_t>(100, 0xD5));
  short1439.resize(1439);
  CKlRecordFile file;
  EXPECT_EQ(file.LoadRecording(WriteBytes("short.zel", short1439), ""), 0);
  EXPECT_EQ(file.LoadRecording(WriteBytes("header.zel", header), ""), 0);
  EXPECT_FALSE(file.HasFile());

  // GSM: 100 frames and 20 bytes give 16,000 samples; the part frame is ignored.
  std::vector<int16_t> pcm = Voice(2);
  std::vector<uint8_t> gsm = CGsmCodec::Encode(pcm.data(), pcm.size());
  ASSERT_EQ(gsm.size(), 3300u);
  std::vector<uint8_t> gsmTail = gsm;
  gsmTail.insert(gsmTail.end(), 20, 0xD5);
  ASSERT_EQ(file.LoadRecordingAndWait(WriteBytes("gsm.zel", Plain(d, gsmTail)), ""), 1);
  EXPECT_EQ(file.SampleCount(), 16000);
  EXPECT_EQ(AllSamples(file), Reference(49, gsm));

  // IMA: three blocks and 255 bytes give 1512 samples.
  std::vector<uint8_t> ima = CRecordingWriter::EncodeIma(pcm.data(), 3 * 504);
  ASSERT_EQ(ima.size(), 768u);
  std::vector<uint8_t> imaTail = ima;
  imaTail.insert(imaTail.end(), 255, 0x77);
  d.formatTag = 17;
  ASSERT_EQ(file.LoadRecordingAndWait(WriteBytes("ima.zel", Plain(d, imaTail)), ""), 1);
  EXPECT_EQ(file.SampleCount(), 1512);
  EXPECT_EQ(AllSamples(file), Reference(17, ima));
}

TEST_F(RecordFile, WavAndHeaderlessFiles) {
  // ".wav" (any case): 16-bit little-endian samples from the first byte on.
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecording(WriteBytes("call.WAV", bytes), ""), 1);
  EXPECT_TRUE(file.IsReady());
  ASSERT_EQ(file.SampleCount(), 500);
  std::vector<int16_t> samples = AllSamples(file);
  EXPECT_EQ(samples[0], static_cast<int16_t>(bytes[0] | (bytes[1] << 8)));
  EXPECT_EQ(samples[499], static_cast<int16_t>(bytes[998] | (bytes[999] << 8)));

  // Any other ending: mu-law from the first byte, the path as caller and comment.
  std::string path = WriteBytes("Gespräch.raw", bytes);
  ASSERT_EQ(file.LoadRecording(path, ""), 1);
  EXPECT_EQ(file.SampleCount(), 1000);
  EXPECT_EQ(AllSamples(file), Reference(7, bytes));
  EXPECT_EQ(file.GetComment(), path);
  std::string raw = zel::Utf8ToCp1252(path);
  EXPECT_EQ(file.GetCallerId(), zel::Cp1252ToUtf8(raw.substr(0, 16)));
  EXPECT_EQ(file.Header().FormatTag(), 7);
  EXPECT_EQ(file.Header().Important(), 0u);

  // Such files have no header to write annotations into: the audio stays intact.
  file.SetCallerId("Somebody");
  EXPECT_TRUE(file.HeaderDirty());
  EXPECT_FALSE(file.SaveIfDirty());
  EXPECT_EQ(zeltest::ReadFile(path), std::string(bytes.begin(), bytes.end()));
}

TEST_F(RecordFile, SampleAccessAtTheEnd) {
  CKlRecordFile file;
  const int16_t* samples = reinterpret_cast<const int16_t*>(1);
  EXPECT_EQ(file.GetSamples(0, 10, &samples), 0);  // nothing loaded
  EXPECT_EQ(samples, nullptr);
  std::vector<int16_t> pcm = Voice(1);
  ASSERT_EQ(file.LoadRecording(Write("a.zel", Description(4, 6), pcm), ""), 1);
  ASSERT_EQ(file.SampleCount(), 8000);
  std::vector<int16_t> all = AllSamples(file);
  EXPECT_EQ(file.GetSamples(7990, 100, &samples), 10);
  EXPECT_TRUE(std::equal(samples, samples + 10, all.begin() + 7990));
  EXPECT_EQ(file.GetSamples(8000, 1, &samples), 0);
  EXPECT_EQ(file.GetSamples(-1, 5, &samples), 0);
  EXPECT_EQ(file.GetSamples(0, 0, &samples), 0);
  EXPECT_EQ(file.GetSamples(100, 50, &samples), 50);
  EXPECT_EQ(samples[0], zel::kALawTable[CRecordingWriter::LinearToALaw(pcm[100])]);
}

TEST_F(RecordFile, SamePathIsNotReadAgainUntilClosed) {
  std::string path = Write("same.zel", Description(4, 7), Voice(1));
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecording(path, ""), 1);
  std::vector<int16_t> before = AllSamples(file);
  // Replace the file by a shorter one: an already loaded path keeps what it had.
  Write("same.zel", Description(4, 7), Voice(2, 99));
  EXPECT_EQ(file.LoadRecording(path, ""), 1);
  EXPECT_EQ(AllSamples(file), before);
  file.CloseRecording();
  EXPECT_FALSE(file.HasFile());
  EXPECT_EQ(file.SampleCount(), 0);
  ASSERT_EQ(file.LoadRecording(path, ""), 1);
  EXPECT_EQ(file.SampleCount(), 16000);
  // An empty path closes.
  EXPECT_EQ(file.LoadRecordingAndWait("", ""), 1);
  EXPECT_FALSE(file.HasFile());
}

TEST_F(RecordFile, FailuresLeaveNothingLoaded) {
  CKlRecordFile file;
  EXPECT_EQ(file.LoadRecording(dir_.File("missing.zel"), ""), 0);
  EXPECT_FALSE(file.IsReady());
  EXPECT_FALSE(file.HasFile());

  std::vector<int16_t> pcm = Voice(1);
  RecordingDescription unknown = Description(4, 85);  // MPEG: not a coding of ours
  std::vector<uint8_t> audio = CRecordingWriter::EncodeAudio(6, pcm.data(), pcm.size());
  EXPECT_EQ(file.LoadRecording(WriteBytes("mp3.zel", Plain(unknown, audio)), ""), 0);
  EXPECT_FALSE(file.HasFile());

  std::string secret = Write("secret.zel", Description(5, 49), pcm);
  EXPECT_EQ(file.LoadRecording(secret, ""), 0);
  EXPECT_EQ(file.LoadRecording(secret, "Open sesame"), 0);
  EXPECT_FALSE(file.HasFile());
  EXPECT_EQ(file.LoadRecordingAndWait(secret, "open sesame"), 1);
  EXPECT_EQ(file.SampleCount(), 8000);

  std::vector<uint8_t> badVersion = Plain(Description(4, 6), audio);
  badVersion[0] = 9;
  EXPECT_EQ(file.LoadRecording(WriteBytes("v9.zel", badVersion), ""), 0);
  EXPECT_FALSE(file.HasFile());
}

TEST_F(RecordFile, DirtyFlagRulesAndWriteBack) {
  RecordingDescription d = Description(4, 49);
  d.bookmarkStart = 1;
  d.bookmarkEnd = 2;
  std::string path = Write("notes.zel", d, Voice(3));
  std::string original = zeltest::ReadFile(path);
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecording(path, ""), 1);

  file.SetCallerId("Müller GmbH");
  file.SetImportant(0);
  EXPECT_EQ(file.SetBookmark(1, 2), 1);
  EXPECT_FALSE(file.HeaderDirty());
  EXPECT_TRUE(file.SaveIfDirty());
  EXPECT_EQ(zeltest::ReadFile(path), original);

  EXPECT_EQ(file.SetBookmark(10, 10), 0);
  EXPECT_FALSE(file.HeaderDirty());

  file.SetCallerId("Frau Weiß €");
  EXPECT_TRUE(file.HeaderDirty());
  file.SetImportant(1);
  EXPECT_EQ(file.SetBookmark(65, 130), 1);
  ASSERT_TRUE(file.SaveIfDirty());
  EXPECT_FALSE(file.HeaderDirty());

  std::string saved = zeltest::ReadFile(path);
  ASSERT_EQ(saved.size(), original.size());
  EXPECT_EQ(saved.substr(1440), original.substr(1440));  // the audio is untouched
  EXPECT_EQ(saved.substr(16, 12), "Frau Wei\xDF \x80\0"s.substr(0, 12));  // Windows-1252

  CKlRecordFile again;
  ASSERT_EQ(again.LoadRecording(path, ""), 1);
  EXPECT_EQ(again.GetCallerId(), "Frau Weiß €");
  EXPECT_EQ(again.Header().Important(), 1u);
  int start = 0, end = 0;
  ASSERT_TRUE(again.GetBookmark(start, end));
  EXPECT_EQ(start, 65);
  EXPECT_EQ(end, 130);
  EXPECT_EQ(again.SetBookmark(-1, -1), 1);
  EXPECT_TRUE(again.HeaderDirty());
  EXPECT_FALSE(again.GetBookmark(start, end));
  // Closing drops unsaved changes.
  again.CloseRecording();
  ASSERT_EQ(again.LoadRecording(path, ""), 1);
  EXPECT_TRUE(again.GetBookmark(start, end));

  // A text longer than the field is cut, and setting the same long text again is no change.
  std::string longCaller(300, 'x');
  again.SetCallerId(longCaller);
  ASSERT_TRUE(again.SaveIfDirty());
  again.SetCallerId(longCaller);
  EXPECT_FALSE(again.HeaderDirty());
  EXPECT_EQ(again.GetCallerId(), std::string(127, 'x'));

  // The file went away: nothing is created in its place.
  again.SetImportant(0);
  ASSERT_EQ(std::remove(path.c_str()), 0);
  EXPECT_FALSE(again.SaveIfDirty());
  EXPECT_FALSE(zeltest::FileExists(path));
}

TEST_F(RecordFile, EncryptedRecordingKeepsItsLayoutWhenAnnotated) {
  std::vector<int16_t> pcm = Voice(2);
  std::string path = Write("enc.zel", Description(5, 17), pcm);
  std::string original = zeltest::ReadFile(path);
  CKlRecordFile file;
  ASSERT_EQ(file.LoadRecordingAndWait(path, "open sesame"), 1);
  std::vector<int16_t> decoded = AllSamples(file);
  EXPECT_EQ(decoded, Reference(17, CRecordingWriter::EncodeIma(pcm.data(), pcm.size())));
  file.SetComment("geheim");
  ASSERT_TRUE(file.SaveIfDirty());
  std::string saved = zeltest::ReadFile(path);
  EXPECT_EQ(saved.size(), original.size());
  EXPECT_EQ(saved.substr(1488), original.substr(1488));
  EXPECT_EQ(saved.find("geheim"), std::string::npos);  // the header stays encrypted
  CKlRecordFile again;
  EXPECT_EQ(again.LoadRecording(path, ""), 0);
  ASSERT_EQ(again.LoadRecordingAndWait(path, "open sesame"), 1);
  EXPECT_EQ(again.GetComment(), "geheim");
  EXPECT_EQ(AllSamples(again), decoded);
}
