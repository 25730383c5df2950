#pragma once
#include "cli/Command.h"

// zelctl make-demo: a small set of realistic sample recordings to try the program on.
class MakeDemoCommand : public Command {
 public:
  const char* Name() const override { return "make-demo"; }
  const char* Description() const override {
    return "Write a set of sample recordings (all codings, versions 1-5) into a folder";
  }
  const char* Usage() const override {
    return "DIR [--passphrase P | --passphrase-file F] [--synthetic]";
  }

 protected:
  std::vector<OptionSpec> Options() const override;
  PositionalSpec Positionals() const override { return {1, 1, "needs exactly one folder"}; }
  int Execute(const ArgParser& args) override;
};
