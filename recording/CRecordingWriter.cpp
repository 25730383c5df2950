#include "recording/CRecordingWriter.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <cstdio>
#include <cstring>

#include "codec/CGsmCodec.h"
#include "codec/ImaAdpcm.h"
#include "codec/SampleRate.h"
#include "core/AtomicFile.h"
#include "core/Cp1252.h"
#include "recording/CKlAESCipher.h"
#include "recording/CKlRecordFileHdr.h"
#include "recording/FormatTag.h"

namespace {

void PutU32(std::vector<uint8_t>& buffer, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) buffer[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Copies a text into a fixed field, cut so that the last byte stays NUL.
void PutText(std::vector<uint8_t>& buffer, size_t offset, size_t size, const std::string& raw) {
  size_t n = std::min(raw.size(), size - 1);
  std::memcpy(buffer.data() + offset, raw.data(), n);
}

std::string Hms(int seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, (seconds % 3600) / 60,
                seconds % 60);
  return text;
}

// The device's bookmark layout: a 24-character line in front of the comment and the
// system trailer at the end of the comment padded to 1023 characters.
std::string BookmarkedComment(const std::string& comment, int start, int end) {
  std::string text = "Bookmark at:  " + Hms(start) + "\r\n" + comment;
  std::string trailer = "\r\n\r\n### System information do no edit! ###\r\n<bookmark>\r\n<bstart>" +
                        Hms(start) + "</bstart>\r\n<bend>" + Hms(end) + "</bend>\r\n<bookmark>";
  text.resize(1023, ' ');
  text.replace(1023 - trailer.size(), trailer.size(), trailer);
  return text;
}

}  // namespace

