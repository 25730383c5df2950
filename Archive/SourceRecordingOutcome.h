#pragma once
#include <string>

// What became of one original recording when the archive manager processed the
// sources of a run (deleted or stripped of its audio, or kept, and why).
struct SourceRecordingOutcome {
  std::string Path;
  bool Changed = false;  // deleted, or its audio removed
  std::string Why;       // why it was kept; empty when changed
};
