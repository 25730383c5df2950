// Times the three archivers against the standard tools on the same recordings in
// one run and prints the ratios:
//   DISK  CDiskArchiver  vs  cp -r
//   ZIP   CZIPArchiver   vs  zip -q -r (and, for reference, zip -q -r -n .zel, which stores)
//   ISO   CISOArchiver   vs  xorriso -as mkisofs -R -J -o
// and the time of one ZIP add into an empty archive against one into the full one,
// and the ISO size estimate against the written image.
//
// Usage: archivers_bench [files (2000)] [bytes per file (100000)] [work folder ($TMPDIR or /tmp)]
// Each side runs three times, alternating which goes first; the best time counts. The page cache is
// left as it is, so both sides read warm files.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Archive/CDiskArchiver.h"
#include "Archive/CISOArchiver.h"
#include "Archive/CZIPArchiver.h"
#include "core/CKlLogger.h"

namespace fs = std::filesystem;

namespace {

constexpr int kUsers = 10;
constexpr int kRounds = 3;

struct Recording {
  std::string path;
  std::string subFolder;
};

// A ".zel"-like file: a 1440-byte header that is mostly zeros, then 33-byte
// GSM 06.10 frames (magic nibble 0xD and noise-like parameters) that do not compress.
std::string MakeRecording(size_t size, uint64_t seed) {
  std::string bytes(size, '\0');
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 12345;
  for (size_t i = 0; i < size && i < 64; ++i) bytes[i] = static_cast<char>('A' + (i % 26));
  for (size_t i = 1440; i < size; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    bytes[i] = static_cast<char>(state >> 24);
    if ((i - 1440) % 33 == 0) bytes[i] = static_cast<char>(0xD0 | (bytes[i] & 0x0F));
  }
  return bytes;
}

// Dirty pages of the previous step are written out first, so that neither side
// pays for the other's write-back.
double Seconds(const std::function<void()>& work) {
  ::sync();
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void Report(const char* kind, double ours, const char* tool, double theirs, double aim) {
  double ratio = ours / theirs;
  std::printf("%-5s archiver %7.3f s   %-26s %7.3f s   ratio %.2f (aim <= %.1f) %s\n", kind, ours, tool, theirs, ratio,
              aim, ratio <= aim ? "ok" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 2000;
  const size_t bytes = argc > 2 ? static_cast<size_t>(std::atol(argv[2])) : 100000;
  const char* tmp = std::getenv("TMPDIR");
  std::string base = argc > 3 ? argv[3] : (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
  std::string work = base + "/zel-archivers-bench-XXXXXX";
  if (::mkdtemp(work.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  // The archivers log every copy; keep that log out of the user's folders.
  fs::create_directories(work + "/log");
  Singleton<CKlLogger>::Instance() = std::make_shared<CKlLogger>(work + "/log/");

  const std::string src = work + "/src";
  std::vector<Recording> recordings;
  for (int i = 0; i < files; ++i) {
    std::string user = "user" + std::to_string(i % kUsers);
    std::string folder = src + "/" + user;
    fs::create_directories(folder);
    char name[64];
    std::snprintf(name, sizeof(name), "%s-20240101-%06d.zel", user.c_str(), i);
    std::string path = folder + "/" + name;
    std::ofstream(path, std::ios::binary) << MakeRecording(bytes, static_cast<uint64_t>(i));
    recordings.push_back({path, "/" + user});
  }
  std::printf("%d files of %zu bytes in %s\n", files, bytes, src.c_str());
  auto noProgress = [](double) {};

  // Each step keeps its best time.
  auto timed = [](double& best, const std::function<void()>& work) { best = std::min(best, Seconds(work)); };
  auto archive = [&](IArchiver& archiver, const std::string& target, int64_t callTime, int expected) {
    archiver.Reset();
    for (const auto& r : recordings) archiver.AddFile(target, r.path, r.subFolder, callTime);
    if (archiver.Archive() != expected) {
      std::fprintf(stderr, "archiver failed on %s\n", target.c_str());
      std::exit(1);
    }
  };
  double diskOurs = 1e9, diskQuiet = 1e9, diskCp = 1e9, zipOurs = 1e9, zipTool = 1e9, zipStore = 1e9, isoOurs = 1e9, isoTool = 1e9;
  const std::string out = work + "/out/";
  for (int round = 0; round < kRounds; ++round) {
    fs::remove_all(out);
    fs::create_directories(out);
    const bool toolFirst = round % 2 == 1;
    auto both = [&](const std::function<void()>& ours, const std::function<void()>& tool) {
      if (toolFirst) tool();
      ours();
      if (!toolFirst) tool();
    };
    both([&] { timed(diskOurs, [&] { CDiskArchiver a(noProgress); archive(a, out + "disk", 1700000000, 0); }); },
         [&] { timed(diskCp, [&] { Shell("cp -r " + Quote(src) + " " + Quote(out + "cp")); }); });
    // The same with the log line per copy going nowhere, to show what the log costs.
    Singleton<CKlLogger>::Instance() = std::make_shared<CKlLogger>(work + "/no-such-folder/");
    timed(diskQuiet, [&] { CDiskArchiver a(noProgress); archive(a, out + "quiet", 1700000000, 0); });
    Singleton<CKlLogger>::Instance() = std::make_shared<CKlLogger>(work + "/log/");

    both([&] { timed(zipOurs, [&] { CZIPArchiver a(noProgress); archive(a, out + "ours.zip", 0, files); }); },
         [&] { timed(zipTool, [&] { Shell("cd " + Quote(src) + " && zip -q -r " + Quote(out + "tool.zip") + " ."); }); });
    // zip told to store the recordings, as the archiver decides to for audio that does not shrink.
    timed(zipStore, [&] { Shell("cd " + Quote(src) + " && zip -q -r -n .zel " + Quote(out + "store.zip") + " ."); });
    both([&] { timed(isoOurs, [&] { CISOArchiver a(noProgress); archive(a, out + "ours.iso", 0, 0); }); },
         [&] {
           timed(isoTool, [&] {
             Shell("xorriso -as mkisofs -quiet -R -J -o " + Quote(out + "tool.iso") + " " + Quote(src) +
                   " >/dev/null 2>&1");
           });
         });
  }
  std::printf("sizes: ours.zip %ju, tool.zip %ju, ours.iso %ju, tool.iso %ju bytes\n",
              static_cast<uintmax_t>(fs::file_size(work + "/out/ours.zip")),
              static_cast<uintmax_t>(fs::file_size(work + "/out/tool.zip")),
              static_cast<uintmax_t>(fs::file_size(work + "/out/ours.iso")),
              static_cast<uintmax_t>(fs::file_size(work + "/out/tool.iso")));
  Report("DISK", diskOurs, "cp -r", diskCp, 1.5);
  std::printf("      (without the log line per copy: %.3f s, ratio %.2f)\n", diskQuiet, diskQuiet / diskCp);
  Report("ZIP", zipOurs, "zip -q -r", zipTool, 2.0);
  std::printf("      (zip -q -r -n .zel, storing like the archiver: %.3f s, ratio %.2f)\n", zipStore, zipOurs / zipStore);
  Report("ISO", isoOurs, "xorriso -as mkisofs -R -J", isoTool, 2.0);

  // One add into an empty archive against one into the archive of all the files.
  auto oneAdd = [&](const std::string& archive, int index) {
    CZIPArchiver archiver(noProgress);
    archiver.Reset();
    archiver.AddFile(archive, recordings[static_cast<size_t>(index)].path, "/extra" + std::to_string(index), 0);
    return Seconds([&] {
      if (archiver.Archive() != 1) std::exit(1);
    });
  };
  constexpr int kSamples = 15;
  std::vector<double> first, last;
  for (int i = 0; i < kSamples; ++i) {
    fs::remove(out + "first.zip");
    first.push_back(oneAdd(out + "first.zip", i));
    last.push_back(oneAdd(out + "ours.zip", i));
  }
  std::sort(first.begin(), first.end());
  std::sort(last.begin(), last.end());
  std::printf("ZIP add into an empty archive %.3f ms, into the archive of %d files %.3f ms (median of %d), ratio %.2f\n",
              first[kSamples / 2] * 1000, files, last[kSamples / 2] * 1000, kSamples,
              last[kSamples / 2] / first[kSamples / 2]);

  // The ISO size estimate that the threshold is compared with, against the image.
  zel::iso::CIsoImage image;
  image.Create();
  for (const auto& r : recordings) image.AddFile(zel::SubFolderComponents(r.subFolder), r.path);
  image.Write(out + "estimate.iso", 0, nullptr);
  std::printf("ISO estimate %ju bytes, written %ju bytes (%+.2f%%)\n", static_cast<uintmax_t>(image.EstimatedSize()),
              static_cast<uintmax_t>(fs::file_size(out + "estimate.iso")),
              100.0 * (static_cast<double>(image.EstimatedSize()) / static_cast<double>(fs::file_size(out + "estimate.iso")) - 1));

  fs::remove_all(work);
  return 0;
}
