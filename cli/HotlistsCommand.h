#pragma once
#include "cli/Command.h"

class CCollectionStore;

// zelctl hotlists: the Calls for Review tree.
class HotlistsCommand : public Command {
 public:
  const char* Name() const override { return "hotlists"; }
  const char* Description() const override { return "Print the Calls for Review tree"; }
  const char* Usage() const override { return "[--json]"; }

 protected:
  std::vector<OptionSpec> Options() const override { return {{"json", 0}}; }
  int Execute(const ArgParser& args) override;
};

namespace zel::cli {
// Prints a collection as an indented tree (entries the tree cannot show are listed
// after it) or as one JSON object per entry. Returns the exit status.
int PrintCollection(bool json, CCollectionStore& store);
}  // namespace zel::cli
