#pragma once
#include "cli/Command.h"

// zelctl schedule: shows and edits the scheduled archive job, and runs it now.
class ScheduleCommand : public Command {
 public:
  const char* Name() const override { return "schedule"; }
  const char* Description() const override { return "Show, change or run the scheduled archive job"; }
  const char* Usage() const override {
    return "show [--json] | set KEY VALUE | add-folder PATH | remove-folder PATH | next [--json] | "
           "run [--json] [--passphrase P | --passphrase-file F]";
  }
  int Execute(const std::vector<std::string>& arguments) override;
};
