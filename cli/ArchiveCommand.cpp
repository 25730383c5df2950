#include "cli/ArchiveCommand.h"

#include <sys/stat.h>

#include <csignal>
#include <cstdio>

#include "Archive/ArchiveRunSummary.h"
#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"
#include "cli/CliSupport.h"
#include "core/CSettings.h"

ZEL_REGISTER_COMMAND(ArchiveCommand);

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


}  // namespace

namespace zel::cli {

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
    manager.WaitUntilStopped(100);  // wakes at the end, else ticks for Ctrl+C and progress
  }
  manager.Stop();  // the worker has ended; collect it
  ::sigaction(SIGINT, &previous, nullptr);
  if (progress) std::fprintf(stderr, "\r%60s\r", "");
  return cancelled;
}

void PrintArchiveRun(const ArchiveRunStats& stats, bool cancelled, bool json,
                     const std::function<void(JsonWriter&)>& extra) {
  if (!json) {
    std::printf("%s\n", ArchiveRunSummary(stats, cancelled).Text().c_str());
    return;
  }
  JsonWriter writer;
  writer.BeginObject()
      .Field("archived", stats.ArchivedCount)
      .Field("selected", stats.SelectedCount)
      .Field("aborted", stats.Aborted != 0)
      .Field("failed", ArchiveRunSummary(stats, cancelled).Failed());
  // The reasons were told on stderr as they came; a script reads them here.
  writer.Key("reasons").BeginArray();
  for (const auto& reason : Singleton<CArchiveManager>::Instance()->RunProblems()) writer.String(reason);
  writer.EndArray();
  extra(writer);
  writer.EndObject();
  std::printf("%s\n", writer.Text().c_str());
}

}  // namespace zel::cli

std::vector<OptionSpec> ArchiveCommand::RecordingOptions() const {
  return {{"type"},      {"target"},    {"structure"}, {"select"},
          {"media"},     {"threshold"}, {"comment"},   {"json", 0}, {"replace", 0}};
}

int ArchiveCommand::Validate(const ArgParser& args) {
  Builder_ = CArchiveJobBuilder();
  using namespace zel;
  auto type = FromKeyword<ArchiveType>(args.Value("type"));
  if (!type) return UsageError("--type must be " + KeywordChoice<ArchiveType>());
  if (args.Value("target").empty()) return UsageError("--target is required");
  auto structure = FromKeyword<StructureType>(args.Value("structure", "unstructured"));
  if (!structure) return UsageError("unknown --structure");
  auto selection = FromKeyword<SelectionType>(args.Value("select", "all"));
  if (!selection) return UsageError("unknown --select");
  auto media = FromKeyword<MediaProcessing>(args.Value("media", "keep"));
  if (!media) return UsageError("unknown --media");
  long long threshold = 0;
  if (args.Has("threshold")) {
    auto value = ArgParser::ToInt(args.Value("threshold"));
    if (!value || *value < 0 || *value > 0x7fffffff) return UsageError("--threshold must be a number of MiB");
    threshold = *value;
  }
  for (const auto& source : args.Positional()) Builder_.AddSource(source);
  Builder_.SetTarget(args.Value("target"))
      .SetArchiveType(*type)
      .SetStructureType(*structure)
      .SetSelectionType(*selection)
      .SetMediaProcessing(*media)
      .SetThreshold(static_cast<int32_t>(threshold), threshold > 0)
      .SetComment(args.Value("comment"));
  std::string problem = Builder_.Problem();
  return problem.empty() ? zel::cli::kExitOk : UsageError(problem);
}

int ArchiveCommand::ExecuteWith(const ArgParser& args, const std::string& passphrase) {
  // In memory only: the settings are not saved by this command.
  Singleton<CSettings>::Instance()->SetPassphrase(passphrase);
  zel::cli::LoadArchiveHistory();

  CJobArchListEntry job = Builder_.Build();
  struct stat existing {};
  if (job.ArchiveType() == zel::ArchiveType::kIso && !args.Has("replace") &&
      ::lstat(job.Target().c_str(), &existing) == 0) {
    // A new image replaces the old one whole: the calls only it held would be lost.
    zel::cli::PrintError("the image " + job.Target() + " exists; --replace writes a new image in its place");
    return zel::cli::kExitFailure;
  }
  auto manager = Singleton<CArchiveManager>::Instance();
  FinishingSink sink;
  manager->AddJob(job, &sink);
  manager->Start(true);
  bool cancelled = zel::cli::WaitForArchiveRun(*manager, zel::cli::StderrIsTerminal());
  manager->SetSink(nullptr);
  ArchiveRunStats stats = manager->GetRunStats();
  zel::cli::PrintArchiveRun(stats, cancelled, args.Has("json"), [&](JsonWriter& json) {
    json.Field("target", job.Target()).Field("logIndex", sink.LogIndex);
  });
  return ArchiveRunSummary(stats, cancelled).Failed() ? zel::cli::kExitFailure : zel::cli::kExitOk;
}
