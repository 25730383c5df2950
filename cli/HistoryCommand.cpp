#include "cli/HistoryCommand.h"

#include "cli/CliSupport.h"
#include "core/Singleton.h"
#include "cli/SearchCommand.h"
#include "organiser/CCallHistory.h"
#include "organiser/CZelVelomarDoc.h"

ZEL_REGISTER_COMMAND(HistoryCommand, "history");

int HistoryCommand::Execute(const std::vector<std::string>& arguments) {
  using namespace zel::cli;
  ArgParser parser;
  parser.Flag("json");
  if (!parser.Parse(arguments)) return UsageError(Name(), parser.Error(), Usage());
  if (!parser.Positional().empty()) return UsageError(Name(), "takes no arguments", Usage());
  StartCore();
  auto& history = Singleton<CCallHistory>::Instance();
  history->LoadHistory();
  CZelVelomarDoc document;
  history->FillDocument(document);
  document.SetListKind(CZelVelomarDoc::kPlayHistory, "");
  PrintEntryList(document, parser.Has("json"));
  return kExitOk;
}
