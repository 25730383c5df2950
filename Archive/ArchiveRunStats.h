#pragma once
#include <cstdint>

// The statistics of an archive run, zeroed when a run starts. The archive manager
// hands out copies (CArchiveManager::GetRunStats), safe to take from any thread.
struct ArchiveRunStats {
  int32_t Aborted = 0;        // a source was invalid or the run was cancelled
  int32_t ArchivedCount = 0;  // calls the archiver reports as archived
  int32_t SelectedCount = 0;  // calls handed to the archiver
  double Progress = 0.0;      // percent, 0..100
};
