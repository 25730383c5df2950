#include "codec/CGsmCodec.h"

extern "C" {
#include <gsm.h>
}

#include <cstring>

CGsmCodec::CGsmCodec() : state_(gsm_create()) {
  if (state_ != nullptr) {
    int on = 1;
    // -1 when the library was built without the fast arithmetic; carry on exactly.
    fast_ = gsm_option(state_, GSM_OPT_FAST, &on) != -1;
  }
}

CGsmCodec::~CGsmCodec() {
  if (state_ != nullptr) gsm_destroy(state_);
}

bool CGsmCodec::DecodeFrame(const uint8_t* frame, int16_t* out) {
  if (state_ == nullptr) return false;
  // libgsm does not write through the frame pointer; its prototype is just not const.
  return gsm_decode(state_, const_cast<gsm_byte*>(frame), out) == 0;
}

void CGsmCodec::EncodeFrame(const int16_t* in, uint8_t* frame) {
  if (state_ == nullptr) {
    std::memset(frame, 0, kFrameBytes);
    return;
  }
  // Likewise the encoder only reads its input.
  gsm_encode(state_, const_cast<gsm_signal*>(in), frame);
}

std::vector<uint8_t> CGsmCodec::Encode(const int16_t* samples, size_t count) {
  std::vector<uint8_t> out;
  if (count == 0) return out;
  CGsmCodec codec;
  size_t frames = (count + kFrameSamples - 1) / kFrameSamples;
  out.resize(frames * kFrameBytes);
  for (size_t f = 0; f < frames; ++f) {
    size_t first = f * kFrameSamples;
    size_t left = count - first;
    if (left >= static_cast<size_t>(kFrameSamples)) {
      codec.EncodeFrame(samples + first, out.data() + f * kFrameBytes);
    } else {
      int16_t padded[kFrameSamples] = {};
      std::memcpy(padded, samples + first, left * sizeof(int16_t));
      codec.EncodeFrame(padded, out.data() + f * kFrameBytes);
    }
  }
  return out;
}
