#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Command.h"

namespace {

void PrintHelp() {
  std::printf(
      "Usage: zelctl [--help | --version] COMMAND [ARGUMENTS]\n"
      "\n"
      "Finds, plays, annotates, exports and archives telephone call recordings (.zel)\n"
      "from the command line, over the same core as the Zel Velomar desktop program.\n"
      "\n"
      "Commands:\n");
  auto& registry = CommandRegistry::Instance();
  for (const auto& name : registry.Names()) {
    std::printf("  %-14s %s\n", name.c_str(), registry.Find(name)->Description());
  }
  std::printf("\nRun 'zelctl COMMAND --help' for the arguments of one command.\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h" ||
      arguments[0] == "help") {
    PrintHelp();
    return arguments.empty() ? zel::cli::kExitUsage : zel::cli::kExitOk;
  }
  if (arguments[0] == "--version") {
    std::printf("zelctl %s\n", ZEL_VERSION);
    return zel::cli::kExitOk;
  }
  Command* command = CommandRegistry::Instance().Find(arguments[0]);
  if (!command) {
    std::fprintf(stderr, "zelctl: unknown command '%s'; see 'zelctl --help'\n", zel::cli::Visible(arguments[0]).c_str());
    return zel::cli::kExitUsage;
  }
  std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  for (const auto& arg : rest) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      std::printf("usage: zelctl %s %s\n\n%s\n", command->Name(), command->Usage(),
                  command->Description());
      return zel::cli::kExitOk;
    }
  }
  return command->Run(rest);
}
