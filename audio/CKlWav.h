#pragma once
#include <cstdint>
#include <string>

// The 44-byte canonical WAV header as one record, and the two layouts the system
// writes: uncompressed 16-bit PCM and Microsoft GSM 6.10 (format tag 49) with a
// "fact" chunk. The byte images are little-endian whatever the host.
class CKlWav {
 public:
  static constexpr int kPcmHeaderSize = 44;
  static constexpr int kGsmHeaderSize = 60;
  static constexpr uint16_t kGsmBlockAlign = 65;
  static constexpr uint16_t kGsmSamplesPerBlock = 320;
  static constexpr uint32_t kGsmBytesPerSecond = 1625;

  CKlWav();
  virtual ~CKlWav();
  CKlWav(const CKlWav&) = default;
  CKlWav& operator=(const CKlWav&) = default;

  // The record's 44 bytes in file order.
  std::string Bytes() const;

  // The header of an uncompressed file holding `sampleCount` samples (mono, zel::kSamplesPerSecond).
  static CKlWav ForPcm(uint32_t sampleCount);
  // The 60 header bytes of a GSM 6.10 file: `sampleCount` PCM samples were converted
  // into `dataBytes` compressed bytes.
  static std::string GsmHeaderBytes(uint32_t sampleCount, uint32_t dataBytes);

  char Riff[4];
  uint32_t RiffSize;
  char Wave[4];
  char Fmt[4];
  uint32_t FmtSize;
  uint16_t FormatTag;
  uint16_t Channels;
  uint32_t SampleRate;
  uint32_t ByteRate;
  uint16_t BlockAlign;
  uint16_t BitsPerSample;
  char Data[4];
  uint32_t DataSize;
};
