#include "cli/ScheduleCommand.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <unistd.h>

#include "Archive/ArchiveRunSummary.h"
#include "Archive/CArchiveManager.h"
#include "Archive/CArchiveRunLock.h"
#include "Archive/CJobArchScheduler.h"
#include "cli/RetentionCommand.h"
#include "Archive/CSystemdTimer.h"
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
  for (const auto& folder : s.SpaceFolders) std::printf("SpaceFolders: %s\n", zel::cli::Visible(folder).c_str());
  std::printf("Enabled: %s\n", s.Enabled ? "TRUE" : "FALSE");
  std::printf("SelectionType: %d\n", zel::ToInt(s.SelectionType));
  std::printf("ScheduleType: %d\n", s.ScheduleType);
  std::printf("ArchiveType: %d\n", zel::ToInt(s.ArchiveType));
  std::printf("ArchivePath: %s\n", zel::cli::Visible(s.ArchivePath).c_str());
  std::printf("ArchiveName: %s\n", zel::cli::Visible(s.ArchiveName).c_str());
  std::printf("MediaProcessing: %d\n", zel::ToInt(s.MediaProcessing));
  std::printf("ArchStructureType: %d\n", zel::ToInt(s.ArchStructureType));
  std::printf("ThresholdSize: %d\n", s.ThresholdSize);
  std::printf("CancelJob: %s\n", s.CancelJob ? "TRUE" : "FALSE");
  std::printf("LastJobTime: %lld (%s)\n", static_cast<long long>(s.LastJobTime), LocalText(s.LastJobTime).c_str());
  std::printf("ScheduledTime: %lld (%s)\n", static_cast<long long>(s.ScheduledTime),
              LocalText(s.ScheduledTime).c_str());
  std::printf("DaysInterval: %d\n", s.DaysInterval);
  std::printf("UserName: %s\n", zel::cli::Visible(s.UserName).c_str());
  std::printf("Comment: %s\n", zel::cli::Visible(s.Comment).c_str());
  return zel::cli::kExitOk;
}

bool SaveOrComplain(CJobArchScheduler& scheduler) {
  if (scheduler.Save()) return true;
  zel::cli::PrintError("cannot write " + scheduler.SchedulePath());
  return false;
}

// The number of words after the action that each action takes.
int ActionArguments(const std::string& action) {
  if (action == "show" || action == "next" || action == "run" || action == "install-timer" ||
      action == "remove-timer") {
    return 0;
  }
  if (action == "set") return 2;
  if (action == "add-folder" || action == "remove-folder") return 1;
  return -1;
}

// Units were written (or removed) but systemctl could not enable (or disable)
// them: no user bus, no systemd.
constexpr int kExitNotEnabled = 3;

std::string ShellWord(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool HaveSessionBus() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && address[0] != '\0') return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code ec;
  return runtime != nullptr && runtime[0] == '/' && std::filesystem::exists(std::string(runtime) + "/bus", ec);
}

// Tells the desktop how a run that nobody watched has ended, through
// org.freedesktop.Notifications (gdbus, else notify-send). Never fails the run:
// without a bus or the tools the user reads the log instead.
void NotifyDesktop(const std::string& text, bool failed) {
  std::string title = "Zel Velomar";
  std::string command =
      "command -v gdbus >/dev/null 2>&1 && gdbus call --session --timeout 5 "
      "--dest org.freedesktop.Notifications --object-path /org/freedesktop/Notifications "
      "--method org.freedesktop.Notifications.Notify " +
      ShellWord(title) + " 0 " + ShellWord("zel-velomar") + " " + ShellWord(title) + " " + ShellWord(text) +
      " '[]' " + ShellWord(std::string("{'urgency': <byte ") + (failed ? "2" : "1") + ">}") + " -1" +
      " || { command -v notify-send >/dev/null 2>&1 && notify-send -a " + ShellWord(title) + " -i zel-velomar " +
      (failed ? "-u critical " : "") + ShellWord(title) + " " + ShellWord(text) + "; }";
  command = "{ " + command + "; } >/dev/null 2>&1 </dev/null";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "zelctl schedule: no desktop notification was shown\n");
}

// The absolute path of this program, for the service to run.
std::string ThisProgram() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

}  // namespace

