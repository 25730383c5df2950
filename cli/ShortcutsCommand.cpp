#include "cli/ShortcutsCommand.h"

#include "cli/HotlistsCommand.h"
#include "core/Singleton.h"
#include "organiser/CShortCuts.h"

ZEL_REGISTER_COMMAND(ShortcutsCommand, "shortcuts");

int ShortcutsCommand::Execute(const std::vector<std::string>& arguments) {
  return zel::cli::PrintCollection(Name(), arguments, *Singleton<CShortCuts>::Instance());
}
