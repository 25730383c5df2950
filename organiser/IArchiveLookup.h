#pragma once
#include <string>

class CKlFileListEntry;

// What the recording lists ask of the archive history: the kind of archive that
// holds a recording (1 DISK, 2 ZIP, 3 ISO; -1 when it was never archived), used as
// the "Archived" sort key, and the report lines shown as the column's tooltip.
class IArchiveLookup {
 public:
  virtual ~IArchiveLookup() = default;
  virtual int ArchiveKindOf(const CKlFileListEntry& entry) = 0;
  // One line per archive record of the recording; empty when there is none.
  virtual std::string ArchiveTooltipOf(const CKlFileListEntry& entry) = 0;
};

namespace zel {
// The lookup the lists use; null (the default) sorts every entry as -1.
void SetArchiveLookup(IArchiveLookup* lookup);
IArchiveLookup* ArchiveLookup();
}  // namespace zel
