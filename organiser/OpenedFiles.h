#pragma once
#include <string>
#include <vector>

// The names given to the program to open (its command line, a second start, the
// file manager), sorted by what becomes of them.
struct OpenedFiles {
  std::vector<std::string> lists;       // ".reclist" files: a list window each
  std::vector<std::string> recordings;  // other readable files: recordings
  std::vector<std::string> folders;     // searched for their recordings
  std::vector<std::string> unreadable;  // missing, unreadable or not a file or folder
};

namespace zel {
// Sorts `names` (absolute or relative to the current folder; kept as given, in order).
OpenedFiles SortOpenedFiles(const std::vector<std::string>& names);
}  // namespace zel
