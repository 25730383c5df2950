#include "codec/ImaAdpcm.h"

#include <array>

namespace zel {

namespace {

// For every (step index, code) pair: the signed predictor change and the next step
// index, so the inner loop is two lookups, an add and a clamp.
struct ImaTransitions {
  std::array<int32_t, 89 * 16> delta{};
  std::array<uint8_t, 89 * 16> next{};
};

constexpr ImaTransitions MakeTransitions() {
  ImaTransitions t;
  for (int index = 0; index < 89; ++index) {
    for (int code = 0; code < 16; ++code) {
      int step = kImaStepTable[index];
      int diff = step >> 3;
      if (code & 4) diff += step;
      if (code & 2) diff += step >> 1;
      if (code & 1) diff += step >> 2;
      int next = index + kImaIndexTable[code];
      next = next < 0 ? 0 : (next > 88 ? 88 : next);
      t.delta[index * 16 + code] = (code & 8) ? -diff : diff;
      t.next[index * 16 + code] = static_cast<uint8_t>(next);
    }
  }
  return t;
}

constexpr ImaTransitions kTransitions = MakeTransitions();

inline int Clamp16(int value) {
  return value < -32768 ? -32768 : (value > 32767 ? 32767 : value);
}

}  // namespace

// The step used for a code is the one of the index before the code adjusts it, and
// the new index selects the next code's step: exactly the transitions tabulated.
void DecodeImaBlock(const uint8_t* block, int16_t* out) {
  int predictor = static_cast<int16_t>(static_cast<uint16_t>(block[0] | (block[1] << 8)));
  int index = static_cast<int8_t>(block[2]);
  index = index < 0 ? 0 : (index > 88 ? 88 : index);
  const uint8_t* data = block + 4;
  for (int i = 0; i < kImaBlockBytes - 4; ++i) {
    unsigned byte = data[i];
    int slot = index * 16 + static_cast<int>(byte & 0x0F);
    predictor = Clamp16(predictor + kTransitions.delta[slot]);
    index = kTransitions.next[slot];
    out[2 * i] = static_cast<int16_t>(predictor);
    slot = index * 16 + static_cast<int>(byte >> 4);
    predictor = Clamp16(predictor + kTransitions.delta[slot]);
    index = kTransitions.next[slot];
    out[2 * i + 1] = static_cast<int16_t>(predictor);
  }
}

}  // namespace zel
