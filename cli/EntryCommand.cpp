#include "cli/EntryCommand.h"

#include <cstdio>

#include "cli/CliSupport.h"
#include "cli/EntryJson.h"
#include "cli/JsonWriter.h"
#include "recording/CKlFileListEntry.h"

ZEL_REGISTER_COMMAND(EntryCommand);

int EntryCommand::ExecuteWith(const ArgParser& parser, const std::string& passphrase) {
  int status = zel::cli::kExitOk;
  for (const std::string& path : parser.Positional()) {
    CKlFileListEntry entry;
    entry.SetPath(path);
    entry.LoadDetails(passphrase);
    if (entry.LoadFailed()) {
      status = zel::cli::kExitFailure;
      zel::cli::PrintError(path + ": " + std::string(entry.CommentText()));
    }
    JsonWriter json;
    zel::cli::EntryToJson(entry, json);
    std::printf("%s\n", json.Text().c_str());
  }
  return status;
}
