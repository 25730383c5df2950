#include "cli/Command.h"

CommandRegistry& CommandRegistry::Instance() {
  static CommandRegistry registry;
  return registry;
}

void CommandRegistry::Add(const char* name, Factory factory) { factories_[name] = factory; }

Command* CommandRegistry::Create(const std::string& name) const {
  auto it = factories_.find(name);
  return it != factories_.end() ? it->second() : nullptr;
}

std::vector<std::string> CommandRegistry::Names() const {
  std::vector<std::string> names;
  for (const auto& [name, factory] : factories_) names.push_back(name);
  return names;
}