std::vector<OptionSpec> ScheduleCommand::Options() const {
  std::vector<OptionSpec> options = zel::cli::PassphraseOptions();
  options.push_back({"json", 0});
  options.push_back({"if-due", 0});
  options.push_back({"notify", 0});
  options.push_back({"no-notify", 0});
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
  if (action != "run" && (args.Has("if-due") || args.Has("notify") || args.Has("no-notify"))) {
    return UsageError("--if-due, --notify and --no-notify go with run");
  }
  if (args.Has("notify") && args.Has("no-notify")) return UsageError("--notify and --no-notify exclude each other");
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
  if (action == "install-timer") return InstallTimer(scheduler);
  if (action == "remove-timer") return RemoveTimer();
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
  if (!SaveOrComplain(scheduler)) return zel::cli::kExitFailure;
  // An installed timer follows a new time of day.
  if (key == "ScheduledTime" && CSystemdTimer::Installed()) {
    std::string message;
    CSystemdTimer::Outcome outcome =
        CSystemdTimer::Install(ThisProgram(), scheduler.GetSettings().ScheduledTime, message);
    if (outcome != CSystemdTimer::Outcome::kDone) {
      zel::cli::PrintError(message);
      return outcome == CSystemdTimer::Outcome::kFailed ? zel::cli::kExitFailure : kExitNotEnabled;
    }
  }
  return zel::cli::kExitOk;
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
    // For the timer a switched-off schedule is one that is never due, not a failure.
    return args.Has("if-due") ? zel::cli::kExitOk : zel::cli::kExitFailure;
  }
  auto passphrase = zel::cli::ResolvePassphrase(args);
  if (!passphrase) return zel::cli::kExitFailure;
  Singleton<CSettings>::Instance()->SetPassphrase(*passphrase);  // in memory only
  if (args.Has("if-due")) {
    // The window may be running this very slot: once its run has ended, its
    // saved schedule tells that the job is no longer due.
    CArchiveRunLock running;
    if (running.Acquire()) running.Release();
    if (running.Waited()) scheduler.Load();
  }
  // The timer fires daily; the schedule says whether today is a day of the job.
  if (args.Has("if-due") && !scheduler.IsDue()) {
    if (args.Has("json")) {
      std::printf("{\"due\":false,\"next\":%lld}\n", static_cast<long long>(scheduler.NextRunTime()));
    } else {
      std::fprintf(stderr, "The scheduled archive job is not due until %s\n",
                   LocalText(scheduler.GetSettings().ScheduledTime).c_str());
    }
    return zel::cli::kExitOk;
  }
  auto manager = Singleton<CArchiveManager>::Instance();
  scheduler.RunJob();
  bool cancelled = zel::cli::WaitForArchiveRun(*manager, zel::cli::StderrIsTerminal());
  ArchiveRunStats stats = manager->GetRunStats();
  zel::cli::PrintArchiveRun(stats, cancelled, args.Has("json"), [&](JsonWriter& json) {
    json.Field("cancelled", cancelled).Field("logIndex", scheduler.LastLogIndex()).Field("busy",
                                                                                      manager->RunRefusedBusy());
  });
  // As for a run by hand: an aborted run, or one that archived none of the recordings
  // it selected, has failed.
  ArchiveRunSummary summary(stats, cancelled);
  // The retention rule runs with the scheduled job, after it.
  bool retentionFailed = false;
  CRetention& retention = *Singleton<CRetention>::Instance();
  retention.Load();
  if (!cancelled && retention.GetSettings().Enabled) {
    CRetention::Result removed = retention.Run(static_cast<int64_t>(std::time(nullptr)));
    retentionFailed = zel::cli::PrintRetention(removed, true, args.Has("json")) != zel::cli::kExitOk;
  }
  // Nobody watches a run of the timer: the desktop tells its end.
  bool notify = args.Has("notify") ||
                (!args.Has("no-notify") && ::isatty(STDOUT_FILENO) == 0 && HaveSessionBus());
  if (notify) NotifyDesktop(summary.Text(), summary.Failed());
  return summary.Failed() || retentionFailed ? zel::cli::kExitFailure : zel::cli::kExitOk;
}

int ScheduleCommand::InstallTimer(CJobArchScheduler& scheduler) {
  CJobArchScheduler::Settings settings = scheduler.GetSettings();
  if (!settings.Enabled) {
    std::fprintf(stderr, "zelctl schedule: the schedule is not Enabled; the timer runs nothing until it is\n");
  }
  std::string program = ThisProgram();
  if (program.empty()) {
    zel::cli::PrintError("cannot find the path of zelctl itself");
    return zel::cli::kExitFailure;
  }
  int64_t when = settings.ScheduledTime != 0 ? settings.ScheduledTime : scheduler.NextRunTime();
  std::string message;
  CSystemdTimer::Outcome outcome = CSystemdTimer::Install(program, when, message);
  if (outcome == CSystemdTimer::Outcome::kFailed) {
    zel::cli::PrintError(message);
    return zel::cli::kExitFailure;
  }
  std::string folder = zel::cli::Visible(CSystemdTimer::UserUnitFolder());
  std::printf("%s/%s\n%s/%s\n", folder.c_str(), CSystemdTimer::kTimerName, folder.c_str(), CSystemdTimer::kServiceName);
  if (outcome == CSystemdTimer::Outcome::kNotEnabled) {
    zel::cli::PrintError(message);
    return kExitNotEnabled;
  }
  std::fprintf(stderr, "The scheduled archive job runs daily at %s when due, also while Zel Velomar is closed\n",
               CSystemdTimer("", CSystemdTimer::TimeOfDayOf(when)).OnCalendar().substr(6).c_str());
  return zel::cli::kExitOk;
}

int ScheduleCommand::RemoveTimer() {
  if (!CSystemdTimer::Installed()) {
    std::fprintf(stderr, "zelctl schedule: no timer is installed in %s\n",
                 zel::cli::Visible(CSystemdTimer::UserUnitFolder()).c_str());
  }
  std::string message;
  CSystemdTimer::Outcome outcome = CSystemdTimer::Uninstall(message);
  if (outcome == CSystemdTimer::Outcome::kDone) return zel::cli::kExitOk;
  zel::cli::PrintError(message);
  return outcome == CSystemdTimer::Outcome::kFailed ? zel::cli::kExitFailure : kExitNotEnabled;
}
