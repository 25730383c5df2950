// LoadRecording on arbitrary bytes, under every kind of file name it treats apart.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "recording/CKlRecordFile.h"

namespace {

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/zelfuzz-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = TempFolder();
  if (size == 0) return 0;
  // The first byte picks the ending and the passphrase; the rest is the file.
  static const char* const kNames[] = {"/a.zel", "/a.ZEL", "/a.wav", "/a.raw"};
  std::string path = folder + kNames[data[0] & 3];
  std::string passphrase = (data[0] & 4) != 0 ? "open sesame" : "";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, file);
  std::fclose(file);

  CKlRecordFile recording;
  if (recording.LoadRecordingAndWait(path, passphrase) == 1) {
    const int16_t* samples = nullptr;
    int n = recording.GetSamples(0, recording.SampleCount(), &samples);
    volatile int sum = 0;
    for (int i = 0; i < n; ++i) sum = sum + samples[i];
    int start = 0, end = 0;
    recording.GetBookmark(start, end);
    recording.GetCallerId();
    recording.GetComment();
  }
  std::remove(path.c_str());
  return 0;
}
