// Decoders and encoders of the four codings, checked against values worked out by
// hand and against properties any correct implementation has.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "codec/CGsmCodec.h"
#include "codec/G711.h"
#include "codec/ImaAdpcm.h"
#include "recording/CRecordingWriter.h"

namespace {

std::vector<uint8_t> ImaBlock(int16_t predictor, int8_t index, uint8_t fill) {
  std::vector<uint8_t> block(zel::kImaBlockBytes, fill);
  block[0] = static_cast<uint8_t>(predictor & 0xFF);
  block[1] = static_cast<uint8_t>((predictor >> 8) & 0xFF);
  block[2] = static_cast<uint8_t>(index);
  block[3] = 0;
  return block;
}

std::vector<int16_t> DecodeIma(const std::vector<uint8_t>& block) {
  std::vector<int16_t> out(zel::kImaBlockSamples, 12345);
  zel::DecodeImaBlock(block.data(), out.data());
  return out;
}

// Signal-to-noise ratio of `decoded` against `original` in dB.
double Snr(const std::vector<int16_t>& original, const std::vector<int16_t>& decoded,
           size_t count) {
  double signal = 0, noise = 0;
  for (size_t i = 0; i < count; ++i) {
    signal += double(original[i]) * original[i];
    double d = double(original[i]) - decoded[i];
    noise += d * d;
  }
  return 10.0 * std::log10(signal / std::max(noise, 1.0));
}

}  // namespace

TEST(G711, TablesAreOddSymmetricAndMonotonicPerHalf) {
  // Flipping the sign bit negates the value (mu-law 0x7F/0xFF both 0).
  for (int i = 0; i < 128; ++i) {
    EXPECT_EQ(zel::kALawTable[i], -zel::kALawTable[i | 0x80]) << i;
    EXPECT_EQ(zel::kMuLawTable[i], -zel::kMuLawTable[i | 0x80]) << i;
  }
  // mu-law codes 0x80..0xFF fall from the largest value to 0.
  for (int i = 0x81; i < 0x100; ++i) EXPECT_LT(zel::kMuLawTable[i], zel::kMuLawTable[i - 1]) << i;
  // Every A-law value is distinct.
  std::vector<int16_t> values(zel::kALawTable.begin(), zel::kALawTable.end());
  std::sort(values.begin(), values.end());
  EXPECT_EQ(std::unique(values.begin(), values.end()), values.end());
}

TEST(G711, DecodeUsesOneLookupPerByte) {
  const uint8_t coded[] = {0xD5, 0x55, 0x2A, 0xAA, 0x00};
  int16_t out[6] = {1, 1, 1, 1, 1, 777};
  zel::DecodeG711(zel::kALawTable.data(), coded, 5, out);
  EXPECT_EQ(out[0], 8);
  EXPECT_EQ(out[1], -8);
  EXPECT_EQ(out[2], -32256);
  EXPECT_EQ(out[3], 32256);
  EXPECT_EQ(out[4], -5504);
  EXPECT_EQ(out[5], 777);  // nothing past n
  const uint8_t mu[] = {0xFF, 0x00, 0x0F, 0x70};
  zel::DecodeG711(zel::kMuLawTable.data(), mu, 4, out);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], -32256);
  EXPECT_EQ(out[2], -16833);
  EXPECT_EQ(out[3], -120);
}

TEST(G711, EncodersInvertTheTables) {
  for (int code = 0; code < 256; ++code) {
    EXPECT_EQ(CRecordingWriter::LinearToALaw(zel::kALawTable[code]), code) << code;
    if (code != 0x7F) {  // 0x7F and 0xFF both mean 0; the encoder writes 0xFF
      EXPECT_EQ(CRecordingWriter::LinearToMuLaw(zel::kMuLawTable[code]), code) << code;
    }
  }
}

TEST(ImaAdpcm, RisingCodesSaturateAndTheIndexStaysAtTheTop) {
  // 200 bytes of 0x77 drive predictor and index to their maxima; the bytes 0x88
  // after them then subtract step/8 with the top step, so the values show the index.
  std::vector<uint8_t> block = ImaBlock(0, 0, 0x77);
  for (int i = 4 + 200; i < zel::kImaBlockBytes; ++i) block[i] = 0x88;
  std::vector<int16_t> out = DecodeIma(block);
  for (int i = 1; i < 400; ++i) EXPECT_GE(out[i], out[i - 1]) << i;
  EXPECT_EQ(out[0], 11);  // step 7: 7/8 + 7 + 7/2 + 7/4 = 0 + 7 + 3 + 1
  EXPECT_EQ(out[399], 32767);
  EXPECT_EQ(out[400], 32767 - (32767 >> 3));            // index 88
  EXPECT_EQ(out[401], out[400] - (29794 >> 3));          // index 87
}

TEST(ImaAdpcm, FallingCodesClampAtTheBottom) {
  std::vector<int16_t> out = DecodeIma(ImaBlock(-30000, 40, 0xFF));
  EXPECT_LT(out[0], -30000);
  EXPECT_EQ(out[zel::kImaBlockSamples - 1], -32768);
  for (int16_t s : out) EXPECT_GE(s, -32768);
}

