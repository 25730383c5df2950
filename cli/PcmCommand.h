#pragma once
#include "cli/RecordingCommand.h"

// zelctl pcm: a recording decoded to raw signed 16-bit little-endian mono PCM.
class PcmCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "pcm"; }
  const char* Description() const override {
    return "Decode a recording to raw signed 16-bit little-endian mono PCM (8000 Hz)";
  }
  const char* Usage() const override {
    return "FILE -o OUT [--passphrase P | --passphrase-file F]";
  }

 protected:
  std::vector<OptionSpec> RecordingOptions() const override { return {OutputOption()}; }
  PositionalSpec Positionals() const override { return {1, 1, "needs exactly one recording"}; }
  int Validate(const ArgParser& args) override { return RequireOutput(args, "OUT"); }
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;
};
