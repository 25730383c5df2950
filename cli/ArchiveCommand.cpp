#include "cli/ArchiveCommand.h"

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "core/CSettings.h"

ZEL_REGISTER_COMMAND(ArchiveCommand, "archive");

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

// Finishes the run as the scheduled job does: log it and process the sources.
class FinishingSink : public IProgressBarSink {
 public:
  void OnProgress(int) override {}
  void OnStarted() override {}
  void OnFinished(CJobArchListEntry* job) override {
    LogIndex = Singleton<CArchiveManager>::Instance()->RecordFinishedRun(job);
  }
  int LogIndex = -1;
};

int Lookup(const std::string& text, std::initializer_list<const char*> names) {
  int i = 0;
  for (const char* name : names) {
    if (text == name) return i;
    ++i;
  }
  return -1;
}

std::string UserName() {
  if (struct passwd* pw = ::getpwuid(::getuid())) return pw->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

}  // namespace

namespace zel::cli {

std::string ArchiveRunLine(bool cancelled, int archived, int selected) {
  char line[160];
  std::snprintf(line, sizeof line,
                cancelled ? "Archive Calls cancelled: %d (from %d) calls archived."
                          : "Archive Calls finished: %d (from %d) calls archived.",
                archived, selected);
  return line;
}

bool WaitForArchiveRun(CArchiveManager& manager, bool progress) {
  g_interrupted = 0;
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previous);
  bool cancelled = false;
  while (manager.IsRunning()) {
    if (g_interrupted) {
      manager.Cancel();
      cancelled = true;
      break;
    }
    if (progress) {
      ArchiveRunStats stats = manager.GetRunStats();
      int percent = static_cast<int>(stats.Progress);
      int filled = percent * 30 / 100;
      std::fprintf(stderr, "\r[%-30.*s] %3d%%  %d selected", filled, "==============================",
                   percent, stats.SelectedCount);
      std::fflush(stderr);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  manager.Stop();  // the worker has ended; collect it
  ::sigaction(SIGINT, &previous, nullptr);
  if (progress) std::fprintf(stderr, "\r%60s\r", "");
  return cancelled;
}

}  // namespace zel::cli

int ArchiveCommand::Execute(const std::vector<std::string>& arguments) {
  ArgParser parser;
  parser.Option("type").Option("target").Option("structure").Option("select").Option("media")
      .Option("threshold").Option("comment").Flag("json");
  zel::cli::AddPassphraseOptions(parser);
  if (!parser.Parse(arguments)) return zel::cli::UsageError(Name(), parser.Error(), Usage());
  if (parser.Positional().empty()) return zel::cli::UsageError(Name(), "no SOURCE given", Usage());
  int type = Lookup(parser.Value("type"), {"", "disk", "zip", "iso"});
  if (type <= 0) return zel::cli::UsageError(Name(), "--type must be disk, zip or iso", Usage());
  if (parser.Value("target").empty()) return zel::cli::UsageError(Name(), "--target is required", Usage());
  int structure = Lookup(parser.Value("structure", "unstructured"), {"unstructured", "user", "month", "path"});
  if (structure < 0) return zel::cli::UsageError(Name(), "unknown --structure", Usage());
  int selection =
      Lookup(parser.Value("select", "all"), {"all", "unarchived", "30days", "90days", "180days"});
  if (selection < 0) return zel::cli::UsageError(Name(), "unknown --select", Usage());
  int media = Lookup(parser.Value("media", "keep"), {"keep", "delete", "remove-audio"});
  if (media < 0) return zel::cli::UsageError(Name(), "unknown --media", Usage());
  long long threshold = 0;
  if (parser.Has("threshold")) {
    auto value = ArgParser::ToInt(parser.Value("threshold"));
    if (!value || *value < 0 || *value > 0x7fffffff) {
      return zel::cli::UsageError(Name(), "--threshold must be a number of MiB", Usage());
    }
    threshold = *value;
  }

  zel::cli::StartCore();
  auto passphrase = zel::cli::ResolvePassphrase(parser);
  if (!passphrase) return zel::cli::kExitFailure;
  // In memory only: the settings are not saved by this command.
  Singleton<CSettings>::Instance()->SetPassphrase(*passphrase);

  auto log = Singleton<CArchiveLogger>::Instance();
  if (!log->IsLoaded()) log->Load(false);

  std::error_code ec;
  CJobArchListEntry job;
  for (const auto& source : parser.Positional()) {
    CKlFileListEntry entry;
    entry.SetPath(std::filesystem::absolute(source, ec).lexically_normal().string());
    job.AddSource(entry);
  }
  std::string target = std::filesystem::absolute(parser.Value("target"), ec).lexically_normal().string();
  job.SetTarget(target);
  job.SetArchiveType(static_cast<zel::ArchiveType>(type));
  job.SetStructureType(static_cast<zel::StructureType>(structure));
  job.SetSelectionType(static_cast<zel::SelectionType>(selection));
  job.SetMediaProcessing(static_cast<zel::MediaProcessing>(media));
  job.SetThreshold(static_cast<int32_t>(threshold));
  job.SetComment(parser.Value("comment"));
  job.SetUser(UserName());
  job.SetJobTime(static_cast<int32_t>(std::time(nullptr)));
  job.SetCallCount(static_cast<int32_t>(parser.Positional().size()));

  auto manager = Singleton<CArchiveManager>::Instance();
  FinishingSink sink;
  manager->AddJob(job, &sink);
  manager->Start(true);
  bool cancelled = zel::cli::WaitForArchiveRun(*manager, zel::cli::StderrIsTerminal());
  manager->SetSink(nullptr);
  ArchiveRunStats stats = manager->GetRunStats();

  if (parser.Has("json")) {
    JsonWriter json;
    json.BeginObject()
        .Field("archived", stats.ArchivedCount)
        .Field("selected", stats.SelectedCount)
        .Field("aborted", stats.Aborted != 0)
        .Field("target", target)
        .Field("logIndex", sink.LogIndex)
        .EndObject();
    std::printf("%s\n", json.Text().c_str());
  } else {
    std::printf("%s\n", zel::cli::ArchiveRunLine(cancelled, stats.ArchivedCount, stats.SelectedCount).c_str());
  }
  // Recordings were selected but none reached the archive: the write failed.
  bool writeFailed = stats.SelectedCount > 0 && stats.ArchivedCount == 0;
  return stats.Aborted != 0 || writeFailed ? zel::cli::kExitFailure : zel::cli::kExitOk;
}