TEST(ImaAdpcm, BlockHeaderSetsTheStartAndOutOfRangeIndexesAreClamped) {
  std::mt19937 random(7);
  std::vector<uint8_t> data = ImaBlock(1000, 20, 0);
  for (int i = 4; i < zel::kImaBlockBytes; ++i) data[i] = static_cast<uint8_t>(random());
  // Code 0 adds step/8: predictor 1000 and index 20 (step 50) give 1006.
  std::vector<uint8_t> zero = ImaBlock(1000, 20, 0);
  EXPECT_EQ(DecodeIma(zero)[0], 1006);

  std::vector<uint8_t> high = data, top = data, low = data, bottom = data;
  high[2] = 100;
  top[2] = 88;
  low[2] = static_cast<uint8_t>(-5);
  bottom[2] = 0;
  EXPECT_EQ(DecodeIma(high), DecodeIma(top));
  EXPECT_EQ(DecodeIma(low), DecodeIma(bottom));
}

TEST(ImaAdpcm, EncoderRoundTripKeepsTheSignal) {
  std::vector<int16_t> pcm(8000);
  for (size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<int16_t>(12000 * std::sin(2 * 3.14159265 * 440 * double(i) / 8000) +
                                  4000 * std::sin(2 * 3.14159265 * 1250 * double(i) / 8000));
  }
  std::vector<uint8_t> coded = CRecordingWriter::EncodeIma(pcm.data(), pcm.size());
  ASSERT_EQ(coded.size(), 16u * zel::kImaBlockBytes);  // 8000 / 504 rounded up
  std::vector<int16_t> decoded(16 * zel::kImaBlockSamples);
  for (int b = 0; b < 16; ++b) {
    zel::DecodeImaBlock(coded.data() + b * zel::kImaBlockBytes,
                        decoded.data() + b * zel::kImaBlockSamples);
  }
  EXPECT_GT(Snr(pcm, decoded, pcm.size()), 25.0);
}

TEST(Gsm, RejectedFrameLeavesItsSamplesAndTheStateAlone) {
  std::vector<int16_t> pcm = CRecordingWriter::SynthesizeVoice(320, 5);
  std::vector<uint8_t> frames = CGsmCodec::Encode(pcm.data(), pcm.size());
  ASSERT_EQ(frames.size(), 66u);
  ASSERT_EQ(frames[0] >> 4, 0xD);

  // Reference: frames 1 and 2 decoded in order.
  CGsmCodec reference;
  std::vector<int16_t> expected(320);
  ASSERT_TRUE(reference.DecodeFrame(frames.data(), expected.data()));
  ASSERT_TRUE(reference.DecodeFrame(frames.data() + 33, expected.data() + 160));

  // With a frame of zeros between them, that frame writes nothing and changes nothing.
  CGsmCodec codec;
  std::vector<int16_t> out(480, 0);
  uint8_t bad[33] = {};
  ASSERT_TRUE(codec.DecodeFrame(frames.data(), out.data()));
  EXPECT_FALSE(codec.DecodeFrame(bad, out.data() + 160));
  ASSERT_TRUE(codec.DecodeFrame(frames.data() + 33, out.data() + 320));
  for (int i = 160; i < 320; ++i) ASSERT_EQ(out[i], 0) << i;
  EXPECT_TRUE(std::equal(expected.begin(), expected.end() - 160, out.begin()));
  EXPECT_TRUE(std::equal(expected.begin() + 160, expected.end(), out.begin() + 320));
}

TEST(Gsm, EncoderPadsTheLastFrameWithZeros) {
  EXPECT_TRUE(CGsmCodec::Encode(nullptr, 0).empty());
  std::vector<int16_t> pcm = CRecordingWriter::SynthesizeVoice(161, 9);
  EXPECT_EQ(CGsmCodec::Encode(pcm.data(), 160).size(), 33u);
  std::vector<uint8_t> coded = CGsmCodec::Encode(pcm.data(), 161);
  ASSERT_EQ(coded.size(), 66u);
  // The same as encoding 320 samples whose last 159 are zero.
  std::vector<int16_t> padded(320, 0);
  std::copy(pcm.begin(), pcm.end(), padded.begin());
  EXPECT_EQ(coded, CGsmCodec::Encode(padded.data(), padded.size()));
}

TEST(Gsm, EncodeThenDecodeKeepsSpeech) {
  std::vector<int16_t> pcm = CRecordingWriter::SynthesizeVoice(16000, 11);
  std::vector<uint8_t> coded = CGsmCodec::Encode(pcm.data(), pcm.size());
  ASSERT_EQ(coded.size(), 100u * 33);
  CGsmCodec codec;
  ASSERT_TRUE(codec.IsValid());
  std::vector<int16_t> decoded(16000);
  for (int f = 0; f < 100; ++f) {
    ASSERT_TRUE(codec.DecodeFrame(coded.data() + 33 * f, decoded.data() + 160 * f));
  }
  // GSM is a vocoder-like coder: the waveform is only roughly kept; the energy is.
  double inEnergy = 0, outEnergy = 0;
  for (int i = 0; i < 16000; ++i) {
    inEnergy += double(pcm[i]) * pcm[i];
    outEnergy += double(decoded[i]) * decoded[i];
  }
  EXPECT_GT(outEnergy, inEnergy * 0.3);
  EXPECT_LT(outEnergy, inEnergy * 3.0);
  EXPECT_GT(Snr(pcm, decoded, pcm.size()), 3.0);
}
