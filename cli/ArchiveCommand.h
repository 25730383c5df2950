#pragma once
#include "cli/Command.h"

class CArchiveManager;

// zelctl archive: runs one archive job through the archive manager, then logs it
// and processes the source recordings as the scheduled job does.
class ArchiveCommand : public Command {
 public:
  const char* Name() const override { return "archive"; }
  const char* Description() const override { return "Archive recordings into a folder tree, ZIP or ISO image"; }
  const char* Usage() const override {
    return "--type disk|zip|iso --target PATH [--structure unstructured|user|month|path] "
           "[--select all|unarchived|30days|90days|180days] [--media keep|delete|remove-audio] "
           "[--threshold MIB] [--comment TEXT] [--json] [--passphrase P | --passphrase-file F] SOURCE...";
  }
  int Execute(const std::vector<std::string>& arguments) override;
};

namespace zel::cli {
// Waits for the archive manager's run to end, with a progress line on stderr when
// `progress`; Ctrl+C cancels the run. True when the run was cancelled.
bool WaitForArchiveRun(CArchiveManager& manager, bool progress);
// "Archive Calls finished: %d (from %d) calls archived." or the cancelled line.
std::string ArchiveRunLine(bool cancelled, int archived, int selected);
}  // namespace zel::cli
