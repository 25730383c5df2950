// MP3 and Opus export of a one-hour call, against lame and opusenc encoding the
// same samples at the same rates in the same run. Prints the times and the ratios;
// a tool that is not installed is skipped.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "audio/CompactExport.h"
#include "recording/CRecordingWriter.h"

namespace {

constexpr size_t kOneHour = 3600u * 8000u;

double Seconds(const std::function<bool()>& work, bool& ok) {
  double best = 1e9;
  for (int run = 0; run < 2; ++run) {
    auto start = std::chrono::steady_clock::now();
    ok = work() && ok;
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/zelbench-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  const std::vector<int16_t> pcm = CRecordingWriter::SynthesizeVoice(kOneHour, 1);
  const std::string raw = dir + "/hour.raw";
  if (FILE* f = std::fopen(raw.c_str(), "wb")) {
    std::fwrite(pcm.data(), 2, pcm.size(), f);
    std::fclose(f);
  }
  struct Case {
    zel::CompactFormat format;
    const char* tool;
    std::string command;
  };
  const Case cases[] = {
      {zel::CompactFormat::Mp3, "lame",
       "lame --quiet -r -s 8 --bitwidth 16 --signed --little-endian -m m --cbr -b 24 " + raw + " " + dir + "/t.mp3"},
      {zel::CompactFormat::Opus, "opusenc",
       "opusenc --quiet --raw --raw-rate 8000 --raw-chan 1 --hard-cbr --bitrate 16 " + raw + " " + dir + "/t.opus"},
  };
  for (const Case& c : cases) {
    bool ok = true;
    const std::string out = dir + "/ours" + zel::CompactExtension(c.format);
    const double ours = Seconds([&] { return zel::WriteCompactSamples(out, c.format, pcm.data(), pcm.size()); }, ok);
    const bool toolThere = std::system((std::string("command -v ") + c.tool + " >/dev/null").c_str()) == 0;
    if (!toolThere) {
      std::printf("%s: ours %.2f s; %s not installed, skipped\n", zel::CompactName(c.format), ours, c.tool);
      continue;
    }
    const double theirs = Seconds([&] { return std::system(c.command.c_str()) == 0; }, ok);
    std::printf("%s: ours %.2f s, %s %.2f s, ratio %.2f%s\n", zel::CompactName(c.format), ours, c.tool, theirs,
                ours / theirs, ok ? "" : " (a run failed)");
  }
  std::filesystem::remove_all(dir);
  return 0;
}
