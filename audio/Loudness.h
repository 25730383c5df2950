#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Loudness of 8 kHz mono calls (EBU R128 integrated loudness) and bringing them to
// an even level, for playback and for exports.
namespace zel {

constexpr double kTargetLoudness = -16.0;  // LUFS

// Integrated loudness in LUFS; nothing when the samples are too short or too quiet
// to have one (under 0.4 s, or silence below the absolute gate).
std::optional<double> MeasureLoudness(const int16_t* samples, size_t count);

// The gain that brings `loudness` to `target`; 1 when there is no loudness. Limited
// to +30 dB so that a call of line noise is not blown up.
double LoudnessGain(std::optional<double> loudness, double target = kTargetLoudness);

// Asked now and then during a long measurement; true stops it.
using StopRequest = std::function<bool()>;

// The gain that brings the call to `target` through the player's CLevelLimiter (which
// takes some loudness off peaky speech). A call longer than ten minutes is measured on
// twenty 30 s slices spread evenly over it: each pass over an hour would take 400 ms.
// 1 when the call has no loudness; nothing when stopped.
// `guess`, when given, hears the plain gain for the measured loudness as soon as it
// is known, before the limiter's passes (which take two to four times as long).
std::optional<double> EvenLoudnessGain(const int16_t* samples, size_t count, const StopRequest& stop = {},
                                       const std::function<void(double gain)>& guess = {},
                                       double target = kTargetLoudness);

// Measures `samples`, brings them to `target` LUFS and limits the peaks to -1 dBFS.
// Returns the loudness measured before (nothing, and the samples unchanged, when
// they have none, or when `stop` asked to stop).
std::optional<double> NormaliseLoudness(int16_t* samples, size_t count, double target = kTargetLoudness,
                                        const StopRequest& stop = {});
std::optional<double> NormaliseLoudness(std::vector<int16_t>& samples, double target = kTargetLoudness,
                                        const StopRequest& stop = {});

}  // namespace zel
