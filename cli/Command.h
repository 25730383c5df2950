#pragma once
#include <map>
#include <string>
#include <vector>

// One zelctl sub-command: a name, a one-line description, a usage text and
// Execute, which returns the exit status (0 success, 1 failure, 2 usage error).
// Commands register themselves with ZEL_REGISTER_COMMAND in their .cpp file.
class Command {
 public:
  virtual ~Command() = default;
  virtual const char* Name() const = 0;
  virtual const char* Description() const = 0;
  // Arguments after the name, e.g. "[--json] FILE...".
  virtual const char* Usage() const = 0;
  virtual int Execute(const std::vector<std::string>& arguments) = 0;
};

class CommandRegistry {
 public:
  using Factory = Command* (*)();
  static CommandRegistry& Instance();
  void Add(const char* name, Factory factory);
  // Null when there is no such command. The caller owns the result.
  Command* Create(const std::string& name) const;
  std::vector<std::string> Names() const;  // sorted

 private:
  std::map<std::string, Factory> factories_;
};

struct CommandRegistrar {
  CommandRegistrar(const char* name, CommandRegistry::Factory factory) {
    CommandRegistry::Instance().Add(name, factory);
  }
};

#define ZEL_REGISTER_COMMAND(Class, name)                                          \
  static const CommandRegistrar zelRegistrar_##Class(name, []() -> Command* { \
    return new Class();                                                             \
  })
