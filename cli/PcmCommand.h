#pragma once
#include "cli/Command.h"

// zelctl pcm: a recording decoded to raw signed 16-bit little-endian mono PCM.
class PcmCommand : public Command {
 public:
  const char* Name() const override { return "pcm"; }
  const char* Description() const override {
    return "Decode a recording to raw signed 16-bit little-endian mono PCM (8000 Hz)";
  }
  const char* Usage() const override {
    return "FILE -o OUT [--passphrase P | --passphrase-file F]";
  }
  int Execute(const std::vector<std::string>& arguments) override;
};
