#pragma once
#include <cstdint>

// The statistics of an archive run, zeroed when a run starts. The archive manager
// hands out copies (CArchiveManager::GetRunStats), safe to take from any thread.
struct ArchiveRunStats {
  int32_t Aborted = 0;        // a source was invalid or the run was cancelled
  int32_t ArchivedCount = 0;  // calls the archiver reports as archived
  int32_t SelectedCount = 0;  // calls handed to the archiver
  double Progress = 0.0;      // percent, 0..100
  int32_t Problems = 0;       // failures told to the user (unwritable archive, failed delete, ...)

  // Calls were selected and none of them reached the archive.
  bool NoneArchived() const { return SelectedCount > 0 && ArchivedCount == 0; }
  // What a caller reports as a failed run: aborted, a selected call that did not
  // reach the archive, or any other failure told to the user.
  bool Failed() const { return Aborted != 0 || ArchivedCount < SelectedCount || Problems > 0; }
};
