#include "cli/RetentionCommand.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "core/CSettings.h"
#include "core/Singleton.h"

ZEL_REGISTER_COMMAND(RetentionCommand);

namespace zel::cli {

int PrintRetention(const CRetention::Result& result, bool run, bool json) {
  for (const auto& item : result.Items) {
    const char* state = !item.KeptBecause.empty() ? "keep"
                        : !item.Problem.empty()   ? "failed"
                        : run                     ? (item.Removed ? "removed" : "keep")
                                                  : "remove";
    if (json) {
      JsonWriter writer;
      writer.BeginObject().Field("state", state).PathField("path", item.Path).Field("why", item.Why);
      if (!item.KeptBecause.empty()) writer.Field("kept", item.KeptBecause);
      if (!item.Problem.empty()) writer.Field("problem", item.Problem);
      std::printf("%s\n", writer.EndObject().Text().c_str());
    } else {
      std::string because = !item.KeptBecause.empty() ? " (kept: " + item.KeptBecause + ")"
                            : !item.Problem.empty()   ? " (" + item.Problem + ")"
                                                      : "";
      std::printf("%-8s %s  [%s]%s\n", state, Visible(item.Path).c_str(), item.Why.c_str(), Visible(because).c_str());
    }
  }
  if (!result.Problem.empty()) PrintError(result.Problem);
  if (run && !json) std::fprintf(stderr, "%d calls removed, %d failed\n", result.Removed, result.Failed);
  return run && (result.Failed > 0 || !result.Problem.empty()) ? kExitFailure : kExitOk;
}

}  // namespace zel::cli

std::vector<OptionSpec> RetentionCommand::Options() const {
  std::vector<OptionSpec> options = zel::cli::PassphraseOptions();
  options.push_back({"json", 0});
  return options;
}

int RetentionCommand::Validate(const ArgParser& args) {
  const std::string& action = args.Positional()[0];
  size_t words = action == "set" ? 3 : (action == "add-folder" || action == "remove-folder") ? 2 : 1;
  if (action != "show" && action != "set" && action != "add-folder" && action != "remove-folder" &&
      action != "preview" && action != "run") {
    return UsageError("unknown action " + action);
  }
  if (args.Positional().size() != words) {
    return UsageError(action == "set" ? "set needs KEY and VALUE" : words == 2 ? action + " needs PATH"
                                                                              : action + " takes no arguments");
  }
  if (action != "run" && action != "preview" && (args.Has("passphrase") || args.Has("passphrase-file"))) {
    return UsageError("the passphrase options go with preview and run");
  }
  return zel::cli::kExitOk;
}

int RetentionCommand::Execute(const ArgParser& args) {
  zel::cli::StartCore();
  CRetention& retention = *Singleton<CRetention>::Instance();
  retention.Load();
  const auto& words = args.Positional();
  const std::string& action = words[0];
  auto save = [&] {
    if (retention.Save()) return zel::cli::kExitOk;
    zel::cli::PrintError("cannot write " + retention.Path());
    return zel::cli::kExitFailure;
  };
  if (action == "show") {
    CRetention::Settings s = retention.GetSettings();
    if (args.Has("json")) {
      JsonWriter json;
      json.BeginObject()
          .Field("Enabled", s.Enabled)
          .Field("OlderThanDays", s.OlderThanDays)
          .Field("ShorterThanSeconds", s.ShorterThanSeconds)
          .Field("Action", CRetention::ActionName(s.How))
          .Key("Folders")
          .BeginArray();
      for (const auto& folder : s.Folders) json.String(folder);
      std::printf("%s\n", json.EndArray().EndObject().Text().c_str());
    } else {
      std::printf("Enabled: %s\nOlderThanDays: %d\nShorterThanSeconds: %d\nAction: %s\n",
                  s.Enabled ? "TRUE" : "FALSE", s.OlderThanDays, s.ShorterThanSeconds,
                  CRetention::ActionName(s.How));
      for (const auto& folder : s.Folders) std::printf("Folder: %s\n", zel::cli::Visible(folder).c_str());
    }
    return zel::cli::kExitOk;
  }
  if (action == "set") {
    std::string error = retention.SetValue(words[1], words[2]);
    if (!error.empty()) {
      zel::cli::PrintError(error);
      return zel::cli::kExitUsage;
    }
    return save();
  }
  if (action == "add-folder") {
    std::error_code ec;
    if (!std::filesystem::is_directory(words[1], ec)) {
      zel::cli::PrintError(words[1] + " is not a folder");
      return zel::cli::kExitFailure;
    }
    if (!retention.AddFolder(words[1])) {
      zel::cli::PrintError(words[1] + " is a source folder already");
      return zel::cli::kExitFailure;
    }
    return save();
  }
  if (action == "remove-folder") {
    if (!retention.RemoveFolder(words[1])) {
      zel::cli::PrintError(words[1] + " is not a source folder");
      return zel::cli::kExitFailure;
    }
    return save();
  }
  auto passphrase = zel::cli::ResolvePassphrase(args);
  if (!passphrase) return zel::cli::kExitFailure;
  Singleton<CSettings>::Instance()->SetPassphrase(*passphrase);  // in memory only
  int64_t now = static_cast<int64_t>(std::time(nullptr));
  if (action == "preview") return zel::cli::PrintRetention(retention.Preview(now), false, args.Has("json"));
  // A run on demand runs whether or not the rule is enabled for the schedule.
  zel::cli::LoadArchiveHistory();
  return zel::cli::PrintRetention(retention.Run(now), true, args.Has("json"));
}
