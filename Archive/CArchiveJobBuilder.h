#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Archive/CJobArchListEntry.h"

// Builds an archive job from the user's choices (sources, archive type and target,
// structure, selection, media processing, size limit), as the archive wizard, the
// scheduled job and zelctl offer them. Paths are stored absolute and normalised;
// the call count is the number of sources; user and job time default to the
// current user and now.
class CArchiveJobBuilder {
 public:
  CArchiveJobBuilder();

  // A folder or a recording file.
  CArchiveJobBuilder& AddSource(const std::string& path);
  CArchiveJobBuilder& SetTarget(const std::string& path);
  CArchiveJobBuilder& SetArchiveType(zel::ArchiveType type);
  CArchiveJobBuilder& SetStructureType(zel::StructureType type);
  CArchiveJobBuilder& SetSelectionType(zel::SelectionType type);
  CArchiveJobBuilder& SetMediaProcessing(zel::MediaProcessing value);
  // Size limit in MiB (0: none) and whether the limit is active for the job.
  CArchiveJobBuilder& SetThreshold(int32_t mib, bool cancelJob);
  CArchiveJobBuilder& SetUser(const std::string& user);
  CArchiveJobBuilder& SetComment(const std::string& comment);
  CArchiveJobBuilder& SetJobTime(int64_t time);

  // Empty when the job can run, else why not.
  std::string Problem() const;
  CJobArchListEntry Build() const;

  // `path` made absolute and normalised (a relative path is taken from the current
  // folder), as jobs and the archive log store paths.
  static std::string AbsolutePath(const std::string& path);
  // The login name of the user running the program ("" when unknown).
  static std::string CurrentUser();

 private:
  CJobArchListEntry Job_;
  std::vector<std::string> Sources_;
};
