#include "Archive/ArchiveTargetGuard.h"

#include <filesystem>
#include <system_error>

#include "Archive/IArchiver.h"
#include "core/SameFile.h"

namespace zel {

namespace {

std::filesystem::path Resolved(const std::string& path) {
  std::error_code error;
  std::string plain = WithoutTrailingSlashes(path);
  std::filesystem::path absolute = std::filesystem::absolute(plain.empty() ? path : plain, error);
  if (error) return std::filesystem::path(path).lexically_normal();
  std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
  return (error ? absolute : resolved).lexically_normal();
}

}  // namespace

std::string ArchiveTargetConflict(const std::string& target, const std::vector<std::string>& sources) {
  const std::filesystem::path resolvedTarget = Resolved(target);
  for (const std::string& source : sources) {
    if (source.empty()) continue;
    const std::filesystem::path resolvedSource = Resolved(source);
    if (resolvedTarget == resolvedSource || IsSameFile(target, source)) {
      return "The archive " + target + " is the source " + source + "; no call was archived.";
    }
    std::error_code error;
    if (!std::filesystem::is_directory(resolvedSource, error)) continue;
    std::filesystem::path relative = resolvedTarget.lexically_relative(resolvedSource);
    if (!relative.empty() && *relative.begin() != "..") {
      return "The archive " + target + " lies inside the source folder " + source + "; no call was archived.";
    }
  }
  return std::string();
}

}  // namespace zel
