#pragma once
#include "cli/Command.h"

// zelctl catalogue: shows and maintains the catalogue of recordings searches use.
class CatalogueCommand : public Command {
 public:
  const char* Name() const override { return "catalogue"; }
  const char* Description() const override { return "Show, refresh or forget the catalogue of recordings"; }
  const char* Usage() const override { return "[--json] status | refresh [FOLDER] | forget FOLDER"; }

 protected:
  std::vector<OptionSpec> Options() const override { return {{"json", 0}}; }
  PositionalSpec Positionals() const override { return {1, 2, "needs status, refresh [FOLDER] or forget FOLDER"}; }
  int Validate(const ArgParser& args) override;
  int Execute(const ArgParser& args) override;
};
