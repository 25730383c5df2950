// The generated tree of small recordings the search benchmarks walk, and the floor
// they are measured against. Header-only: each benchmark is one program.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zelbench {

inline void Put32(char* record, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// One call of the generated trees, `n` in folder `folder`: a version-4 header
// (comment left empty) and 160 bytes of audio; 1% of the calls come from ">0999...".
inline void FillCall(char (&file)[1440 + 160], int n, int folder) {
  std::memset(file, 0, 1440);
  std::memset(file + 1440, 0xD5, 160);
  Put32(file, 0, 4);
  Put32(file, 4, 1440);
  Put32(file, 8, 6);
  Put32(file, 12, n % 7 == 0);
  std::snprintf(file + 16, 128, "%s%07d", n % 100 == 0 ? ">0999" : ">0301", n);
  Put32(file, 1168, 1600000000u + static_cast<uint32_t>((n * 7919) % 30000000));
  Put32(file, 1172, static_cast<uint32_t>(n % 3600));
  std::snprintf(file + 1180, 128, "%d", 100 + folder);
  Put32(file, 1308, 0xFFFFFFFFu);
  std::snprintf(file + 1312, 120, "Unknown");
}

// `folders` folders "user<n>" of `perFolder` recordings below `root`, made once (a
// ".complete" marker tells; delete the tree to regenerate). Version-4 headers with a
// 1023-character comment and 160 bytes of audio; 1% of the calls come from ">0999...".
inline void GenerateTree(const std::string& root, int folders, int perFolder) {
  std::string done = root + "/.complete";
  if (access(done.c_str(), F_OK) == 0) return;
  std::fprintf(stderr, "generating %d recordings under %s ...\n", folders * perFolder, root.c_str());
  mkdir(root.c_str(), 0755);
  char file[1440 + 160];
  for (int f = 0; f < folders; ++f) {
    std::string folder = root + "/user" + std::to_string(f);
    mkdir(folder.c_str(), 0755);
    for (int i = 0; i < perFolder; ++i) {
      const int n = f * perFolder + i;
      FillCall(file, n, f);
      std::memset(file + 144, 'c', 1023);
      char name[128];
      std::snprintf(name, sizeof name, "/%d-20200101 %06d.zel", 100 + f, i);
      std::string path = folder + name;
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || ::write(fd, file, sizeof file) != static_cast<ssize_t>(sizeof file)) {
        std::perror(path.c_str());
        std::exit(1);
      }
      ::close(fd);
    }
  }
  int fd = ::open(done.c_str(), O_WRONLY | O_CREAT, 0644);
  if (fd >= 0) ::close(fd);
}

// The floor: enumerate the tree on one thread and read the first 1440 bytes of every
// file, the least any search that loads every header must do. Returns the files read.
inline size_t ReadHeadersOf(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return 0;
  size_t count = 0;
  char buffer[1440];
  const int dfd = dirfd(dir);
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    if (e->d_type == DT_DIR) {
      count += ReadHeadersOf(folder + "/" + e->d_name);
    } else {
      int fd = ::openat(dfd, e->d_name, O_RDONLY);
      if (fd < 0) continue;
      if (::read(fd, buffer, sizeof buffer) == static_cast<ssize_t>(sizeof buffer)) ++count;
      ::close(fd);
    }
  }
  closedir(dir);
  return count;
}

}  // namespace zelbench
