#include "Archive/IArchiver.h"

IArchiver::~IArchiver() = default;

IArchiver* IArchiver::Reset() {
  archiveSize_ = 0;
  archivedCount_ = 0;
  lastError_.clear();
  lastErrorShown_ = false;
  cancelRequested_.store(false, std::memory_order_release);
  return this;
}

namespace zel {

std::vector<std::string> SubFolderComponents(const std::string& subFolder) {
  std::vector<std::string> components;
  std::string current;
  auto flush = [&] {
    size_t end = current.find_last_not_of(" \t");
    current.erase(end == std::string::npos ? 0 : end + 1);
    if (!current.empty() && current != "." && current != "..") components.push_back(current);
    current.clear();
  };
  for (char c : subFolder) {
    if (c == '/' || c == '\\') {
      flush();
    } else {
      current += c;
    }
  }
  flush();
  return components;
}

std::string JoinSubFolder(const std::vector<std::string>& components) {
  std::string joined;
  for (const auto& component : components) {
    if (!joined.empty()) joined += '/';
    joined += component;
  }
  return joined;
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string WithoutTrailingSlashes(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return path.empty() ? path : "/";
  return path.substr(0, end + 1);
}

}  // namespace zel
