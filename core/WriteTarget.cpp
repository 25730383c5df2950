#include "core/WriteTarget.h"

#include <strings.h>

#include "core/SameFile.h"

namespace zel {
namespace {

thread_local std::string lastWriteError;

}  // namespace

const std::string& LastWriteError() { return lastWriteError; }

void SetLastWriteError(std::string reason) { lastWriteError = std::move(reason); }

void ClearLastWriteError() { lastWriteError.clear(); }

bool TargetIsNotSource(const std::string& source, const std::string& target) {
  if (!IsSameFile(source, target)) return true;
  SetLastWriteError(target + " is the recording being read");
  return false;
}

std::string NativeFileName(const std::string& path) {
  constexpr char kExtension[] = ".zel";
  constexpr size_t kLength = sizeof(kExtension) - 1;
  if (path.size() >= kLength && strcasecmp(path.c_str() + path.size() - kLength, kExtension) == 0)
    return path;
  return path + kExtension;
}

}  // namespace zel
