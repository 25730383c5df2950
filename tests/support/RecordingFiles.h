#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "recording/CRecordingWriter.h"
#include "support/TestSupport.h"

// Recordings for the reader, audio and output tests, written by the production
// writer. The header tests keep their own byte-level builder, independent of it.
namespace zeltest {

// Speech-like samples at 8000 per second; the same seed gives the same samples.
std::vector<int16_t> Speech(size_t count, uint32_t seed = 7);

// Writes a recording of `pcm` into `dir` and returns its path ("" on failure). An
// empty caller and a zero start time get a fixed caller and date.
std::string MakeRecording(const TempDir& dir, const std::string& name,
                          const std::vector<int16_t>& pcm, RecordingDescription d = {});

}  // namespace zeltest
