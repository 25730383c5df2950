#pragma once
#include "cli/Command.h"

// zelctl archive-log: the archive history, or the report of chosen entries.
class ArchiveLogCommand : public Command {
 public:
  const char* Name() const override { return "archive-log"; }
  const char* Description() const override { return "List the archive log or write reports of its entries"; }
  const char* Usage() const override { return "[--json] | --report ID... [-o FILE]"; }
  int Execute(const std::vector<std::string>& arguments) override;
};
