#include "support/FaultFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace zeltest {

bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

std::vector<std::string> DamagedCopies(const std::string& path) {
  std::filesystem::path target(path);
  std::string prefix = target.filename().string() + ".damaged-";
  std::vector<std::string> found;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(target.parent_path(), error)) {
    std::string name = item.path().filename().string();
    if (name.compare(0, prefix.size(), prefix) == 0) found.push_back(item.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace zeltest
