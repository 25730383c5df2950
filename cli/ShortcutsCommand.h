#pragma once
#include "cli/Command.h"

// zelctl shortcuts: the Shortcuts tree.
class ShortcutsCommand : public Command {
 public:
  const char* Name() const override { return "shortcuts"; }
  const char* Description() const override { return "Print the Shortcuts tree"; }
  const char* Usage() const override { return "[--json]"; }

 protected:
  std::vector<OptionSpec> Options() const override { return {{"json", 0}}; }
  int Execute(const ArgParser& args) override;
};
