#include "organiser/OpenedFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

namespace zel {

OpenedFiles SortOpenedFiles(const std::vector<std::string>& names) {
  OpenedFiles sorted;
  for (const std::string& name : names) {
    struct stat st;
    if (name.empty() || ::stat(name.c_str(), &st) != 0) {
      sorted.unreadable.push_back(name);
    } else if (S_ISDIR(st.st_mode)) {
      (::access(name.c_str(), R_OK | X_OK) == 0 ? sorted.folders : sorted.unreadable).push_back(name);
    } else if (!S_ISREG(st.st_mode) || ::access(name.c_str(), R_OK) != 0) {
      // A FIFO or device would block whoever reads it.
      sorted.unreadable.push_back(name);
    } else if (name.size() >= 8 && ::strcasecmp(name.c_str() + name.size() - 8, ".reclist") == 0) {
      sorted.lists.push_back(name);
    } else {
      sorted.recordings.push_back(name);
    }
  }
  return sorted;
}

}  // namespace zel
