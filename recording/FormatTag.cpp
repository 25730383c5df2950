#include "recording/FormatTag.h"

namespace zel {
namespace {

struct FormatTagText {
  FormatTag tag;
  std::string_view name;
};

constexpr FormatTagText kFormatTagTexts[] = {
    {kFormatALaw, "A-law"},
    {kFormatMuLaw, "mu-law"},
    {kFormatIma, "IMA ADPCM"},
    {kFormatGsm, "GSM 06.10"},
};

}  // namespace

bool IsKnownFormatTag(int32_t tag) {
  for (const auto& entry : kFormatTagTexts) {
    if (entry.tag == tag) return true;
  }
  return false;
}

std::string_view FormatTagName(int32_t tag) {
  for (const auto& entry : kFormatTagTexts) {
    if (entry.tag == tag) return entry.name;
  }
  return "unknown";
}

}  // namespace zel
