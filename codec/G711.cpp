#include "codec/G711.h"

namespace zel {
namespace {

// ITU-T G.711 A-law expansion to 16 bits (even bits inverted with 0x55).
constexpr int16_t ExpandALaw(uint8_t code) {
  int value = code ^ 0x55;
  int magnitude = (value & 0x0F) << 4;
  int segment = (value & 0x70) >> 4;
  if (segment == 0) {
    magnitude += 8;
  } else {
    magnitude += 0x108;
    magnitude <<= segment - 1;
  }
  return static_cast<int16_t>((value & 0x80) ? magnitude : -magnitude);
}

// ITU-T G.711 mu-law expansion (bits inverted, bias 0x84), then the 1.004137 gain
// in exact integer arithmetic: C++ division truncates toward zero.
constexpr int16_t ExpandMuLaw(uint8_t code) {
  int value = static_cast<uint8_t>(~code);
  int magnitude = (((value & 0x0F) << 3) + 0x84) << ((value & 0x70) >> 4);
  int plain = (value & 0x80) ? (0x84 - magnitude) : (magnitude - 0x84);
  return static_cast<int16_t>(static_cast<int64_t>(plain) * 1004137 / 1000000);
}

template <int16_t (*Expand)(uint8_t)>
constexpr std::array<int16_t, 256> MakeTable() {
  std::array<int16_t, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = Expand(static_cast<uint8_t>(i));
  return table;
}

constexpr auto kALaw = MakeTable<ExpandALaw>();
constexpr auto kMuLaw = MakeTable<ExpandMuLaw>();

static_assert(kALaw[0x00] == -5504 && kALaw[0x55] == -8 && kALaw[0x80] == 5504 &&
              kALaw[0xD5] == 8 && kALaw[0x2A] == -32256 && kALaw[0xAA] == 32256);
static_assert(kMuLaw[0x00] == -32256 && kMuLaw[0x0F] == -16833 && kMuLaw[0x70] == -120 &&
              kMuLaw[0x7E] == -8 && kMuLaw[0x7F] == 0 && kMuLaw[0x80] == 32256 &&
              kMuLaw[0xFE] == 8 && kMuLaw[0xFF] == 0);

}  // namespace

constinit const std::array<int16_t, 256> kALawTable = kALaw;
constinit const std::array<int16_t, 256> kMuLawTable = kMuLaw;

void DecodeG711(const int16_t* table, const uint8_t* coded, size_t n, int16_t* out) {
  for (size_t i = 0; i < n; ++i) out[i] = table[coded[i]];
}

}  // namespace zel
