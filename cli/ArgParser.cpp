#include "cli/ArgParser.h"

#include <cerrno>
#include <cstdlib>

ArgParser& ArgParser::Flag(const std::string& name) {
  flags_.insert(name);
  return *this;
}

ArgParser& ArgParser::Option(const std::string& name, int arity) {
  options_[name] = arity;
  return *this;
}

ArgParser& ArgParser::Alias(const std::string& shortName, const std::string& longName) {
  aliases_[shortName] = longName;
  return *this;
}

ArgParser& ArgParser::Repeatable(const std::string& name) {
  repeatable_.insert(name);
  return *this;
}

ArgParser& ArgParser::Declare(const std::vector<OptionSpec>& options) {
  for (const OptionSpec& option : options) {
    if (option.values == 0) {
      Flag(option.name);
    } else {
      Option(option.name, option.values);
    }
    if (option.alias != nullptr) Alias(option.alias, std::string("--") + option.name);
    if (option.repeatable) Repeatable(option.name);
  }
  return *this;
}

bool ArgParser::Parse(const std::vector<std::string>& arguments) {
  bool optionsEnded = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string arg = arguments[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || arg == "-") {
      positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string inlineValue;
    bool hasInline = false;
    size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      hasInline = true;
    }
    auto alias = aliases_.find(arg);
    if (alias != aliases_.end()) arg = alias->second;
    if (arg.rfind("--", 0) != 0) {
      error_ = "unknown option " + arguments[i];
      return false;
    }
    std::string name = arg.substr(2);
    if (flags_.count(name) != 0) {
      if (hasInline) {
        error_ = "option --" + name + " takes no value";
        return false;
      }
      seen_.insert(name);
      continue;
    }
    auto option = options_.find(name);
    if (option == options_.end()) {
      error_ = "unknown option " + arguments[i];
      return false;
    }
    if (seen_.count(name) != 0 && repeatable_.count(name) == 0) {
      error_ = "option --" + name + " given twice";
      return false;
    }
    seen_.insert(name);
    int needed = option->second;
    auto& values = values_[name];
    if (hasInline) {
      values.push_back(inlineValue);
      --needed;
    }
    for (; needed > 0; --needed) {
      if (i + 1 >= arguments.size()) {
        error_ = "option --" + name + " needs a value";
        return false;
      }
      values.push_back(arguments[++i]);
    }
  }
  return true;
}

bool ArgParser::Has(const std::string& name) const { return seen_.count(name) != 0; }

std::string ArgParser::Value(const std::string& name, const std::string& def) const {
  auto it = values_.find(name);
  return it != values_.end() && !it->second.empty() ? it->second.front() : def;
}

std::vector<std::string> ArgParser::Values(const std::string& name) const {
  auto it = values_.find(name);
  return it != values_.end() ? it->second : std::vector<std::string>();
}

std::optional<long long> ArgParser::ToInt(const std::string& text) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0') return std::nullopt;
  return value;
}
