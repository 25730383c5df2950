#pragma once
#include "cli/Command.h"

// zelctl settings: the loaded application settings as JSON.
class SettingsCommand : public Command {
 public:
  const char* Name() const override { return "settings"; }
  const char* Description() const override { return "Print the loaded settings as JSON"; }
  const char* Usage() const override { return ""; }

 protected:
  int Execute(const ArgParser& args) override;
};
