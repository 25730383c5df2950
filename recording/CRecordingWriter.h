#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "recording/FormatTag.h"

// Writes ".zel" recordings from 16-bit PCM at 8000 samples per second, as a
// recording device would: any header version 1 to 5, any of the four codings, and
// for version 5 the encrypted header and (optionally) encrypted audio. Used by
// "zelctl make-demo" and by the tests; the program itself never writes recordings
// this way (clips have their own path in CBookmarkRecordFile).
struct RecordingDescription {
  uint32_t version = 4;      // 1..5; version 5 stores an encrypted version-4 record
  int32_t formatTag = zel::kFormatGsm;  // a zel::FormatTag
  std::string callerId;      // UTF-8; stored as Windows-1252
  std::string comment;       // UTF-8, without bookmark
  std::string userId;        // UTF-8 (versions 2 to 5)
  std::string siteCode = "Unknown";
  uint32_t important = 0;
  int32_t startTime = 0;     // seconds since 1970 (UTC)
  int64_t duration = -1;     // seconds stored; -1: whole seconds of the PCM given
  int bookmarkStart = -1;    // a bookmark is written when 0 <= start < end
  int bookmarkEnd = -1;
  uint32_t auxCode = 0xFFFFFFFF;
  uint32_t auxDuration = 0;
  uint32_t storedHeaderSize = 0;  // 0: the regular 1176 / 1440
  // Version 5 only.
  std::string passphrase;
  int keySizeCode = 0;        // -1 none, 0 AES-128, 1 AES-192, 2 AES-256
  bool encryptAudio = true;
};

class CRecordingWriter {
 public:
  // ITU-T G.711 compression of one sample (the mu-law encoder first removes the
  // 1.004137 gain that the decoder's table applies).
  static uint8_t LinearToALaw(int16_t sample);
  static uint8_t LinearToMuLaw(int16_t sample);
  // IMA ADPCM in 256-byte blocks of 504 samples; the last block is padded with its
  // last sample. Each block header carries the running predictor and step index.
  static std::vector<uint8_t> EncodeIma(const int16_t* pcm, size_t count);
  // The coded audio for a format tag; empty for an unknown tag or no samples.
  static std::vector<uint8_t> EncodeAudio(int32_t formatTag, const int16_t* pcm, size_t count);

  // The 1440-byte header record (Windows-1252 texts, bookmark in the comment).
  static std::vector<uint8_t> HeaderRecord(const RecordingDescription& description,
                                           size_t sampleCount);
  // The complete file: header (or prefix and encrypted header) and the coded audio,
  // encrypted for version 5 when asked. Empty when the encryption failed (an empty
  // passphrase or an unknown key size code).
  static std::vector<uint8_t> FileBytes(const RecordingDescription& description,
                                        const std::vector<uint8_t>& codedAudio,
                                        size_t sampleCount);
  // Speech-like test audio without external tools: voiced syllables (a glottal pulse
  // train through three vowel formant resonators) separated by short pauses, at a
  // conversational level. The same seed gives the same samples.
  static std::vector<int16_t> SynthesizeVoice(size_t sampleCount, uint32_t seed);

  // Encodes `pcm` and writes the file atomically; false on any failure.
  static bool Write(const std::string& path, const RecordingDescription& description,
                    const int16_t* pcm, size_t count);
};
