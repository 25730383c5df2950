#pragma once
#include <optional>

#include "audio/CompactExport.h"
#include "cli/RecordingCommand.h"

// zelctl export: a recording (or its bookmarked span) as a WAV file, a compressed
// MP3, Opus or FLAC file, or a native copy, through the same functions as the
// desktop program's save commands.
class ExportCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "export"; }
  const char* Description() const override {
    return "Export a recording or its bookmarked span as WAV (GSM or PCM), MP3, Opus, FLAC or .zel";
  }
  const char* Usage() const override {
    return "FILE -o OUT [--format wav|gsm|mp3|opus|flac|native | --pcm | --gsm | --native] [--clip] [--normalise] "
           "[--passphrase P | --passphrase-file F]";
  }

 protected:
  std::vector<OptionSpec> RecordingOptions() const override;
  PositionalSpec Positionals() const override { return {1, 1, "expects exactly one recording"}; }
  int Validate(const ArgParser& args) override;
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;

 private:
  // What --format (or the older --pcm, --gsm and --native) asked for; Gsm also
  // stands for the default, which falls back to PCM without the GSM converter.
  enum class Kind { Default, Pcm, Gsm, Mp3, Opus, Flac, Native };
  int Write(const class CKlRecordFile& file, const ArgParser& parser, const std::string& passphrase) const;
  static std::optional<zel::CompactFormat> CompactOf(Kind kind);
  const char* FormatName(bool gsmAvailable) const;
  Kind kind_ = Kind::Default;
  bool normalise_ = false;
};
