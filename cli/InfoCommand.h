#pragma once
#include "cli/RecordingCommand.h"

// zelctl info: the header of each recording file as one JSON object per line.
class InfoCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "info"; }
  const char* Description() const override { return "Print the header of recording files as JSON"; }
  const char* Usage() const override { return "[--passphrase P | --passphrase-file F] FILE..."; }

 protected:
  PositionalSpec Positionals() const override { return {1, SIZE_MAX, "no recording file given"}; }
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;
};
