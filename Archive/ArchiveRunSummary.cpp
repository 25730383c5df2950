#include "Archive/ArchiveRunSummary.h"

#include <cstdio>

std::string ArchiveRunSummary::Text() const {
  char line[160];
  std::snprintf(line, sizeof line,
                Cancelled_ ? "Archive Calls cancelled: %d (from %d) calls archived."
                           : "Archive Calls finished: %d (from %d) calls archived.",
                Stats_.ArchivedCount, Stats_.SelectedCount);
  return line;
}

bool ArchiveRunSummary::Failed() const { return Cancelled_ || Stats_.Failed(); }
