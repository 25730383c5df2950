#pragma once
#include "cli/Command.h"

// zelctl info: the header of each recording file as one JSON object per line.
class InfoCommand : public Command {
 public:
  const char* Name() const override { return "info"; }
  const char* Description() const override { return "Print the header of recording files as JSON"; }
  const char* Usage() const override { return "[--passphrase P | --passphrase-file F] FILE..."; }
  int Execute(const std::vector<std::string>& arguments) override;
};
