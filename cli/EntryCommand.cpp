#include "cli/EntryCommand.h"

#include <cstdio>

#include "cli/CliSupport.h"
#include "cli/EntryJson.h"
#include "cli/JsonWriter.h"
#include "recording/CKlFileListEntry.h"

ZEL_REGISTER_COMMAND(EntryCommand, "entry");

int EntryCommand::Execute(const std::vector<std::string>& arguments) {
  ArgParser parser;
  zel::cli::AddPassphraseOptions(parser);
  if (!parser.Parse(arguments)) return zel::cli::UsageError(Name(), parser.Error(), Usage());
  if (parser.Positional().empty()) return zel::cli::UsageError(Name(), "no recording file given", Usage());
  zel::cli::StartCore();
  std::optional<std::string> passphrase = zel::cli::ResolvePassphrase(parser);
  if (!passphrase) return zel::cli::kExitUsage;

  int status = zel::cli::kExitOk;
  for (const std::string& path : parser.Positional()) {
    CKlFileListEntry entry;
    entry.SetPath(path);
    entry.LoadDetails(*passphrase);
    if (entry.LoadFailed()) {
      status = zel::cli::kExitFailure;
      zel::cli::PrintError(path + ": " + entry.CommentText());
    }
    JsonWriter json;
    zel::cli::EntryToJson(entry, json);
    std::printf("%s\n", json.Text().c_str());
  }
  return status;
}
