#pragma once
#include "cli/Command.h"

// zelctl entry: the list entry of each recording file (what a recording list shows)
// as one JSON object per line.
class EntryCommand : public Command {
 public:
  const char* Name() const override { return "entry"; }
  const char* Description() const override { return "Print the list entry of recording files as JSON"; }
  const char* Usage() const override { return "[--passphrase P | --passphrase-file F] FILE..."; }
  int Execute(const std::vector<std::string>& arguments) override;
};
