#pragma once
#include "cli/Command.h"

class CArchiveLogger;

// zelctl archive-log: the archive history, or the report of chosen entries.
class ArchiveLogCommand : public Command {
 public:
  const char* Name() const override { return "archive-log"; }
  const char* Description() const override { return "List the archive log or write reports of its entries"; }
  const char* Usage() const override { return "[--json] | --report ID... [-o FILE]"; }

 protected:
  std::vector<OptionSpec> Options() const override { return {{"json", 0}, {"report", 0}, {"output", 1, "-o"}}; }
  PositionalSpec Positionals() const override { return {0, SIZE_MAX, ""}; }
  int Validate(const ArgParser& args) override;
  int Execute(const ArgParser& args) override;

 private:
  static int List(CArchiveLogger& log, bool json);
  static int Report(CArchiveLogger& log, const ArgParser& args);
};
