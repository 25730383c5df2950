#include "audio/CKlWav.h"

#include <cstring>

#include "codec/SampleRate.h"

namespace {

constexpr uint32_t kRate = zel::kSamplesPerSecond;

void PutTag(std::string& out, const char* tag) { out.append(tag, 4); }

void PutU16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

CKlWav::CKlWav()
    : RiffSize(36),
      FmtSize(16),
      FormatTag(1),
      Channels(1),
      SampleRate(0),
      ByteRate(0),
      BlockAlign(0),
      BitsPerSample(0),
      DataSize(4) {
  std::memcpy(Riff, "RIFF", 4);
  std::memcpy(Wave, "WAVE", 4);
  std::memcpy(Fmt, "fmt ", 4);
  std::memcpy(Data, "data", 4);
}

CKlWav::~CKlWav() = default;

std::string CKlWav::Bytes() const {
  std::string out;
  out.reserve(kPcmHeaderSize);
  PutTag(out, Riff);
  PutU32(out, RiffSize);
  PutTag(out, Wave);
  PutTag(out, Fmt);
  PutU32(out, FmtSize);
  PutU16(out, FormatTag);
  PutU16(out, Channels);
  PutU32(out, SampleRate);
  PutU32(out, ByteRate);
  PutU16(out, BlockAlign);
  PutU16(out, BitsPerSample);
  PutTag(out, Data);
  PutU32(out, DataSize);
  return out;
}

CKlWav CKlWav::ForPcm(uint32_t sampleCount) {
  CKlWav wav;
  wav.DataSize = 2 * sampleCount;
  wav.RiffSize = 36 + wav.DataSize;
  wav.SampleRate = kRate;
  wav.ByteRate = 2 * kRate;
  wav.BlockAlign = 2;
  wav.BitsPerSample = 16;
  return wav;
}

std::string CKlWav::GsmHeaderBytes(uint32_t sampleCount, uint32_t dataBytes) {
  std::string out;
  out.reserve(kGsmHeaderSize);
  PutTag(out, "RIFF");
  PutU32(out, 52 + dataBytes);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  PutU32(out, 20);
  PutU16(out, 49);  // WAVE_FORMAT_GSM610
  PutU16(out, 1);
  PutU32(out, kRate);
  PutU32(out, kGsmBytesPerSecond);
  PutU16(out, kGsmBlockAlign);
  PutU16(out, 0);
  PutU16(out, 2);  // extra format bytes
  PutU16(out, kGsmSamplesPerBlock);
  PutTag(out, "fact");
  PutU32(out, 4);
  PutU32(out, sampleCount);
  PutTag(out, "data");
  PutU32(out, dataBytes);
  return out;
}
