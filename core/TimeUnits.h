#pragma once

// Lengths of time in seconds, for rules that count in whole days (Unix time has
// no leap seconds, so every UTC day is this long).
namespace zel {

inline constexpr long long kSecondsPerMinute = 60;
inline constexpr long long kSecondsPerHour = 60 * kSecondsPerMinute;
inline constexpr long long kSecondsPerDay = 24 * kSecondsPerHour;

}  // namespace zel
