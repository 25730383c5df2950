// Our decoders against sox decoding the same material: sample for sample.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/CGsmCodec.h"
#include "codec/G711.h"
#include "codec/ImaAdpcm.h"
#include "recording/CRecordingWriter.h"
#include "support/TestSupport.h"

namespace {

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Runs sox on `input` (with its type options) and returns its 16-bit output samples.
std::vector<int16_t> SoxDecode(const zeltest::TempDir& dir, const std::string& typeOptions,
                               const std::string& input) {
  std::string out = dir.File("sox.raw");
  zeltest::CommandResult r = zeltest::RunShell(
      "sox -D " + typeOptions + " " + zeltest::ShellQuote(input) +
      " -t raw -e signed-integer -b 16 -L " + zeltest::ShellQuote(out) + " 2>&1");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  std::string raw = zeltest::ReadFile(out);
  std::vector<int16_t> samples(raw.size() / 2);
  std::memcpy(samples.data(), raw.data(), samples.size() * 2);
  return samples;
}

void PutLe(std::string& s, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A WAVE file of IMA ADPCM in 256-byte mono blocks (505 samples each to sox).
std::string ImaWave(const std::vector<uint8_t>& blocks) {
  std::string fmt;
  PutLe(fmt, 0x11, 2);
  PutLe(fmt, 1, 2);
  PutLe(fmt, 8000, 4);
  PutLe(fmt, 8000 * 256 / 505, 4);
  PutLe(fmt, 256, 2);
  PutLe(fmt, 4, 2);
  PutLe(fmt, 2, 2);
  PutLe(fmt, 505, 2);
  std::string body = "WAVEfmt ";
  PutLe(body, static_cast<uint32_t>(fmt.size()), 4);
  body += fmt + "fact";
  PutLe(body, 4, 4);
  PutLe(body, static_cast<uint32_t>(blocks.size() / 256 * 505), 4);
  body += "data";
  PutLe(body, static_cast<uint32_t>(blocks.size()), 4);
  body += Bytes(blocks);
  std::string wave = "RIFF";
  PutLe(wave, static_cast<uint32_t>(body.size()), 4);
  return wave + body;
}

class SoxReference : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!zeltest::ToolAvailable("sox")) GTEST_SKIP() << "sox is not installed";
  }
  // Every byte value, then coded speech and random bytes.
  std::vector<uint8_t> G711Material(int tag) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<uint8_t>(i));
    std::vector<int16_t> voice = CRecordingWriter::SynthesizeVoice(16000, 21);
    std::vector<uint8_t> coded = CRecordingWriter::EncodeAudio(tag, voice.data(), voice.size());
    bytes.insert(bytes.end(), coded.begin(), coded.end());
    std::mt19937 random(tag);
    for (int i = 0; i < 4000; ++i) bytes.push_back(static_cast<uint8_t>(random()));
    return bytes;
  }
  zeltest::TempDir dir_;
};

}  // namespace

TEST_F(SoxReference, ALawMatchesExactly) {
  std::vector<uint8_t> coded = G711Material(6);
  zeltest::WriteFile(dir_.File("in.al"), Bytes(coded));
  std::vector<int16_t> sox = SoxDecode(dir_, "-t al -r 8000 -c 1", dir_.File("in.al"));
  ASSERT_EQ(sox.size(), coded.size());
  std::vector<int16_t> ours(coded.size());
  zel::DecodeG711(zel::kALawTable.data(), coded.data(), coded.size(), ours.data());
  for (size_t i = 0; i < coded.size(); ++i) ASSERT_EQ(ours[i], sox[i]) << "byte " << i;
}

