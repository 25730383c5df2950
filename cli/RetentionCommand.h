#pragma once
#include "Archive/CRetention.h"
#include "cli/Command.h"

// zelctl retention: shows and edits the retention rule, previews it and runs it.
class RetentionCommand : public Command {
 public:
  const char* Name() const override { return "retention"; }
  const char* Description() const override { return "Show, change, preview or run the retention rule"; }
  const char* Usage() const override {
    return "show [--json] | set KEY VALUE | add-folder PATH | remove-folder PATH | preview [--json] | "
           "run [--json] [--passphrase P | --passphrase-file F]";
  }

 protected:
  std::vector<OptionSpec> Options() const override;
  PositionalSpec Positionals() const override { return {1, 3, "no action given"}; }
  int Validate(const ArgParser& args) override;
  int Execute(const ArgParser& args) override;
};

namespace zel::cli {
// Prints what a preview or run selected: one line per call ("remove", "removed",
// "keep" or "failed", the path, why), or with `json` one object per call.
// Returns kExitFailure when a run could not remove a call it should have.
int PrintRetention(const CRetention::Result& result, bool run, bool json);
}  // namespace zel::cli
