// Both G.711 tables over arbitrary bytes; every value must come from the table.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/G711.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<int16_t> out(size);
  zel::DecodeG711(zel::kALawTable.data(), data, size, out.data());
  for (size_t i = 0; i < size; ++i) {
    if (out[i] != zel::kALawTable[data[i]]) std::abort();
  }
  zel::DecodeG711(zel::kMuLawTable.data(), data, size, out.data());
  for (size_t i = 0; i < size; ++i) {
    if (out[i] != zel::kMuLawTable[data[i]]) std::abort();
  }
  return 0;
}
