// Times ZIP runs of growing size against zip -r -0 on the same files, in one go,
// and prints the cost per file of each, so that a run of 50,000 calls can be seen
// to cost per call what a run of 1,000 does:
//   per-file cost at N / per-file cost at the smallest N   (aim: at most 1.15)
//   our time / zip -q -r -0 time                             (aim: at most 1.5)
//
// Usage: zip_scaling_bench [bytes per file (4096)] [work folder ($TMPDIR or /tmp)] [N...] (1000 20000 50000)
// Each side runs twice at each size; the best time counts.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "toolkit/zip/CZipArchive.h"

namespace fs = std::filesystem;

namespace {

double Seconds(void (*work)(const std::string&, const std::vector<std::string>&, const std::string&),
               const std::string& folder, const std::vector<std::string>& names, const std::string& out) {
  fs::remove(out);
  ::sync();
  const auto start = std::chrono::steady_clock::now();
  work(folder, names, out);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Ours(const std::string& folder, const std::vector<std::string>& names, const std::string& out) {
  zel::zip::CZipArchive zip;
  if (!zip.Open(out)) std::exit(1);
  for (const std::string& name : names) {
    if (zip.AddFile(folder + "/" + name, name) != zel::zip::CZipArchive::AddResult::kAdded) {
      std::fprintf(stderr, "add failed: %s\n", zip.LastError().c_str());
      std::exit(1);
    }
  }
  if (!zip.Commit()) std::exit(1);
}

void Tool(const std::string& folder, const std::vector<std::string>&, const std::string& out) {
  const std::string command = "cd '" + folder + "' && zip -q -r -0 '" + out + "' .";
  if (std::system(command.c_str()) != 0) std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const size_t bytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4096;
  const char* tmp = std::getenv("TMPDIR");
  const std::string work = (argc > 2 ? std::string(argv[2]) : std::string(tmp ? tmp : "/tmp")) + "/zip_scaling_bench";
  std::vector<size_t> sizes;
  for (int i = 3; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {1000, 20000, 50000};
  fs::remove_all(work);
  fs::create_directories(work + "/src");
  std::vector<std::string> names;
  std::string content(bytes, '\0');
  uint64_t state = 88172645463325252ull;
  double firstPerFile = 0;
  std::printf("%8s %12s %12s %12s %10s %10s\n", "files", "ours s", "zip -0 s", "ours ms/file", "vs first", "vs zip");
  for (size_t count : sizes) {
    // Calls do not compress: the bytes are noise, so both sides store them.
    while (names.size() < count) {
      for (char& c : content) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        c = static_cast<char>(state >> 24);
      }
      char name[64];
      std::snprintf(name, sizeof name, "%04zu-20261207 %06zu.zel", names.size() % 10, names.size());
      std::ofstream(work + "/src/" + name, std::ios::binary).write(content.data(), static_cast<std::streamsize>(bytes));
      names.push_back(name);
    }
    double ours = 1e9, tool = 1e9;
    for (int round = 0; round < 2; ++round) {
      ours = std::min(ours, Seconds(Ours, work + "/src", names, work + "/ours.zip"));
      tool = std::min(tool, Seconds(Tool, work + "/src", names, work + "/tool.zip"));
    }
    const double perFile = ours / static_cast<double>(count);
    if (firstPerFile == 0) firstPerFile = perFile;
    std::printf("%8zu %12.3f %12.3f %12.4f %10.2f %10.2f\n", count, ours, tool, perFile * 1000, perFile / firstPerFile,
                ours / tool);
    std::fflush(stdout);
  }
  fs::remove_all(work);
  return 0;
}