TEST_F(SoxReference, MuLawMatchesTheScaledExpansion) {
  std::vector<uint8_t> coded = G711Material(7);
  zeltest::WriteFile(dir_.File("in.ul"), Bytes(coded));
  std::vector<int16_t> sox = SoxDecode(dir_, "-t ul -r 8000 -c 1", dir_.File("in.ul"));
  ASSERT_EQ(sox.size(), coded.size());
  std::vector<int16_t> ours(coded.size());
  zel::DecodeG711(zel::kMuLawTable.data(), coded.data(), coded.size(), ours.data());
  for (size_t i = 0; i < coded.size(); ++i) {
    // sox gives the plain ITU expansion; ours carries the 1.004137 gain, truncated.
    int expected = static_cast<int>(static_cast<int64_t>(sox[i]) * 1004137 / 1000000);
    ASSERT_EQ(ours[i], expected) << "byte " << i << " sox " << sox[i];
  }
}

TEST_F(SoxReference, GsmMatchesExactly) {
  CGsmCodec probe;
  if (probe.FastEnabled()) GTEST_SKIP() << "libgsm uses its fast arithmetic; sox does not";
  std::vector<int16_t> voice = CRecordingWriter::SynthesizeVoice(8000 * 20, 22);
  std::vector<uint8_t> coded = CGsmCodec::Encode(voice.data(), voice.size());
  // Random frames with the signature too: every bit pattern must decode alike.
  std::mt19937 random(49);
  for (int f = 0; f < 200; ++f) {
    coded.push_back(static_cast<uint8_t>(0xD0 | (random() & 0x0F)));
    for (int i = 1; i < 33; ++i) coded.push_back(static_cast<uint8_t>(random()));
  }
  zeltest::WriteFile(dir_.File("in.gsm"), Bytes(coded));
  std::vector<int16_t> sox = SoxDecode(dir_, "-t gsm -r 8000 -c 1", dir_.File("in.gsm"));
  size_t frames = coded.size() / 33;
  ASSERT_EQ(sox.size(), frames * 160);
  CGsmCodec codec;
  std::vector<int16_t> ours(frames * 160);
  for (size_t f = 0; f < frames; ++f) {
    ASSERT_TRUE(codec.DecodeFrame(coded.data() + 33 * f, ours.data() + 160 * f));
  }
  for (size_t i = 0; i < ours.size(); ++i) ASSERT_EQ(ours[i], sox[i]) << "sample " << i;
}

TEST_F(SoxReference, ImaAdpcmMatchesSoxAfterEachHeaderSample) {
  std::vector<int16_t> voice = CRecordingWriter::SynthesizeVoice(8000 * 10, 23);
  std::vector<uint8_t> coded = CRecordingWriter::EncodeIma(voice.data(), voice.size());
  // Random blocks with valid headers exercise every code at every step.
  std::mt19937 random(17);
  for (int b = 0; b < 100; ++b) {
    uint16_t predictor = static_cast<uint16_t>(random());
    coded.push_back(static_cast<uint8_t>(predictor & 0xFF));
    coded.push_back(static_cast<uint8_t>(predictor >> 8));
    coded.push_back(static_cast<uint8_t>(random() % 89));
    coded.push_back(0);
    for (int i = 4; i < 256; ++i) coded.push_back(static_cast<uint8_t>(random()));
  }
  zeltest::WriteFile(dir_.File("in.wav"), ImaWave(coded));
  std::vector<int16_t> sox = SoxDecode(dir_, "", dir_.File("in.wav"));
  size_t blocks = coded.size() / 256;
  ASSERT_EQ(sox.size(), blocks * 505);
  std::vector<int16_t> ours(zel::kImaBlockSamples);
  for (size_t b = 0; b < blocks; ++b) {
    zel::DecodeImaBlock(coded.data() + 256 * b, ours.data());
    // sox's first sample of a block is the header predictor, which we do not emit.
    int16_t header = static_cast<int16_t>(coded[256 * b] | (coded[256 * b + 1] << 8));
    ASSERT_EQ(sox[505 * b], header) << "block " << b;
    for (int i = 0; i < zel::kImaBlockSamples; ++i) {
      ASSERT_EQ(ours[i], sox[505 * b + 1 + i]) << "block " << b << " sample " << i;
    }
  }
}
