#pragma once
#include "cli/Command.h"

// zelctl archive-verify: checks every file of an archive against its index.
class ArchiveVerifyCommand : public Command {
 public:
  const char* Name() const override { return "archive-verify"; }
  const char* Description() const override {
    return "Check the files of an archive (folder, ZIP or ISO) against its index.csv";
  }
  const char* Usage() const override { return "[--json] ARCHIVE"; }

 protected:
  std::vector<OptionSpec> Options() const override { return {{"json", 0}}; }
  PositionalSpec Positionals() const override { return {1, 1, "expects exactly one archive"}; }
  int Execute(const ArgParser& args) override;
};
