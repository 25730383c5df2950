#pragma once
#include <cstdint>
#include <optional>

#include "cli/RecordingCommand.h"

class CKlRecordFile;

// zelctl annotate: caller, comment, important mark and bookmark of a recording,
// written back into its header in place.
class AnnotateCommand : public RecordingCommand {
 public:
  const char* Name() const override { return "annotate"; }
  const char* Description() const override {
    return "Change caller, comment, important mark or bookmark of a recording";
  }
  const char* Usage() const override {
    return "FILE [--caller T] [--comment T] [--important 0|1] "
           "[--bookmark START END | --clear-bookmark] [--passphrase P | --passphrase-file F]";
  }

 protected:
  std::vector<OptionSpec> RecordingOptions() const override;
  PositionalSpec Positionals() const override { return {1, 1, "needs exactly one recording"}; }
  int Validate(const ArgParser& args) override;
  int ExecuteWith(const ArgParser& args, const std::string& passphrase) override;

 private:
  void Apply(const ArgParser& args, CKlRecordFile& recording) const;
  static void WarnOfChangedTexts(const ArgParser& args);
  static void PrintResult(const std::string& path, const CKlRecordFile& recording);

  std::optional<uint32_t> important_;
  std::optional<int> start_, end_;
};
