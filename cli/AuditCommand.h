#pragma once
#include "cli/Command.h"

// zelctl audit: shows the audit trail, filtered, and verifies its hash chain.
class AuditCommand : public Command {
 public:
  const char* Name() const override { return "audit"; }
  const char* Description() const override { return "Show the audit trail of the calls, or verify it"; }
  const char* Usage() const override {
    return "show [--path P] [--caller ID] [--since DATE] [--json] | verify [--json]";
  }

 protected:
  std::vector<OptionSpec> Options() const override {
    return {{"path"}, {"caller"}, {"since"}, {"json", 0}};
  }
  PositionalSpec Positionals() const override { return {1, 1, "give show or verify"}; }
  int Validate(const ArgParser& args) override;
  int Execute(const ArgParser& args) override;
};
