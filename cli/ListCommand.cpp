#include "cli/ListCommand.h"

#include "cli/CliSupport.h"
#include "cli/SearchCommand.h"
#include "organiser/CZelVelomarDoc.h"

ZEL_REGISTER_COMMAND(ListCommand, "list");

int ListCommand::Execute(const std::vector<std::string>& arguments) {
  using namespace zel::cli;
  ArgParser parser;
  parser.Flag("json");
  AddPassphraseOptions(parser);
  if (!parser.Parse(arguments)) return UsageError(Name(), parser.Error(), Usage());
  if (parser.Positional().size() != 1) return UsageError(Name(), "exactly one FILE.reclist expected", Usage());
  StartCore();
  LoadArchiveHistory();
  auto passphrase = ResolvePassphrase(parser);
  if (!passphrase) return kExitFailure;
  CZelVelomarDoc document;
  const std::string& path = parser.Positional()[0];
  // A parse failure reaches stderr through the message sink.
  if (!document.LoadList(path, *passphrase)) return kExitFailure;
  document.SetPathName(path);
  document.SetModified(false);
  PrintEntryList(document, parser.Has("json"));
  return kExitOk;
}
