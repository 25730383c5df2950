// IMA ADPCM blocks of arbitrary bytes, header index out of range included.
#include <cstdint>
#include <cstring>

#include "codec/ImaAdpcm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int16_t out[zel::kImaBlockSamples];
  for (size_t at = 0; at + zel::kImaBlockBytes <= size; at += zel::kImaBlockBytes) {
    zel::DecodeImaBlock(data + at, out);
  }
  // A short input still makes one block: the rest zeros.
  uint8_t block[zel::kImaBlockBytes] = {};
  std::memcpy(block, data, size < sizeof block ? size : sizeof block);
  zel::DecodeImaBlock(block, out);
  return 0;
}
