// The catalogue of recordings against the walk, in one run over one generated tree
// (kept under /tmp/zel_catalogue_bench-N-F; delete it to make it again):
//   walk      a search that lists every folder and reads every header (warm cache)
//   first     the first search through an empty catalogue (it builds the catalogue)
//   repeat    the same search again, nothing changed
//   changed   the same search after 1 % of the recordings were rewritten in place
// and the catalogue's bytes on disk per recording. `--slow-open` runs it again under
// a shim that makes every open wait 5 ms, as on a network share. `--watched` feeds
// the catalogue as the running program's watcher does: every folder is watched
// (after one search that looks at all files), and the rewritten files are reported.
//
//   catalogue_bench [--files N] [--folders F] [--slow-open] [--watched]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "BenchTree.h"
#include "organiser/CRecordingCatalogue.h"
#include "organiser/CSearchManager.h"
#include "organiser/CWatchedFolders.h"
#include "organiser/CZelVelomarDoc.h"

namespace {

// A call of the tree (see FillCall); every fifth has a comment naming `version`.
void WriteCall(const std::string& path, int n, int folder, int version) {
  char file[1440 + 160];
  zelbench::FillCall(file, n, folder);
  if (n % 5 == 0) std::snprintf(file + 144, 1024, "Call back about order %d (v%d)", n, version);
  // In place, as a recorder or an editor writes: the folder does not change.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  if (fd < 0 || ::write(fd, file, sizeof file) != static_cast<ssize_t>(sizeof file)) {
    std::perror(path.c_str());
    std::exit(1);
  }
  ::close(fd);
}

std::string CallPath(const std::string& root, int n, int perFolder) {
  char name[96];
  std::snprintf(name, sizeof name, "/user%d/%d-20200101 %07d.zel", n / perFolder, 100 + n / perFolder, n);
  return root + name;
}

void Generate(const std::string& root, int files, int folders) {
  const std::string done = root + "/.complete";
  if (access(done.c_str(), F_OK) == 0) return;
  std::fprintf(stderr, "generating %d recordings in %d folders under %s ...\n", files, folders, root.c_str());
  const int perFolder = (files + folders - 1) / folders;
  for (int f = 0; f < folders; ++f) std::filesystem::create_directories(root + "/user" + std::to_string(f));
  for (int n = 0; n < files; ++n) WriteCall(CallPath(root, n, perFolder), n, n / perFolder, 0);
  ::close(::open(done.c_str(), O_WRONLY | O_CREAT, 0644));
}

// One whole search as a list window runs it; returns seconds and the calls found.
double Search(CSearchManager& manager, const SearchCriteria& criteria, size_t& found) {
  const auto start = std::chrono::steady_clock::now();
  manager.PrepareSearch(criteria, 5, 1);
  manager.StartSearch();
  manager.WaitUntilStopped(-1);
  CZelVelomarDoc document;
  manager.TakeResults(&document);
  found = document.EntryCount();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int files = 100000;
  int folders = 1000;
  bool slowOpen = false;
  bool watched = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--files" && i + 1 < argc) files = std::atoi(argv[++i]);
    else if (arg == "--folders" && i + 1 < argc) folders = std::atoi(argv[++i]);
    else if (arg == "--slow-open") slowOpen = true;
    else if (arg == "--watched") watched = true;
    else {
      std::fprintf(stderr, "usage: %s [--files N] [--folders F] [--slow-open] [--watched]\n", argv[0]);
      return 2;
    }
  }
  if (files < 100 || folders < 1) return 2;
  const std::string root = "/tmp/zel_catalogue_bench-" + std::to_string(files) + "-" + std::to_string(folders);
  Generate(root, files, folders);
  if (slowOpen && !std::getenv("LD_PRELOAD")) {
    // The tree is made; the measuring run gets the slow opens.
    setenv("LD_PRELOAD", ZEL_OPEN_DELAY_SHIM, 1);
    setenv("ZEL_OPEN_DELAY_US", "5000", 0);
    execv("/proc/self/exe", argv);
    std::perror("execv");
    return 1;
  }
  // A catalogue of its own, made anew each run.
  const std::string home = "/tmp/zel_catalogue_bench-home";
  std::filesystem::remove_all(home);
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);

  SearchCriteria criteria;
  criteria.folders = {root};
  criteria.includeSubfolders = 1;
  criteria.dateMode = 0;
  criteria.callerIdMask = ">0999";  // every header is needed; 1 % of the calls are listed

  CSearchManager walk;
  walk.SetUseCatalogue(false);
  CSearchManager catalogue;
  size_t walked = 0, found = 0;
  if (!slowOpen) Search(walk, criteria, walked);  // warms the cache
  const double walkSeconds = Search(walk, criteria, walked);
  const double first = Search(catalogue, criteria, found);
  if (found != walked) std::fprintf(stderr, "first search found %zu, the walk %zu\n", found, walked);
  // Change times this recent are not trusted by the catalogue yet.
  usleep(100000);
  const std::string key = std::filesystem::canonical(root).string();
  auto folderKey = [&](int f) { return key + "/user" + std::to_string(f); };
  if (watched) {
    CWatchedFolders::Process().Watch(key);
    for (int f = 0; f < folders; ++f) CWatchedFolders::Process().Watch(folderKey(f));
    Search(catalogue, criteria, found);  // looks at every file once, under watch
  }
  double repeat = 1e9;
  for (int i = 0; i < (slowOpen ? 1 : 3); ++i) {
    repeat = std::min(repeat, Search(catalogue, criteria, found));
    if (found != walked) std::fprintf(stderr, "repeated search found %zu, the walk %zu\n", found, walked);
  }
  const int perFolder = (files + folders - 1) / folders;
  for (int n = 0; n < files; n += 100) {
    WriteCall(CallPath(root, n, perFolder), n, n / perFolder, 1);
    if (watched) {
      const std::string path = CallPath(root, n, perFolder);
      CWatchedFolders::Process().Changed(folderKey(n / perFolder), path.substr(path.rfind('/') + 1));
    }
  }
  usleep(100000);
  const double changed = Search(catalogue, criteria, found);
  if (found != walked) std::fprintf(stderr, "search after changes found %zu, the walk %zu\n", found, walked);
  for (int n = 0; n < files; n += 100) WriteCall(CallPath(root, n, perFolder), n, n / perFolder, 0);

  CRecordingCatalogue opened;
  opened.Open();
  const auto status = opened.GetStatus();
  std::printf("%s%s%d recordings in %d folders, %zu listed\n", slowOpen ? "every open +5 ms: " : "warm cache: ",
              watched ? "watched, " : "", files, folders, walked);
  std::printf("  walk              %8.3f s\n", walkSeconds);
  std::printf("  first (builds)    %8.3f s  = %.2fx the walk\n", first, first / walkSeconds);
  std::printf("  repeat            %8.3f s  = 1/%.1f of the walk\n", repeat, walkSeconds / repeat);
  std::printf("  after 1%% changed  %8.3f s  = 1/%.1f of the walk\n", changed, walkSeconds / changed);
  std::printf("  catalogue on disk %lld bytes = %.0f bytes per recording\n", status.bytes,
              status.recordings ? static_cast<double>(status.bytes) / status.recordings : 0.0);
  return 0;
}
