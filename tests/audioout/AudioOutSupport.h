#pragma once
// Shared pieces of the audio output tests: a save-file chooser with a fixed answer, and recordings made from synthetic speech.
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/ISaveFileChooser.h"
#include "core/MessageSink.h"
#include "recording/CRecordingWriter.h"
#include "support/TestSupport.h"

namespace zeltest {

class FixedChooser : public ISaveFileChooser {
 public:
  std::optional<SaveFileChoice> ChooseSaveFile(const SaveFileRequest& request) override {
    requests.push_back(request);
    return answer;
  }
  std::optional<SaveFileChoice> answer;
  std::vector<SaveFileRequest> requests;
};

// Installs a FixedChooser answering `path` and `filterIndex` (nullopt path: cancel).
class ScopedChooser {
 public:
  ScopedChooser(std::optional<std::string> path, int filterIndex = 0)
      : chooser_(std::make_shared<FixedChooser>()) {
    if (path) chooser_->answer = SaveFileChoice{*path, filterIndex};
    zel::SetSaveFileChooser(chooser_);
  }
  ~ScopedChooser() { zel::SetSaveFileChooser(nullptr); }
  FixedChooser& chooser() { return *chooser_; }

 private:
  std::shared_ptr<FixedChooser> chooser_;
};

inline std::vector<int16_t> Speech(size_t count, uint32_t seed = 7) {
  return CRecordingWriter::SynthesizeVoice(count, seed);
}

// Writes a recording of `pcm` and returns its path.
inline std::string MakeRecording(const TempDir& dir, const std::string& name,
                                 const std::vector<int16_t>& pcm, RecordingDescription d = {}) {
  if (d.callerId.empty()) d.callerId = "0123 456789";
  if (d.startTime == 0) d.startTime = 1700000000;
  std::string path = dir.File(name);
  if (!CRecordingWriter::Write(path, d, pcm.data(), pcm.size())) return "";
  return path;
}

// Signal-to-noise ratio of `test` against `reference` in dB, over the common length.
inline double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& test) {
  double signal = 0, noise = 0;
  size_t n = std::min(reference.size(), test.size());
  for (size_t i = 0; i < n; ++i) {
    double r = reference[i], d = static_cast<double>(test[i]) - r;
    signal += r * r;
    noise += d * d;
  }
  return noise == 0 ? 200.0 : 10.0 * std::log10(signal / noise);
}

inline std::vector<int16_t> LeSamples(const std::string& bytes, size_t offset = 0) {
  std::vector<int16_t> out((bytes.size() - std::min(offset, bytes.size())) / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    auto lo = static_cast<uint8_t>(bytes[offset + 2 * i]);
    auto hi = static_cast<uint8_t>(bytes[offset + 2 * i + 1]);
    out[i] = static_cast<int16_t>(lo | (hi << 8));
  }
  return out;
}

inline uint32_t U32At(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return v;
}

}  // namespace zeltest
