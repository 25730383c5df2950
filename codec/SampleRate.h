#pragma once

namespace zel {

// Every recording's audio, decoded or coded, is mono at this many samples per second.
inline constexpr int kSamplesPerSecond = 8000;

}  // namespace zel
