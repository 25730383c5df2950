#pragma once
#include "cli/RecordingCommand.h"

// zelctl clip: the bookmarked span of a recording written as a GSM clip recording.
class ClipCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "clip"; }
  const char* Description() const override {
    return "Write the bookmarked span of a recording as a .zel clip";
  }
  const char* Usage() const override {
    return "FILE -o OUT.zel [--passphrase P | --passphrase-file F]";
  }

 protected:
  std::vector<OptionSpec> RecordingOptions() const override { return {OutputOption()}; }
  PositionalSpec Positionals() const override { return {1, 1, "needs exactly one recording"}; }
  int Validate(const ArgParser& args) override { return RequireOutput(args, "OUT.zel"); }
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;
};
