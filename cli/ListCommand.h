#pragma once
#include "cli/Command.h"

// zelctl list: a ".reclist" file loaded as a list window loads it.
class ListCommand : public Command {
 public:
  const char* Name() const override { return "list"; }
  const char* Description() const override { return "Print the recordings of a recording list file"; }
  const char* Usage() const override { return "FILE.reclist [--json] [--passphrase P | --passphrase-file F]"; }
  int Execute(const std::vector<std::string>& arguments) override;
};
