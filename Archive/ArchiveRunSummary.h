#pragma once
#include <string>

#include "Archive/ArchiveRunStats.h"

// What the user is told when an archive run has ended, by hand or scheduled.
class ArchiveRunSummary {
 public:
  // `cancelled`: the user stopped the run (the progress dialog ended with Cancel).
  ArchiveRunSummary(const ArchiveRunStats& stats, bool cancelled) : Stats_(stats), Cancelled_(cancelled) {}

  // "Archive Calls finished: %d (from %d) calls archived." or, for a cancelled run,
  // "Archive Calls cancelled: %d (from %d) calls archived.".
  std::string Text() const;
  // The run did not do its work: it was aborted or cancelled, a selected
  // recording did not reach the archive, or a failure was told to the user
  // (post-processing of a source, the archive log, the archive itself).
  bool Failed() const;

 private:
  ArchiveRunStats Stats_;
  bool Cancelled_;
};
