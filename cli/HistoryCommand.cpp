#include "cli/HistoryCommand.h"

#include "cli/CliSupport.h"
#include "core/Singleton.h"
#include "cli/SearchCommand.h"
#include "organiser/CCallHistory.h"
#include "organiser/CZelVelomarDoc.h"

ZEL_REGISTER_COMMAND(HistoryCommand);

int HistoryCommand::Execute(const ArgParser& parser) {
  using namespace zel::cli;
  StartCore();
  auto& history = Singleton<CCallHistory>::Instance();
  history->LoadHistory();
  CZelVelomarDoc document;
  history->FillDocument(document);
  document.SetListKind(CZelVelomarDoc::kPlayHistory, "");
  PrintEntryList(document, parser.Has("json"));
  return kExitOk;
}
