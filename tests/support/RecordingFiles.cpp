#include "support/RecordingFiles.h"

namespace zeltest {

std::vector<int16_t> Speech(size_t count, uint32_t seed) {
  return CRecordingWriter::SynthesizeVoice(count, seed);
}

std::string MakeRecording(const TempDir& dir, const std::string& name,
                          const std::vector<int16_t>& pcm, RecordingDescription d) {
  if (d.callerId.empty()) d.callerId = "0123 456789";
  if (d.startTime == 0) d.startTime = 1700000000;
  std::string path = dir.File(name);
  if (!CRecordingWriter::Write(path, d, pcm.data(), pcm.size())) return "";
  return path;
}

}  // namespace zeltest
