#include "cli/ScheduleCommand.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "Archive/ArchiveRunSummary.h"
#include "Archive/CArchiveManager.h"
#include "Archive/CJobArchScheduler.h"
#include "cli/ArchiveCommand.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "core/CSettings.h"

ZEL_REGISTER_COMMAND(ScheduleCommand);

namespace {

std::string LocalText(int64_t time) {
  if (time == 0) return "-";
  time_t t = static_cast<time_t>(time);
  struct tm local {};
  localtime_r(&t, &local);
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

void ShowJson(const CJobArchScheduler::Settings& s) {
    JsonWriter json;
    json.BeginObject().Key("SpaceFolders").BeginArray();
    for (const auto& folder : s.SpaceFolders) json.String(folder);
    json.EndArray()
        .Field("Enabled", s.Enabled)
        .Field("SelectionType", zel::ToInt(s.SelectionType))
        .Field("ScheduleType", s.ScheduleType)
        .Field("ArchiveType", zel::ToInt(s.ArchiveType))
        .Field("ArchivePath", s.ArchivePath)
        .Field("ArchiveName", s.ArchiveName)
        .Field("MediaProcessing", zel::ToInt(s.MediaProcessing))
        .Field("ArchStructureType", zel::ToInt(s.ArchStructureType))
        .Field("ThresholdSize", s.ThresholdSize)
        .Field("CancelJob", s.CancelJob)
        .Field("LastJobTime", s.LastJobTime)
        .Field("ScheduledTime", s.ScheduledTime)
        .Field("DaysInterval", s.DaysInterval)
        .Field("UserName", s.UserName)
        .Field("Comment", s.Comment)
        .EndObject();
    std::printf("%s\n", json.Text().c_str());
}

int Show(CJobArchScheduler& scheduler, bool asJson) {
  CJobArchScheduler::Settings s = scheduler.GetSettings();
  if (asJson) {
    ShowJson(s);
    return zel::cli::kExitOk;
  }
  for (const auto& folder : s.SpaceFolders) std::printf("SpaceFolders: %s\n", folder.c_str());
  std::printf("Enabled: %s\n", s.Enabled ? "TRUE" : "FALSE");
  std::printf("SelectionType: %d\n", zel::ToInt(s.SelectionType));
  std::printf("ScheduleType: %d\n", s.ScheduleType);
  std::printf("ArchiveType: %d\n", zel::ToInt(s.ArchiveType));
  std::printf("ArchivePath: %s\n", s.ArchivePath.c_str());
  std::printf("ArchiveName: %s\n", s.ArchiveName.c_str());
  std::printf("MediaProcessing: %d\n", zel::ToInt(s.MediaProcessing));
  std::printf("ArchStructureType: %d\n", zel::ToInt(s.ArchStructureType));
  std::printf("ThresholdSize: %d\n", s.ThresholdSize);
  std::printf("CancelJob: %s\n", s.CancelJob ? "TRUE" : "FALSE");
  std::printf("LastJobTime: %lld (%s)\n", static_cast<long long>(s.LastJobTime), LocalText(s.LastJobTime).c_str());
  std::printf("ScheduledTime: %lld (%s)\n", static_cast<long long>(s.ScheduledTime),
              LocalText(s.ScheduledTime).c_str());
  std::printf("DaysInterval: %d\n", s.DaysInterval);
  std::printf("UserName: %s\n", s.UserName.c_str());
  std::printf("Comment: %s\n", s.Comment.c_str());
  return zel::cli::kExitOk;
}

bool SaveOrComplain(CJobArchScheduler& scheduler) {
  if (scheduler.Save()) return true;
  zel::cli::PrintError("cannot write " + scheduler.SchedulePath());
  return false;
}

// The number of words after the action that each action takes.
int ActionArguments(const std::string& action) {
  if (action == "show" || action == "next" || action == "run") return 0;
  if (action == "set") return 2;
  if (action == "add-folder" || action == "remove-folder") return 1;
  return -1;
}

}  // namespace

std::vector<OptionSpec> ScheduleCommand::Options() const {
  std::vector<OptionSpec> options = zel::cli::PassphraseOptions();
  options.push_back({"json", 0});
  return options;
}

int ScheduleCommand::Validate(const ArgParser& args) {
  const std::string& action = args.Positional()[0];
  int words = ActionArguments(action);
  if (words < 0) return UsageError("unknown action " + action);
  if (args.Positional().size() != static_cast<size_t>(words) + 1) {
    if (action == "set") return UsageError("set needs KEY and VALUE");
    if (words == 1) return UsageError(action + " needs PATH");
    return UsageError(action + " takes no arguments");
  }
  if (action != "run" && (args.Has("passphrase") || args.Has("passphrase-file"))) {
    return UsageError("the passphrase options go with run");
  }
  return zel::cli::kExitOk;
}

int ScheduleCommand::Execute(const ArgParser& args) {
  zel::cli::StartCore();
  CJobArchScheduler& scheduler = *Singleton<CJobArchScheduler>::Instance();
  scheduler.Load();
  const std::vector<std::string>& words = args.Positional();
  const std::string& action = words[0];
  if (action == "show") return Show(scheduler, args.Has("json"));
  if (action == "set") return Set(scheduler, words[1], words[2]);
  if (action == "next") return Next(scheduler, args.Has("json"));
  if (action == "run") return RunNow(scheduler, args);
  return ChangeFolders(scheduler, action, words[1]);
}

int ScheduleCommand::Set(CJobArchScheduler& scheduler, const std::string& key, const std::string& value) {
  std::string text = value;
  if (key == "ArchivePath" && !text.empty()) text = CArchiveJobBuilder::AbsolutePath(text);
  std::string error = scheduler.SetValue(key, text);
  if (!error.empty()) {
    zel::cli::PrintError(error);
    return zel::cli::kExitUsage;
  }
  return SaveOrComplain(scheduler) ? zel::cli::kExitOk : zel::cli::kExitFailure;
}

int ScheduleCommand::ChangeFolders(CJobArchScheduler& scheduler, const std::string& action,
                                   const std::string& path) {
  std::string folder = CArchiveJobBuilder::AbsolutePath(path);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (action == "add-folder") {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
      zel::cli::PrintError(folder + " is not a folder");
      return zel::cli::kExitFailure;
    }
    if (!scheduler.AddSpaceFolder(folder)) {
      zel::cli::PrintError(folder + " is in the archive space already");
      return zel::cli::kExitFailure;
    }
  } else if (!scheduler.RemoveSpaceFolder(path) && !scheduler.RemoveSpaceFolder(folder)) {
    zel::cli::PrintError(path + " is not in the archive space");
    return zel::cli::kExitFailure;
  }
  return SaveOrComplain(scheduler) ? zel::cli::kExitOk : zel::cli::kExitFailure;
}

