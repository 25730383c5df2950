#pragma once
#include <cstdint>
#include <functional>

#include "Archive/CArchiveJobBuilder.h"
#include "cli/JsonWriter.h"
#include "cli/RecordingCommand.h"

class CArchiveManager;
struct ArchiveRunStats;

// zelctl archive: runs one archive job through the archive manager, then logs it
// and processes the source recordings as the scheduled job does.
class ArchiveCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "archive"; }
  const char* Description() const override { return "Archive recordings into a folder tree, ZIP or ISO image"; }
  const char* Usage() const override {
    return "--type disk|zip|iso --target PATH [--structure unstructured|user|month|path] "
           "[--select all|unarchived|30days|90days|180days] [--media keep|delete|remove-audio] "
           "[--threshold MIB] [--comment TEXT] [--replace] [--json] [--passphrase P | --passphrase-file F] SOURCE...";
  }

 protected:
  std::vector<OptionSpec> RecordingOptions() const override;
  PositionalSpec Positionals() const override { return {1, SIZE_MAX, "no SOURCE given"}; }
  int Validate(const ArgParser& args) override;
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;

 private:
  CArchiveJobBuilder Builder_;
};

namespace zel::cli {
// Waits for the archive manager's run to end, with a progress line on stderr when
// `progress`; Ctrl+C cancels the run. True when the run was cancelled.
bool WaitForArchiveRun(CArchiveManager& manager, bool progress);
// The run's summary line on stdout, or with `json` the object that starts with
// "archived", "selected" and "aborted"; `extra` adds the caller's own fields.
void PrintArchiveRun(const ArchiveRunStats& stats, bool cancelled, bool json,
                     const std::function<void(JsonWriter&)>& extra);
}  // namespace zel::cli
