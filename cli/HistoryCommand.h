#pragma once
#include "cli/Command.h"

// zelctl history: the play history as the Play History window shows it.
class HistoryCommand : public Command {
 public:
  const char* Name() const override { return "history"; }
  const char* Description() const override { return "Print the play history, newest first"; }
  const char* Usage() const override { return "[--json]"; }
  int Execute(const std::vector<std::string>& arguments) override;
};
