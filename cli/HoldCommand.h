#pragma once
#include "cli/Command.h"

// zelctl hold: places calls on legal hold, releases them and lists the holds.
class HoldCommand : public Command {
 public:
  const char* Name() const override { return "hold"; }
  const char* Description() const override { return "Place calls on legal hold, release them, list the holds"; }
  const char* Usage() const override {
    return "add PATH|--caller ID --reason TEXT | remove PATH|--caller ID [--reason TEXT] | list [--json]";
  }

 protected:
  std::vector<OptionSpec> Options() const override { return {{"caller"}, {"reason"}, {"json", 0}}; }
  PositionalSpec Positionals() const override { return {1, 2, "no action given"}; }
  int Validate(const ArgParser& args) override;
  int Execute(const ArgParser& args) override;
};
