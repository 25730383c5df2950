#include "Archive/CRetention.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "Archive/CArchiveJobBuilder.h"
#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"
#include "Archive/CJobArchScheduler.h"
#include "core/AuditTrail.h"
#include "core/CKlLogger.h"
#include "core/CKlXMLSettings.h"
#include "core/CSettings.h"
#include "core/FileLock.h"
#include "core/Singleton.h"
#include "organiser/CHotLists.h"
#include "recording/CLegalHolds.h"
#include "platform/Desktop.h"
#include "recording/CKlFileListEntry.h"

namespace {

std::string Absolute(const std::string& path) { return CArchiveJobBuilder::AbsolutePath(path); }

bool EndsWithZel(const std::string& name) {
  return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".zel") == 0;
}

// The recordings below `folder`, in name order; linked folders are not followed.
void CollectRecordings(const std::string& folder, std::vector<std::string>& out) {
  std::error_code ec;
  std::filesystem::recursive_directory_iterator it(folder, std::filesystem::directory_options::skip_permission_denied,
                                                   ec);
  for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code typeError;
    if (it->is_regular_file(typeError) && EndsWithZel(it->path().filename().string())) {
      out.push_back(it->path().lexically_normal().string());
    }
  }
}

// Sink of the archive action's run: logs it and deletes the archived originals.
class FinishingSink : public IProgressBarSink {
 public:
  void OnProgress(int) override {}
  void OnStarted() override {}
  void OnFinished(CJobArchListEntry* job) override {
    Singleton<CArchiveManager>::Instance()->RecordFinishedRun(job);
  }
};

}  // namespace

CRetention::CRetention() : CRetention(CSettings::SettingsFilePath(true, "retention.xml")) {}

CRetention::CRetention(std::string path) : path_(std::move(path)) {}

CRetention::~CRetention() {
  if (background_.joinable()) background_.join();
}

const char* CRetention::ActionName(Action action) {
  switch (action) {
    case Action::kTrash: return "trash";
    case Action::kDelete: return "delete";
    case Action::kArchive: break;
  }
  return "archive";
}

bool CRetention::ActionFromName(const std::string& name, Action& action) {
  for (Action a : {Action::kArchive, Action::kTrash, Action::kDelete}) {
    if (strcasecmp(name.c_str(), ActionName(a)) == 0) {
      action = a;
      return true;
    }
  }
  return false;
}

bool CRetention::Load() {
  CKlXMLSettings xml;
  std::string root, version;
  if (!xml.Load(path_, root, version, true)) return false;
  Settings s;
  std::string text;
  xml.GetText("FALSE", xml.FirstChild("Enabled", xml.Root()), text);
  s.Enabled = strcasecmp(text.c_str(), "TRUE") == 0;
  xml.GetIntText(xml.FirstChild("OlderThanDays", xml.Root()), 0, s.OlderThanDays);
  xml.GetIntText(xml.FirstChild("ShorterThanSeconds", xml.Root()), 0, s.ShorterThanSeconds);
  s.OlderThanDays = std::max(0, s.OlderThanDays);
  s.ShorterThanSeconds = std::max(0, s.ShorterThanSeconds);
  xml.GetText("archive", xml.FirstChild("Action", xml.Root()), text);
  ActionFromName(text, s.How);
  auto* folders = xml.FirstChild("Folders", xml.Root());
  for (auto* folder = xml.FirstChild("Folder", folders); folder; folder = xml.NextSibling("Folder", folder)) {
    xml.GetText("", folder, text);
    if (!text.empty()) s.Folders.push_back(text);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  settings_ = s;
  return true;
}

bool CRetention::Save() {
  Settings s = GetSettings();
  CKlXMLSettings xml;
  auto* root = xml.Create(path_, "retention", "1");
  xml.AddText(xml.AddElement(root, "Enabled"), s.Enabled ? "TRUE" : "FALSE");
  xml.AddIntText(xml.AddElement(root, "OlderThanDays"), s.OlderThanDays);
  xml.AddIntText(xml.AddElement(root, "ShorterThanSeconds"), s.ShorterThanSeconds);
  xml.AddText(xml.AddElement(root, "Action"), ActionName(s.How));
  auto* folders = xml.AddElement(root, "Folders");
  for (const auto& folder : s.Folders) xml.AddText(xml.AddElement(folders, "Folder"), folder);
  return xml.Save();
}

CRetention::Settings CRetention::GetSettings() {
  std::lock_guard<std::mutex> lock(mutex_);
  return settings_;
}

void CRetention::SetSettings(const Settings& settings) {
  std::lock_guard<std::mutex> lock(mutex_);
  settings_ = settings;
}

std::string CRetention::SetValue(const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto number = [&](int& field) -> std::string {
    char* end = nullptr;
    errno = 0;
    long long n = std::strtoll(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno == ERANGE || n < 0 || n > 1000000000) {
      return key + " takes a whole number from 0 to 1000000000";
    }
    field = static_cast<int>(n);
    return "";
  };
  if (strcasecmp(key.c_str(), "Enabled") == 0) {
    if (strcasecmp(value.c_str(), "TRUE") != 0 && strcasecmp(value.c_str(), "FALSE") != 0) {
      return "Enabled takes TRUE or FALSE";
    }
    settings_.Enabled = strcasecmp(value.c_str(), "TRUE") == 0;
    return "";
  }
  if (strcasecmp(key.c_str(), "OlderThanDays") == 0) return number(settings_.OlderThanDays);
  if (strcasecmp(key.c_str(), "ShorterThanSeconds") == 0) return number(settings_.ShorterThanSeconds);
  if (strcasecmp(key.c_str(), "Action") == 0) {
    return ActionFromName(value, settings_.How) ? "" : "Action takes archive, trash or delete";
  }
  return "no setting " + key + " (Enabled, OlderThanDays, ShorterThanSeconds, Action)";
}

bool CRetention::AddFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string absolute = Absolute(folder);
  auto& list = settings_.Folders;
  if (folder.empty() || std::find(list.begin(), list.end(), absolute) != list.end()) return false;
  list.push_back(absolute);
  return true;
}

