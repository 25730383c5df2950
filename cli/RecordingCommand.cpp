#include "cli/RecordingCommand.h"

#include <optional>

#include "cli/CliSupport.h"
#include "core/SameFile.h"

std::vector<OptionSpec> RecordingCommand::Options() const {
  std::vector<OptionSpec> options = RecordingOptions();
  for (const OptionSpec& option : zel::cli::PassphraseOptions()) options.push_back(option);
  return options;
}

int RecordingCommand::Execute(const ArgParser& args) {
  zel::cli::StartCore();
  std::optional<std::string> passphrase = zel::cli::ResolvePassphrase(args);
  if (!passphrase) return zel::cli::kExitFailure;
  return ExecuteWith(args, *passphrase);
}

int RecordingCommand::RequireOutput(const ArgParser& args, const char* hint) const {
  if (args.Has("output") && !args.Value("output").empty()) return zel::cli::kExitOk;
  return UsageError(std::string("needs -o ") + hint);
}

int RecordingCommand::RefuseSource(const std::string& source, const std::string& target) {
  if (!zel::IsSameFile(source, target)) return zel::cli::kExitOk;
  zel::cli::PrintError("cannot write " + target + ": it is the recording " + source + " being read");
  return zel::cli::kExitFailure;
}
