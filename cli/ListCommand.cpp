#include "cli/ListCommand.h"

#include "cli/CliSupport.h"
#include "cli/SearchCommand.h"
#include "organiser/CZelVelomarDoc.h"

ZEL_REGISTER_COMMAND(ListCommand);

int ListCommand::ExecuteWith(const ArgParser& parser, const std::string& passphrase) {
  using namespace zel::cli;
  LoadArchiveHistory();
  CZelVelomarDoc document;
  const std::string& path = parser.Positional()[0];
  // A parse failure reaches stderr through the message sink.
  if (!document.LoadList(path, passphrase)) return kExitFailure;
  document.SetPathName(path);
  document.SetModified(false);
  PrintEntryList(document, parser.Has("json"));
  return kExitOk;
}