bool CRetention::RemoveFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto& list = settings_.Folders;
  auto found = std::find(list.begin(), list.end(), folder);
  if (found == list.end()) found = std::find(list.begin(), list.end(), Absolute(folder));
  if (found == list.end()) return false;
  list.erase(found);
  return true;
}

CRetention::Result CRetention::Preview(int64_t now) {
  Settings s = GetSettings();
  Result result;
  if (s.OlderThanDays == 0 && s.ShorterThanSeconds == 0) return result;
  std::vector<std::string> paths;
  for (const auto& folder : s.Folders) CollectRecordings(folder, paths);
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  // A private copy of Calls for Review: the window's copy is not touched from here.
  CHotLists review;
  review.Load();
  std::set<std::string> reviewed;
  for (const auto& entry : review.Entries()) {
    if (!entry->isGroup && !entry->target.empty()) reviewed.insert(Absolute(entry->target));
  }
  const std::string passphrase = Singleton<CSettings>::Instance()->GetPassphrase();
  auto holds = Singleton<CLegalHolds>::Instance();
  for (const auto& path : paths) {
    CKlFileListEntry call;
    call.SetPath(path);
    call.LoadDetails(passphrase);
    Item item;
    item.Path = path;
    if (call.LoadFailed()) {
      // Neither date nor length is known: the rule cannot choose it.
      continue;
    }
    item.Caller = call.CallerIdText();
    const int64_t age = now - static_cast<int64_t>(call.StartTime());
    if (s.OlderThanDays > 0 && age > static_cast<int64_t>(s.OlderThanDays) * 86400) {
      item.Why = "older than " + std::to_string(s.OlderThanDays) + " days";
    }
    if (s.ShorterThanSeconds > 0 && call.Duration() < static_cast<uint32_t>(s.ShorterThanSeconds)) {
      item.Why += std::string(item.Why.empty() ? "" : ", ") + "shorter than " + std::to_string(s.ShorterThanSeconds) +
                  " seconds";
    }
    if (item.Why.empty()) continue;
    if (call.Important() != 0) {
      item.KeptBecause = "marked Important";
    } else if (reviewed.count(path) != 0) {
      item.KeptBecause = "in Calls for Review";
    } else if (auto hold = holds->HoldFor(path, item.Caller)) {
      item.KeptBecause = CLegalHolds::Describe(*hold);
    }
    result.Items.push_back(std::move(item));
  }
  return result;
}

CRetention::Result CRetention::Run(int64_t now) {
  std::lock_guard<std::mutex> running(runMutex_);
  Result result = Preview(now);
  Settings s = GetSettings();
  if (s.How == Action::kArchive) {
    RemoveByArchiving(result, s);
  } else {
    RemoveDirectly(result, s.How, s);
  }
  for (const auto& item : result.Items) {
    if (item.Removed) ++result.Removed;
    if (!item.Problem.empty()) ++result.Failed;
  }
  return result;
}

