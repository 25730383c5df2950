#pragma once
#include "cli/RecordingCommand.h"

// zelctl export: a recording (or its bookmarked span) as a WAV file or a native copy,
// through the same functions as the desktop program's save commands.
class ExportCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "export"; }
  const char* Description() const override {
    return "Export a recording or its bookmarked span as WAV (GSM or PCM) or .zel";
  }
  const char* Usage() const override {
    return "FILE -o OUT [--pcm | --gsm] [--native] [--clip] [--passphrase P | --passphrase-file F]";
  }

 protected:
  std::vector<OptionSpec> RecordingOptions() const override;
  PositionalSpec Positionals() const override { return {1, 1, "expects exactly one recording"}; }
  int Validate(const ArgParser& args) override;
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;
};
