#pragma once
#include <string>
#include <vector>

#include "cli/Command.h"

// A command that opens recordings. It accepts the passphrase options beside its
// own and resolves the passphrase (given, read from a file, or the remembered one)
// before ExecuteWith. A passphrase file that cannot be read is a file that cannot
// be read: exit 1, as for every other input file.
class RecordingCommand : public Command {
 protected:
  std::vector<OptionSpec> Options() const final;
  int Execute(const ArgParser& args) final;

  virtual std::vector<OptionSpec> RecordingOptions() const { return {}; }
  virtual int ExecuteWith(const ArgParser& args, const std::string& passphrase) = 0;

  // -o/--output, for commands that write one file.
  static OptionSpec OutputOption() { return {"output", 1, "-o"}; }
  // The usage status when -o is missing or empty ("needs -o HINT"), else kExitOk.
  int RequireOutput(const ArgParser& args, const char* hint) const;
  // kExitFailure (with a message) when `target` is the recording `source` itself,
  // also through a link: writing it would replace the call. Else kExitOk.
  static int RefuseSource(const std::string& source, const std::string& target);
};