uint8_t CRecordingWriter::LinearToALaw(int16_t sample) {
  static constexpr int kSegmentEnds[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
  int value = sample >> 3;
  int mask = 0xD5;
  if (value < 0) {
    mask = 0x55;
    value = -value - 1;
  }
  int segment = 0;
  while (segment < 8 && value > kSegmentEnds[segment]) ++segment;
  if (segment >= 8) return static_cast<uint8_t>(0x7F ^ mask);
  int code = segment << 4;
  code |= (segment < 2 ? (value >> 1) : (value >> segment)) & 0x0F;
  return static_cast<uint8_t>(code ^ mask);
}

uint8_t CRecordingWriter::LinearToMuLaw(int16_t sample) {
  static constexpr int kSegmentEnds[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
  int value = static_cast<int>(static_cast<int64_t>(sample) * 1000000 / 1004137) >> 2;
  int mask = 0xFF;
  if (value < 0) {
    value = -value;
    mask = 0x7F;
  }
  value = std::min(value, 8159) + (0x84 >> 2);
  int segment = 0;
  while (segment < 8 && value > kSegmentEnds[segment]) ++segment;
  if (segment >= 8) return static_cast<uint8_t>(0x7F ^ mask);
  int code = (segment << 4) | ((value >> (segment + 1)) & 0x0F);
  return static_cast<uint8_t>(code ^ mask);
}

std::vector<uint8_t> CRecordingWriter::EncodeIma(const int16_t* pcm, size_t count) {
  std::vector<uint8_t> out;
  if (count == 0) return out;
  size_t blocks = (count + zel::kImaBlockSamples - 1) / zel::kImaBlockSamples;
  out.resize(blocks * zel::kImaBlockBytes);
  int predictor = pcm[0];
  int index = 0;
  for (size_t b = 0; b < blocks; ++b) {
    uint8_t* block = out.data() + b * zel::kImaBlockBytes;
    block[0] = static_cast<uint8_t>(predictor & 0xFF);
    block[1] = static_cast<uint8_t>((predictor >> 8) & 0xFF);
    block[2] = static_cast<uint8_t>(index);
    block[3] = 0;
    for (int i = 0; i < zel::kImaBlockSamples; ++i) {
      size_t at = std::min(b * zel::kImaBlockSamples + i, count - 1);
      int step = zel::kImaStepTable[index];
      int diff = pcm[at] - predictor;
      int code = 0;
      if (diff < 0) {
        code = 8;
        diff = -diff;
      }
      // Mirrors the decoder: the change is step/8 plus the step fractions chosen.
      int delta = step >> 3;
      if (diff >= step) {
        code |= 4;
        diff -= step;
        delta += step;
      }
      if (diff >= (step >> 1)) {
        code |= 2;
        diff -= step >> 1;
        delta += step >> 1;
      }
      if (diff >= (step >> 2)) {
        code |= 1;
        delta += step >> 2;
      }
      predictor += (code & 8) ? -delta : delta;
      predictor = std::clamp(predictor, -32768, 32767);
      index = std::clamp(index + zel::kImaIndexTable[code], 0, 88);
      uint8_t& byte = block[4 + i / 2];
      if (i % 2 == 0) {
        byte = static_cast<uint8_t>(code);
      } else {
        byte = static_cast<uint8_t>(byte | (code << 4));
      }
    }
  }
  return out;
}

std::vector<uint8_t> CRecordingWriter::EncodeAudio(int32_t formatTag, const int16_t* pcm,
                                                   size_t count) {
  std::vector<uint8_t> out;
  if (count == 0) return out;
  switch (formatTag) {
    case zel::kFormatALaw:
    case zel::kFormatMuLaw:
      out.resize(count);
      for (size_t i = 0; i < count; ++i) {
        out[i] = formatTag == zel::kFormatALaw ? LinearToALaw(pcm[i]) : LinearToMuLaw(pcm[i]);
      }
      return out;
    case zel::kFormatIma:
      return EncodeIma(pcm, count);
    case zel::kFormatGsm:
      return CGsmCodec::Encode(pcm, count);
    default:
      return out;
  }
}

std::vector<uint8_t> CRecordingWriter::HeaderRecord(const RecordingDescription& d,
                                                    size_t sampleCount) {
  std::vector<uint8_t> record(CKlRecordFileHdr::kRecordSize, 0);
  uint32_t version = d.version == 5 ? 4 : d.version;
  uint32_t headerSize = d.storedHeaderSize != 0 ? d.storedHeaderSize
                        : version == 1        ? CKlRecordFileHdr::kVersion1Size
                                              : CKlRecordFileHdr::kRecordSize;
  PutU32(record, 0, version);
  PutU32(record, 4, headerSize);
  PutU32(record, 8, static_cast<uint32_t>(d.formatTag));
  PutU32(record, 12, d.important);
  PutText(record, 16, CKlRecordFileHdr::kCallerIdSize, zel::Utf8ToCp1252(d.callerId));

  std::string comment = zel::Utf8ToCp1252(d.comment);
  if (d.bookmarkStart >= 0 && d.bookmarkStart < d.bookmarkEnd) {
    comment = BookmarkedComment(comment, d.bookmarkStart, d.bookmarkEnd);
  }
  PutText(record, 144, CKlRecordFileHdr::kCommentSize, comment);
  PutU32(record, 1168, static_cast<uint32_t>(d.startTime));
  uint32_t duration = d.duration >= 0 ? static_cast<uint32_t>(d.duration)
                                      : static_cast<uint32_t>(sampleCount / zel::kSamplesPerSecond);
  PutU32(record, 1172, duration);
  if (version != 1) {
    PutText(record, 1180, CKlRecordFileHdr::kUserIdSize, zel::Utf8ToCp1252(d.userId));
    PutU32(record, 1308, d.auxCode);
    PutText(record, 1312, CKlRecordFileHdr::kSiteCodeSize, zel::Utf8ToCp1252(d.siteCode));
    PutU32(record, 1432, d.auxDuration);
  }
  return record;
}

std::vector<uint8_t> CRecordingWriter::FileBytes(const RecordingDescription& d,
                                                 const std::vector<uint8_t>& codedAudio,
                                                 size_t sampleCount) {
  std::vector<uint8_t> record = HeaderRecord(d, sampleCount);
  std::vector<uint8_t> file;
  if (d.version != 5) {
    size_t headerBytes = d.version == 1 ? CKlRecordFileHdr::kVersion1Size : record.size();
    file.assign(record.begin(), record.begin() + static_cast<ptrdiff_t>(headerBytes));
    file.insert(file.end(), codedAudio.begin(), codedAudio.end());
    return file;
  }
  if (d.passphrase.empty()) return {};
  CKlAESCipher cipher;
  std::string keyString = cipher.ComputeKeyString(d.passphrase);
  file.assign(CKlRecordFileHdr::kPrefixSize + record.size(), 0);
  PutU32(file, 0, 5);
  PutU32(file, 4, static_cast<uint32_t>(d.keySizeCode));
  for (size_t i = 0; i < 40; ++i) {
    uint8_t c = i < keyString.size() ? static_cast<uint8_t>(keyString[i]) : 0;
    file[8 + i] = static_cast<uint8_t>(c ^ 0x80);
  }
  if (cipher.EncryptHeader(record.data(), file.data() + CKlRecordFileHdr::kPrefixSize, keyString,
                           d.keySizeCode) != record.size()) {
    return {};
  }
  size_t audioAt = file.size();
  file.insert(file.end(), codedAudio.begin(), codedAudio.end());
  if (d.encryptAudio && d.keySizeCode != -1 && !codedAudio.empty()) {
    cipher.EncryptBuffer(codedAudio.size(), codedAudio.data(), file.data() + audioAt, keyString,
                         d.keySizeCode);
  }
  return file;
}

bool CRecordingWriter::Write(const std::string& path, const RecordingDescription& description,
                             const int16_t* pcm, size_t count) {
  std::vector<uint8_t> coded = EncodeAudio(description.formatTag, pcm, count);
  std::vector<uint8_t> bytes = FileBytes(description, coded, count);
  if (bytes.empty()) return false;
  return zel::WriteFileAtomically(path, std::string(bytes.begin(), bytes.end()));
}

std::vector<int16_t> CRecordingWriter::SynthesizeVoice(size_t sampleCount, uint32_t seed) {
  // Formants (F1, F2, F3 in Hz) of a few vowels.
  static constexpr double kVowels[][3] = {
      {730, 1090, 2440}, {270, 2290, 3010}, {530, 1840, 2480}, {570, 840, 2410}, {300, 870, 2240}};
  constexpr double kRate = zel::kSamplesPerSecond;
  constexpr double kPi = 3.14159265358979323846;
  std::mt19937 random(seed);
  std::vector<int16_t> out(sampleCount, 0);
  // Two-pole resonators, one per formant.
  double y1[3] = {}, y2[3] = {};
  size_t at = 0;
  while (at < sampleCount) {
    // A syllable of 120-320 ms, then a pause of 40-250 ms (longer now and then).
    size_t syllable = 960 + random() % 1600;
    size_t pause = 320 + random() % 1680 + ((random() % 7 == 0) ? 4000 : 0);
    const double* vowel = kVowels[random() % 5];
    double pitch = 95.0 + static_cast<double>(random() % 130);
    double glide = (static_cast<double>(random() % 41) - 20.0) / static_cast<double>(syllable);
    double a1[3], a2[3], gain[3];
    for (int f = 0; f < 3; ++f) {
      double bandwidth = 60.0 + 40.0 * f;
      double r = std::exp(-kPi * bandwidth / kRate);
      a1[f] = 2.0 * r * std::cos(2.0 * kPi * vowel[f] / kRate);
      a2[f] = -r * r;
      gain[f] = (1.0 - r) * (f == 0 ? 1.0 : (f == 1 ? 0.6 : 0.3));
    }
    std::vector<double> voiced(syllable);
    double peak = 1e-9;
    double phase = 0.0;
    for (size_t i = 0; i < syllable; ++i) {
      double f0 = pitch + glide * static_cast<double>(i);
      phase += f0 / kRate;
      double excitation = 0.0;
      if (phase >= 1.0) {
        phase -= 1.0;
        excitation = 1.0;
      }
      excitation += (static_cast<double>(random() % 2001) - 1000.0) * 0.00002;  // breath
      double sum = 0.0;
      for (int f = 0; f < 3; ++f) {
        double y = gain[f] * excitation + a1[f] * y1[f] + a2[f] * y2[f];
        y2[f] = y1[f];
        y1[f] = y;
        sum += y;
      }
      // Raised-cosine envelope over the syllable.
      double envelope = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) /
                                             static_cast<double>(syllable));
      voiced[i] = sum * envelope;
      peak = std::max(peak, std::abs(voiced[i]));
    }
    // Each syllable peaks between about -8 and -3 dBFS, as a telephone voice does.
    double level = (13000.0 + static_cast<double>(random() % 10000)) / peak;
    for (size_t i = 0; i < syllable && at < sampleCount; ++i, ++at) {
      out[at] = static_cast<int16_t>(std::clamp(voiced[i] * level, -32000.0, 32000.0));
    }
    for (size_t i = 0; i < pause && at < sampleCount; ++i, ++at) {
      out[at] = static_cast<int16_t>(static_cast<int>(random() % 41) - 20);  // line noise
    }
  }
  return out;
}
