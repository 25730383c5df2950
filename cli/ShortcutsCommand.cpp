#include "cli/ShortcutsCommand.h"

#include "cli/HotlistsCommand.h"
#include "core/Singleton.h"
#include "organiser/CShortCuts.h"

ZEL_REGISTER_COMMAND(ShortcutsCommand);

int ShortcutsCommand::Execute(const ArgParser& args) {
  return zel::cli::PrintCollection(args.Has("json"), *Singleton<CShortCuts>::Instance());
}
