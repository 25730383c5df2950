#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec/CGsmCodec.h"
#include "codec/G711.h"
#include "codec/ImaAdpcm.h"
#include "support/RecordingFiles.h"

// Writes recordings into a temporary folder and decodes their audio independently of
// the reader (straight through the decoders), to compare with what the reader gives.
class ReaderFixture : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const RecordingDescription& d,
                    const std::vector<int16_t>& pcm) {
    std::string path = zeltest::MakeRecording(dir_, name, pcm, d);
    EXPECT_FALSE(path.empty()) << name;
    return path;
  }
  std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = dir_.File(name);
    zeltest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
  }
  static RecordingDescription Description(uint32_t version, int32_t tag) {
    RecordingDescription d;
    d.version = version;
    d.formatTag = tag;
    d.callerId = "Müller GmbH";
    d.comment = "Rückruf erbeten";
    d.userId = "4711";
    d.startTime = 1796638500;
    if (version == 5) d.passphrase = "open sesame";
    return d;
  }
  static std::vector<int16_t> Voice(int seconds, uint32_t seed = 1) {
    return zeltest::Speech(static_cast<size_t>(seconds) * 8000, seed);
  }
  // The samples the coded audio stands for, decoded here without the reader.
  static std::vector<int16_t> Reference(int32_t tag, const std::vector<uint8_t>& coded) {
    std::vector<int16_t> out;
    if (tag == 6 || tag == 7) {
      out.resize(coded.size());
      zel::DecodeG711(tag == 6 ? zel::kALawTable.data() : zel::kMuLawTable.data(), coded.data(),
                      coded.size(), out.data());
    } else if (tag == 17) {
      size_t blocks = coded.size() / 256;
      out.resize(blocks * 504);
      for (size_t b = 0; b < blocks; ++b) zel::DecodeImaBlock(&coded[b * 256], &out[b * 504]);
    } else if (tag == 49) {
      size_t frames = coded.size() / 33;
      out.resize(frames * 160);
      CGsmCodec codec;
      for (size_t f = 0; f < frames; ++f) codec.DecodeFrame(&coded[f * 33], &out[f * 160]);
    }
    return out;
  }

  zeltest::TempDir dir_;
};
