#include "cli/RecordingCommand.h"

#include <optional>

#include "cli/CliSupport.h"

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
