#pragma once
#include <cstdint>
#include <string_view>

// The codings a recording header names in its format tag (stored as a signed 32-bit
// number, so tags read from a file may be any value).
namespace zel {

enum FormatTag : int32_t {
  kFormatALaw = 6,   // G.711 A-law, one byte per sample
  kFormatMuLaw = 7,  // G.711 mu-law, one byte per sample
  kFormatIma = 17,   // IMA ADPCM, 256-byte blocks of 504 samples
  kFormatGsm = 49,   // GSM 06.10, 33-byte frames of 160 samples
};

// True for the four tags above.
bool IsKnownFormatTag(int32_t tag);
// "A-law", "mu-law", "IMA ADPCM", "GSM 06.10"; "unknown" for any other tag.
std::string_view FormatTagName(int32_t tag);

}  // namespace zel
