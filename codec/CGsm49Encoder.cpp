#include "codec/CGsm49Encoder.h"

#include <cstring>

extern "C" {
#include <gsm.h>
}

CGsm49Encoder::CGsm49Encoder() {
  state_ = gsm_create();
  if (state_ == nullptr) return;
  int on = 1;
  // gsm_option returns the previous value, or -1 when the option is unknown.
  if (gsm_option(state_, GSM_OPT_WAV49, &on) < 0) {
    gsm_destroy(state_);
    state_ = nullptr;
  }
}

CGsm49Encoder::~CGsm49Encoder() {
  if (state_ != nullptr) gsm_destroy(state_);
}

size_t CGsm49Encoder::EncodedSize(size_t sampleCount) {
  return (sampleCount + kBlockSamples - 1) / kBlockSamples * kBlockBytes;
}

void CGsm49Encoder::EncodeBlock(const int16_t* in, uint8_t* out) {
  // In WAV49 mode libgsm alternates: the first call writes 32 bytes and keeps half a
  // byte, the second writes the remaining 33.
  gsm_signal frame[160];
  std::memcpy(frame, in, sizeof frame);
  gsm_encode(state_, frame, out);
  std::memcpy(frame, in + 160, sizeof frame);
  gsm_encode(state_, frame, out + 32);
}

size_t CGsm49Encoder::Encode(const int16_t* samples, size_t count, uint8_t* out) {
  size_t whole = count / kBlockSamples;
  uint8_t* p = out;
  for (size_t b = 0; b < whole; ++b, p += kBlockBytes) EncodeBlock(samples + b * kBlockSamples, p);
  size_t rest = count - whole * kBlockSamples;
  if (rest > 0) {
    int16_t last[kBlockSamples] = {};
    std::memcpy(last, samples + whole * kBlockSamples, rest * sizeof(int16_t));
    EncodeBlock(last, p);
    p += kBlockBytes;
  }
  return static_cast<size_t>(p - out);
}
