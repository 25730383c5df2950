#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// One libgsm GSM 06.10 full-rate state, used either to decode one recording or to
// encode one clip (a state must not be shared between the two directions or
// between streams). It is created with the library's defaults and the fast option
// switched on when the library was built with it (Debian's is not; the exact
// arithmetic is then used, which only costs time).
class CGsmCodec {
 public:
  static constexpr int kFrameBytes = 33;
  static constexpr int kFrameSamples = 160;

  CGsmCodec();
  ~CGsmCodec();
  CGsmCodec(const CGsmCodec&) = delete;
  CGsmCodec& operator=(const CGsmCodec&) = delete;

  // False when the library could not allocate its state; nothing else works then.
  bool IsValid() const { return state_ != nullptr; }
  // True when the library accepted GSM_OPT_FAST.
  bool FastEnabled() const { return fast_; }

  // Decodes one 33-byte frame into out[0..159]. A frame without the 0xD signature
  // is refused by the library: false, and `out` is left as it was.
  bool DecodeFrame(const uint8_t* frame, int16_t* out);
  // Encodes in[0..159] into one 33-byte frame.
  void EncodeFrame(const int16_t* in, uint8_t* frame);

  // Encodes `count` samples with a fresh encoder state: (count + 159) / 160 frames of
  // 33 bytes, the last frame padded with zero samples; 0 samples give no bytes.
  static std::vector<uint8_t> Encode(const int16_t* samples, size_t count);

 private:
  struct gsm_state* state_ = nullptr;
  bool fast_ = false;
};
