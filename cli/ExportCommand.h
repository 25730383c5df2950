#pragma once
#include "cli/Command.h"

// zelctl export: a recording (or its bookmarked span) as a WAV file or a native copy,
// through the same functions as the desktop program's save commands.
class ExportCommand : public Command {
 public:
  const char* Name() const override { return "export"; }
  const char* Description() const override {
    return "Export a recording or its bookmarked span as WAV (GSM or PCM) or .zel";
  }
  const char* Usage() const override {
    return "FILE -o OUT [--pcm | --gsm] [--native] [--clip] [--passphrase P | --passphrase-file F]";
  }
  int Execute(const std::vector<std::string>& arguments) override;
};