int ScheduleCommand::Next(CJobArchScheduler& scheduler, bool json) {
  bool enabled = scheduler.GetSettings().Enabled;
  int64_t next = scheduler.NextRunTime();
  if (json) {
    JsonWriter writer;
    writer.BeginObject().Field("next", next).Field("local", LocalText(next)).Field("enabled", enabled).EndObject();
    std::printf("%s\n", writer.Text().c_str());
  } else {
    std::printf("%s\n", LocalText(next).c_str());
    if (!enabled) std::fprintf(stderr, "Scheduler is not Enabled\n");
  }
  return zel::cli::kExitOk;
}

int ScheduleCommand::RunNow(CJobArchScheduler& scheduler, const ArgParser& args) {
  if (!scheduler.GetSettings().Enabled) {
    std::fprintf(stderr, "Scheduler is not Enabled\n");
    return zel::cli::kExitFailure;
  }
  auto passphrase = zel::cli::ResolvePassphrase(args);
  if (!passphrase) return zel::cli::kExitFailure;
  Singleton<CSettings>::Instance()->SetPassphrase(*passphrase);  // in memory only
  auto manager = Singleton<CArchiveManager>::Instance();
  scheduler.RunJob();
  bool cancelled = zel::cli::WaitForArchiveRun(*manager, zel::cli::StderrIsTerminal());
  ArchiveRunStats stats = manager->GetRunStats();
  zel::cli::PrintArchiveRun(stats, cancelled, args.Has("json"), [&](JsonWriter& json) {
    json.Field("cancelled", cancelled).Field("logIndex", scheduler.LastLogIndex());
  });
  // As for a run by hand: an aborted run, or one that archived none of the recordings
  // it selected, has failed.
  return ArchiveRunSummary(stats, cancelled).Failed() ? zel::cli::kExitFailure : zel::cli::kExitOk;
}
