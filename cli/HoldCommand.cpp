#include "cli/HoldCommand.h"

#include <sys/stat.h>

#include <cstdio>

#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "recording/CLegalHolds.h"

ZEL_REGISTER_COMMAND(HoldCommand);

int HoldCommand::Validate(const ArgParser& args) {
  const auto& words = args.Positional();
  const std::string& action = words[0];
  if (action == "list") {
    if (words.size() != 1 || args.Has("caller") || args.Has("reason")) return UsageError("list takes only --json");
    return zel::cli::kExitOk;
  }
  if (action != "add" && action != "remove") return UsageError("unknown action " + action);
  if ((words.size() == 2) == args.Has("caller")) return UsageError(action + " needs PATH or --caller ID");
  if (action == "add" && args.Value("reason").empty()) return UsageError("add needs --reason TEXT");
  return zel::cli::kExitOk;
}

int HoldCommand::Execute(const ArgParser& args) {
  zel::cli::StartCore();
  CLegalHolds& holds = *Singleton<CLegalHolds>::Instance();
  const auto& words = args.Positional();
  if (words[0] == "list") {
    for (const auto& hold : holds.Holds()) {
      if (args.Has("json")) {
        JsonWriter json;
        json.BeginObject()
            .Field("kind", CLegalHolds::KindName(hold.kind))
            .PathField("target", hold.target)
            .Field("reason", hold.reason)
            .Field("who", hold.who)
            .Key("when")
            .Int(hold.when)
            .EndObject();
        std::printf("%s\n", json.Text().c_str());
      } else {
        std::printf("%-6s %s  %s\n", CLegalHolds::KindName(hold.kind), zel::cli::Visible(hold.target).c_str(),
                    zel::cli::Visible(CLegalHolds::Describe(hold)).c_str());
      }
    }
    return zel::cli::kExitOk;
  }
  const bool caller = args.Has("caller");
  const CLegalHolds::Kind kind = caller ? CLegalHolds::Kind::kCaller : CLegalHolds::Kind::kCall;
  const std::string target = caller ? args.Value("caller") : words[1];
  std::string error;
  CLegalHolds::Hold hold;
  if (words[0] == "add") {
    struct stat info {};
    if (!caller && (::stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode))) {
      zel::cli::PrintError(target + " is not a recording file");
      return zel::cli::kExitFailure;
    }
    hold.kind = kind;
    hold.target = target;
    hold.reason = args.Value("reason");
    if (!holds.Place(hold, error)) {
      zel::cli::PrintError(error);
      return zel::cli::kExitFailure;
    }
    return zel::cli::kExitOk;
  }
  if (!holds.Release(kind, target, args.Value("reason"), error)) {
    zel::cli::PrintError(error);
    return zel::cli::kExitFailure;
  }
  return zel::cli::kExitOk;
}
