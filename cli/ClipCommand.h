#pragma once
#include "cli/Command.h"

// zelctl clip: the bookmarked span of a recording written as a GSM clip recording.
class ClipCommand : public Command {
 public:
  const char* Name() const override { return "clip"; }
  const char* Description() const override {
    return "Write the bookmarked span of a recording as a .zel clip";
  }
  const char* Usage() const override {
    return "FILE -o OUT.zel [--passphrase P | --passphrase-file F]";
  }
  int Execute(const std::vector<std::string>& arguments) override;
};