void CRetention::RemoveDirectly(Result& result, Action action, const Settings&) {
  auto holds = Singleton<CLegalHolds>::Instance();
  CJobArchListEntry logged = CArchiveJobBuilder()
                                 .SetComment(action == Action::kTrash ? "Retention: moved to the trash"
                                                                      : "Retention: deleted permanently")
                                 .Build();
  logged.ClearSources();
  std::vector<zel::AuditRecord> records;
  for (auto& item : result.Items) {
    if (!item.KeptBecause.empty()) continue;
    // A hold placed since the preview counts.
    if (auto hold = holds->HoldFor(item.Path, item.Caller)) {
      item.KeptBecause = CLegalHolds::Describe(*hold);
      continue;
    }
    CKlFileListEntry call;
    call.SetPath(item.Path);
    call.LoadDetails(Singleton<CSettings>::Instance()->GetPassphrase());
    zel::AuditRecord record;
    record.before = zel::AuditTrail::Sha256OfFile(item.Path);
    std::string error;
    bool gone = false;
    gone = action == Action::kTrash ? zel::MoveToTrash(item.Path) : ::unlink(item.Path.c_str()) == 0;
    if (!gone) error = std::strerror(errno);
    if (!gone) {
      item.Problem = error;
      Singleton<CKlLogger>::Instance()->LogLine("Retention: %s cannot be removed: %s", item.Path.c_str(),
                                                error.c_str());
      continue;
    }
    item.Removed = true;
    record.action = "retention removal";
    record.path = item.Path;
    record.caller = item.Caller;
    record.detail = std::string(action == Action::kTrash ? "moved to the trash" : "deleted permanently") + "; " +
                    item.Why;
    records.push_back(std::move(record));
    logged.AddSource(call);
  }
  std::string error;
  if (!zel::AuditTrail().AppendAll(records, &error)) {
    Singleton<CKlLogger>::Instance()->LogLine("Retention: %s", error.c_str());
  }
  if (logged.Sources().empty()) return;
  logged.SetCallCount(static_cast<int32_t>(logged.Sources().size()));
  auto log = Singleton<CArchiveLogger>::Instance();
  if (!log->IsLoaded()) log->Load(false);
  log->AddEntry(logged);
  if (!log->Save()) result.Problem = "The archive log " + log->Path() + " cannot be written.";
}

void CRetention::RemoveByArchiving(Result& result, const Settings&) {
  std::vector<Item*> going;
  for (auto& item : result.Items) {
    if (item.KeptBecause.empty()) going.push_back(&item);
  }
  if (going.empty()) return;
  auto scheduler = Singleton<CJobArchScheduler>::Instance();
  scheduler->Load();  // the archive settings as saved
  CJobArchScheduler::Settings archive = scheduler->GetSettings();
  if (archive.ArchiveType == zel::ArchiveType::kNone) {
    result.Problem = "The scheduled archive job has no archive method: nothing was removed.";
    return;
  }
  auto manager = Singleton<CArchiveManager>::Instance();
  if (manager->IsRunning()) {
    result.Problem = "Another archive run is going: nothing was removed.";
    return;
  }
  std::string target = scheduler->TargetPath();
  struct stat info {};
  if (target.back() != '/' && ::stat(target.c_str(), &info) == 0) {
    // The scheduled run of this very second wrote that file.
    size_t dot = target.rfind('.');
    target.insert(dot == std::string::npos ? target.size() : dot, "-retention");
  }
  CArchiveJobBuilder builder;
  for (const Item* item : going) builder.AddSource(item->Path);
  builder.SetTarget(target)
      .SetArchiveType(archive.ArchiveType)
      .SetStructureType(archive.ArchStructureType)
      .SetThreshold(archive.ThresholdSize, archive.CancelJob)
      .SetMediaProcessing(zel::MediaProcessing::kDelete)
      .SetSelectionType(zel::SelectionType::kAll)
      .SetComment("Retention: archived, then deleted");
  FinishingSink sink;
  manager->AddJob(builder.Build(), &sink);
  manager->Start(true);
  while (manager->IsRunning()) manager->WaitUntilStopped(100);
  manager->SetSink(nullptr);
  std::vector<zel::AuditRecord> records;
  std::vector<SourceRecordingOutcome> outcomes = manager->SourceOutcomes();
  for (Item* item : going) {
    auto outcome = std::find_if(outcomes.begin(), outcomes.end(),
                                [&](const SourceRecordingOutcome& o) { return o.Path == item->Path; });
    if (outcome == outcomes.end()) {
      item->Problem = "it was not archived";
    } else if (outcome->Changed) {
      item->Removed = true;
      zel::AuditRecord& record = records.emplace_back();
      record.action = "retention removal";
      record.path = item->Path;
      record.caller = item->Caller;
      record.detail = "archived to " + target + ", then deleted; " + item->Why;
    } else if (outcome->Why.rfind("it is on legal hold", 0) == 0) {
      item->KeptBecause = outcome->Why.substr(6);
    } else {
      item->Problem = outcome->Why;
    }
  }
  std::string error;
  if (!zel::AuditTrail().AppendAll(records, &error)) {
    Singleton<CKlLogger>::Instance()->LogLine("Retention: %s", error.c_str());
  }
}

void CRetention::RunInBackground() {
  if (background_.joinable()) background_.join();
  Load();
  if (!GetSettings().Enabled) return;
  background_ = std::thread([this] {
    Result result = Run(static_cast<int64_t>(std::time(nullptr)));
    Singleton<CKlLogger>::Instance()->LogLine("Retention: %d calls removed, %d could not be removed%s%s",
                                              result.Removed, result.Failed, result.Problem.empty() ? "" : ": ",
                                              result.Problem.c_str());
  });
}
