#pragma once
#include "cli/RecordingCommand.h"

// zelctl entry: the list entry of each recording file (what a recording list shows)
// as one JSON object per line.
class EntryCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "entry"; }
  const char* Description() const override { return "Print the list entry of recording files as JSON"; }
  const char* Usage() const override { return "[--passphrase P | --passphrase-file F] FILE..."; }

 protected:
  PositionalSpec Positionals() const override { return {1, SIZE_MAX, "no recording file given"}; }
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;
};
