#pragma once
#include "cli/Command.h"

// zelctl annotate: caller, comment, important mark and bookmark of a recording,
// written back into its header in place.
class AnnotateCommand : public Command {
 public:
  const char* Name() const override { return "annotate"; }
  const char* Description() const override {
    return "Change caller, comment, important mark or bookmark of a recording";
  }
  const char* Usage() const override {
    return "FILE [--caller T] [--comment T] [--important 0|1] "
           "[--bookmark START END | --clear-bookmark] [--passphrase P | --passphrase-file F]";
  }
  int Execute(const std::vector<std::string>& arguments) override;
};
