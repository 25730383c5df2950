#include "cli/Command.h"

#include "cli/CliSupport.h"
#include "core/DamagedFile.h"

int Command::Run(const std::vector<std::string>& arguments) {
  raw_ = arguments;
  ArgParser parser;
  parser.Declare(Options());
  if (!parser.Parse(arguments)) return UsageError(parser.Error());
  PositionalSpec positionals = Positionals();
  size_t count = parser.Positional().size();
  if (count < positionals.min || count > positionals.max) return UsageError(positionals.message);
  int status = Validate(parser);
  if (status != zel::cli::kExitOk) return status;
  const int damaged = zel::DamagedFilesFound();
  status = Execute(parser);
  // A data file found damaged and set aside (said on stderr) is no success, whatever
  // the command did with the defaults afterwards.
  return status == zel::cli::kExitOk && zel::DamagedFilesFound() != damaged ? zel::cli::kExitFailure : status;
}

int Command::UsageError(const std::string& message) const {
  return zel::cli::UsageError(Name(), message, Usage());
}

CommandRegistry& CommandRegistry::Instance() {
  static CommandRegistry registry;
  return registry;
}

void CommandRegistry::Add(std::unique_ptr<Command> command) {
  std::string name = command->Name();
  commands_[name] = std::move(command);
}

Command* CommandRegistry::Find(const std::string& name) const {
  auto it = commands_.find(name);
  return it != commands_.end() ? it->second.get() : nullptr;
}

std::vector<std::string> CommandRegistry::Names() const {
  std::vector<std::string> names;
  for (const auto& [name, command] : commands_) names.push_back(name);
  return names;
}
