#pragma once
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/ArgParser.h"

// How many positional arguments a command takes, and what it says when the count
// is wrong.
struct PositionalSpec {
  size_t min = 0;
  size_t max = 0;
  const char* message = "takes no arguments";
};

// One zelctl sub-command. A command declares its options and positional arguments
// as data; Run parses and checks them, reports a usage error with the usage line,
// and hands the parsed arguments to Execute. Exit statuses: 0 success, 1 a file
// that cannot be read or written (or another failure), 2 wrong usage.
// Commands register themselves with ZEL_REGISTER_COMMAND in their .cpp file.
class Command {
 public:
  virtual ~Command() = default;
  virtual const char* Name() const = 0;
  virtual const char* Description() const = 0;
  // Arguments after the name, e.g. "[--json] FILE...".
  virtual const char* Usage() const = 0;

  int Run(const std::vector<std::string>& arguments);

 protected:
  virtual std::vector<OptionSpec> Options() const { return {}; }
  virtual PositionalSpec Positionals() const { return {}; }
  // Checks among the parsed arguments that the declarations cannot express;
  // returns kExitOk or the status of the usage error it has reported.
  virtual int Validate(const ArgParser&) { return 0; }
  virtual int Execute(const ArgParser& args) = 0;

  // Prints "zelctl NAME: message" and the usage line; returns the usage status.
  int UsageError(const std::string& message) const;
  // The arguments as given to Run.
  const std::vector<std::string>& RawArguments() const { return raw_; }

 private:
  std::vector<std::string> raw_;
};

class CommandRegistry {
 public:
  static CommandRegistry& Instance();
  void Add(std::unique_ptr<Command> command);
  // Null when there is no such command.
  Command* Find(const std::string& name) const;
  std::vector<std::string> Names() const;  // sorted

 private:
  std::map<std::string, std::unique_ptr<Command>> commands_;
};

struct CommandRegistrar {
  explicit CommandRegistrar(std::unique_ptr<Command> command) {
    CommandRegistry::Instance().Add(std::move(command));
  }
};

#define ZEL_REGISTER_COMMAND(Class) \
  static const CommandRegistrar zelRegistrar_##Class(std::make_unique<Class>())
