#pragma once
#include "cli/Command.h"

// zelctl paths: the data folders, created as the program creates them.
class PathsCommand : public Command {
 public:
  const char* Name() const override { return "paths"; }
  const char* Description() const override {
    return "Print (and create) the log, configuration and global settings folders";
  }
  const char* Usage() const override { return ""; }

 protected:
  int Execute(const ArgParser& args) override;
};
