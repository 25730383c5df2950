#include "cli/ScheduleCommand.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "Archive/CArchiveManager.h"
#include "Archive/CJobArchScheduler.h"
#include "cli/ArchiveCommand.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "core/CSettings.h"

ZEL_REGISTER_COMMAND(ScheduleCommand, "schedule");

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

int Show(CJobArchScheduler& scheduler, bool asJson) {
  CJobArchScheduler::Settings s = scheduler.GetSettings();
  if (asJson) {
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

}  // namespace

int ScheduleCommand::Execute(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return zel::cli::UsageError(Name(), "no action given", Usage());
  const std::string action = arguments[0];
  ArgParser parser;
  parser.Flag("json");
  if (action == "run") zel::cli::AddPassphraseOptions(parser);
  if (!parser.Parse(std::vector<std::string>(arguments.begin() + 1, arguments.end()))) {
    return zel::cli::UsageError(Name(), parser.Error(), Usage());
  }
  const auto& args = parser.Positional();
  auto expect = [&](size_t count) { return args.size() == count; };

  zel::cli::StartCore();
  CJobArchScheduler& scheduler = *Singleton<CJobArchScheduler>::Instance();
  scheduler.Load();

  if (action == "show") {
    if (!expect(0)) return zel::cli::UsageError(Name(), "show takes no arguments", Usage());
    return Show(scheduler, parser.Has("json"));
  }
  if (action == "set") {
    if (!expect(2)) return zel::cli::UsageError(Name(), "set needs KEY and VALUE", Usage());
    std::string value = args[1];
    if (args[0] == "ArchivePath" && !value.empty()) {
      std::error_code ec;
      value = std::filesystem::absolute(value, ec).lexically_normal().string();
    }
    std::string error = scheduler.SetValue(args[0], value);
    if (!error.empty()) {
      zel::cli::PrintError(error);
      return zel::cli::kExitUsage;
    }
    return SaveOrComplain(scheduler) ? zel::cli::kExitOk : zel::cli::kExitFailure;
  }
  if (action == "add-folder" || action == "remove-folder") {
    if (!expect(1)) return zel::cli::UsageError(Name(), action + " needs PATH", Usage());
    std::error_code ec;
    std::string folder = std::filesystem::absolute(args[0], ec).lexically_normal().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (action == "add-folder") {
      if (!std::filesystem::is_directory(folder, ec)) {
        zel::cli::PrintError(folder + " is not a folder");
        return zel::cli::kExitFailure;
      }
      if (!scheduler.AddSpaceFolder(folder)) {
        zel::cli::PrintError(folder + " is in the archive space already");
        return zel::cli::kExitFailure;
      }
    } else if (!scheduler.RemoveSpaceFolder(args[0]) && !scheduler.RemoveSpaceFolder(folder)) {
      zel::cli::PrintError(args[0] + " is not in the archive space");
      return zel::cli::kExitFailure;
    }
    return SaveOrComplain(scheduler) ? zel::cli::kExitOk : zel::cli::kExitFailure;
  }
  if (action == "next") {
    if (!expect(0)) return zel::cli::UsageError(Name(), "next takes no arguments", Usage());
    bool enabled = scheduler.GetSettings().Enabled;
    int64_t next = scheduler.NextRunTime();
    if (parser.Has("json")) {
      JsonWriter json;
      json.BeginObject().Field("next", next).Field("local", LocalText(next)).Field("enabled", enabled).EndObject();
      std::printf("%s\n", json.Text().c_str());
    } else {
      std::printf("%s\n", LocalText(next).c_str());
      if (!enabled) std::fprintf(stderr, "Scheduler is not Enabled\n");
    }
    return zel::cli::kExitOk;
  }
  if (action == "run") {
    if (!expect(0)) return zel::cli::UsageError(Name(), "run takes no arguments", Usage());
    if (!scheduler.GetSettings().Enabled) {
      std::fprintf(stderr, "Scheduler is not Enabled\n");
      return zel::cli::kExitFailure;
    }
    auto passphrase = zel::cli::ResolvePassphrase(parser);
    if (!passphrase) return zel::cli::kExitFailure;
    Singleton<CSettings>::Instance()->SetPassphrase(*passphrase);  // in memory only
    auto manager = Singleton<CArchiveManager>::Instance();
    scheduler.RunJob();
    bool cancelled = zel::cli::WaitForArchiveRun(*manager, zel::cli::StderrIsTerminal());
    ArchiveRunStats stats = manager->GetRunStats();
    if (parser.Has("json")) {
      JsonWriter json;
      json.BeginObject()
          .Field("archived", stats.ArchivedCount)
          .Field("selected", stats.SelectedCount)
          .Field("aborted", stats.Aborted != 0)
          .Field("cancelled", cancelled)
          .Field("logIndex", scheduler.LastLogIndex())
          .EndObject();
      std::printf("%s\n", json.Text().c_str());
    } else {
      std::printf("%s\n", zel::cli::ArchiveRunLine(cancelled, stats.ArchivedCount, stats.SelectedCount).c_str());
    }
    return cancelled ? zel::cli::kExitFailure : zel::cli::kExitOk;
  }
  return zel::cli::UsageError(Name(), "unknown action " + action, Usage());
}
