// GSM 06.10 frames of arbitrary bytes through one decoder state, as a recording is.
#include <cstdint>

#include "codec/CGsmCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CGsmCodec codec;
  int16_t out[CGsmCodec::kFrameSamples] = {};
  for (size_t at = 0; at + CGsmCodec::kFrameBytes <= size; at += CGsmCodec::kFrameBytes) {
    codec.DecodeFrame(data + at, out);
  }
  // Arbitrary samples through the clip encoder as well.
  CGsmCodec::Encode(reinterpret_cast<const int16_t*>(data), size / 2);
  return 0;
}
