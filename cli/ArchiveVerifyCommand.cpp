#include "cli/ArchiveVerifyCommand.h"

#include <cstdio>

#include "Archive/ArchiveVerifier.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"

ZEL_REGISTER_COMMAND(ArchiveVerifyCommand);

int ArchiveVerifyCommand::Execute(const ArgParser& args) {
  const std::string& path = args.Positional()[0];
  zel::ArchiveCheck check;
  if (!zel::VerifyArchive(path, check)) {
    zel::cli::PrintError(path + ": " + check.error);
    return zel::cli::kExitFailure;
  }
  if (args.Has("json")) {
    JsonWriter json;
    json.BeginObject().PathField("archive", path).Field("kind", check.kind);
    json.Field("listed", static_cast<int64_t>(check.listed));
    json.Key("missing").BeginArray();
    for (const std::string& name : check.missing) json.String(name);
    json.EndArray().Key("changed").BeginArray();
    for (const std::string& name : check.changed) json.String(name);
    json.EndArray().Key("unlisted").BeginArray();
    for (const std::string& name : check.unlisted) json.String(name);
    json.EndArray().Key("refused").BeginArray();
    for (const std::string& name : check.refused) json.String(name);
    json.EndArray().Field("intact", check.Intact()).EndObject();
    std::printf("%s\n", json.Text().c_str());
  } else {
    for (const std::string& name : check.missing) std::printf("missing: %s\n", zel::cli::Visible(name).c_str());
    for (const std::string& name : check.changed) std::printf("changed: %s\n", zel::cli::Visible(name).c_str());
    for (const std::string& name : check.unlisted) std::printf("unlisted: %s\n", zel::cli::Visible(name).c_str());
    for (const std::string& name : check.refused) std::printf("refused: %s\n", zel::cli::Visible(name).c_str());
    std::printf("%s: %zu listed, %zu missing, %zu changed", check.kind.c_str(), check.listed, check.missing.size(),
                check.changed.size());
    // The usual line stays as it was for an archive without surprises.
    if (!check.unlisted.empty() || !check.refused.empty()) {
      std::printf(", %zu unlisted, %zu refused", check.unlisted.size(), check.refused.size());
    }
    std::printf("\n");
  }
  return check.Intact() ? zel::cli::kExitOk : zel::cli::kExitFailure;
}
