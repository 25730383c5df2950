#pragma once
#include "cli/RecordingCommand.h"

// zelctl list: a ".reclist" file loaded as a list window loads it.
class ListCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "list"; }
  const char* Description() const override { return "Print the recordings of a recording list file"; }
  const char* Usage() const override { return "FILE.reclist [--json] [--passphrase P | --passphrase-file F]"; }

 protected:
  std::vector<OptionSpec> RecordingOptions() const override { return {{"json", 0}}; }
  PositionalSpec Positionals() const override { return {1, 1, "exactly one FILE.reclist expected"}; }
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;
};
