#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// GSM 06.10 full-rate encoding in the Microsoft WAV49 layout (format tag 49): every
// block of 320 samples becomes 65 bytes, two 32.5-byte frames packed together. A
// thin layer over libgsm's GSM_OPT_WAV49 mode. One object converts one stream; it
// is not shared between threads.
class CGsm49Encoder {
 public:
  static constexpr int kBlockSamples = 320;
  static constexpr int kBlockBytes = 65;

  CGsm49Encoder();
  ~CGsm49Encoder();
  CGsm49Encoder(const CGsm49Encoder&) = delete;
  CGsm49Encoder& operator=(const CGsm49Encoder&) = delete;

  // False when the library could not create its state or refused the WAV49 option;
  // the encoder must not be used then.
  bool IsValid() const { return state_ != nullptr; }

  // Bytes produced for `sampleCount` samples: whole blocks, the last one padded.
  static size_t EncodedSize(size_t sampleCount);

  // Encodes in[0..319] into out[0..64].
  void EncodeBlock(const int16_t* in, uint8_t* out);

  // Encodes `count` samples into `out` (which must hold EncodedSize(count) bytes),
  // padding the last block with zero samples. Returns the bytes written.
  size_t Encode(const int16_t* samples, size_t count, uint8_t* out);

 private:
  struct gsm_state* state_ = nullptr;
};
