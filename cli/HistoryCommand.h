#pragma once
#include "cli/Command.h"

// zelctl history: the play history as the Play History window shows it.
class HistoryCommand : public Command {
 public:
  const char* Name() const override { return "history"; }
  const char* Description() const override { return "Print the play history, newest first"; }
  const char* Usage() const override { return "[--json]"; }

 protected:
  std::vector<OptionSpec> Options() const override { return {{"json", 0}}; }
  int Execute(const ArgParser& args) override;
};
