#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

// G.711 expansion to signed 16-bit PCM by table lookup: one coded byte gives one
// sample. The A-law table is the ITU-T expansion (+-32256 at the extremes); the
// mu-law table is the ITU-T expansion scaled by 1.004137 and truncated toward zero,
// which the recordings were mixed for (+-32256 rather than +-32124).
namespace zel {

extern const std::array<int16_t, 256> kALawTable;
extern const std::array<int16_t, 256> kMuLawTable;

// Writes table[coded[i]] to out[i] for i < n; `table` is kALawTable.data() or
// kMuLawTable.data() and `out` must hold n samples.
void DecodeG711(const int16_t* table, const uint8_t* coded, size_t n, int16_t* out);

}  // namespace zel
