#pragma once
#include "cli/Command.h"

// zelctl play: plays a recording through the default sound device with a progress
// line, stopping at the end as the player panel does. Ctrl+C (SIGINT) or SIGTERM
// stops cleanly, closing the device: exit 130 or 143.
class PlayCommand : public Command {
 public:
  const char* Name() const override { return "play"; }
  const char* Description() const override {
    return "Play a recording through the default sound device";
  }
  const char* Usage() const override { return "FILE [--passphrase P | --passphrase-file F]"; }
  int Execute(const std::vector<std::string>& arguments) override;
};
