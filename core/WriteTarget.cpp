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

std::string WithEnding(const std::string& path, const std::string& ending) {
  if (path.size() >= ending.size() &&
      strcasecmp(path.c_str() + path.size() - ending.size(), ending.c_str()) == 0)
    return path;
  return path + ending;
}

std::string NativeFileName(const std::string& path) { return WithEnding(path, ".zel"); }

}  // namespace zel
