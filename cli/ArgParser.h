#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// One option a command accepts: "--name" with `values` values (0: a flag that takes
// none), an optional short alias such as "-o", and whether it may be repeated.
struct OptionSpec {
  const char* name;
  int values = 1;
  const char* alias = nullptr;
  bool repeatable = false;
};

// A small option parser shared by the commands. Declare the flags (no value) and the
// options (one value, or `arity` values) a command accepts, then Parse. Options may
// be given as "--name value" or "--name=value"; "-o" style short aliases map to long
// names. Everything else is positional; "--" ends the options.
class ArgParser {
 public:
  ArgParser& Flag(const std::string& name);
  ArgParser& Option(const std::string& name, int arity = 1);
  ArgParser& Alias(const std::string& shortName, const std::string& longName);
  // Options that may be given several times (values accumulate).
  ArgParser& Repeatable(const std::string& name);
  ArgParser& Declare(const std::vector<OptionSpec>& options);

  // False with Error() set on an unknown option or a missing value.
  bool Parse(const std::vector<std::string>& arguments);
  const std::string& Error() const { return error_; }

  bool Has(const std::string& name) const;
  // The (first) value of an option, or `def`.
  std::string Value(const std::string& name, const std::string& def = "") const;
  // All values given for an option, in order.
  std::vector<std::string> Values(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return positional_; }

  // Parses a whole decimal integer; nullopt when the text is not one.
  static std::optional<long long> ToInt(const std::string& text);

 private:
  std::set<std::string> flags_;
  std::map<std::string, int> options_;
  std::set<std::string> repeatable_;
  std::map<std::string, std::string> aliases_;
  std::map<std::string, std::vector<std::string>> values_;
  std::set<std::string> seen_;
  std::vector<std::string> positional_;
  std::string error_;
};
