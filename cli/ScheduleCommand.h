#pragma once
#include "cli/Command.h"

class CJobArchScheduler;

// zelctl schedule: shows and edits the scheduled archive job, and runs it now.
class ScheduleCommand : public Command {
 public:
  const char* Name() const override { return "schedule"; }
  const char* Description() const override { return "Show, change or run the scheduled archive job"; }
  const char* Usage() const override {
    return "show [--json] | set KEY VALUE | add-folder PATH | remove-folder PATH | next [--json] | "
           "run [--json] [--if-due] [--notify | --no-notify] [--passphrase P | --passphrase-file F] | "
           "install-timer | remove-timer";
  }

 protected:
  std::vector<OptionSpec> Options() const override;
  PositionalSpec Positionals() const override { return {1, 3, "no action given"}; }
  int Validate(const ArgParser& args) override;
  int Execute(const ArgParser& args) override;

 private:
  int Set(CJobArchScheduler& scheduler, const std::string& key, const std::string& value);
  int ChangeFolders(CJobArchScheduler& scheduler, const std::string& action, const std::string& path);
  int Next(CJobArchScheduler& scheduler, bool json);
  int RunNow(CJobArchScheduler& scheduler, const ArgParser& args);
  int InstallTimer(CJobArchScheduler& scheduler);
  int RemoveTimer();
};
