#include "Archive/CJobArchScheduler.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <locale.h>
#include <system_error>
#include <type_traits>

#include <tinyxml2.h>

#include "Archive/CArchiveJobBuilder.h"
#include "Archive/CArchiveLogger.h"
#include "Archive/CArchiveManager.h"
#include "Archive/CJobArchListEntry.h"
#include "core/AtomicFile.h"
#include "core/CKlLogger.h"
#include "core/CSettings.h"
#include "core/DamagedFile.h"
#include "core/FileLock.h"
#include "toolkit/XmlText.h"
#include "platform/Desktop.h"

namespace {

int64_t LocalMidnight(int64_t time) {
  time_t t = static_cast<time_t>(time);
  struct tm local {};
  localtime_r(&t, &local);
  local.tm_hour = local.tm_min = local.tm_sec = 0;
  local.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&local));
}

// The same local time of day `days` later (a plain 86400 s step would drift by an
// hour across a daylight-saving change).
int64_t AddLocalDays(int64_t time, int days) {
  time_t t = static_cast<time_t>(time);
  struct tm local {};
  localtime_r(&t, &local);
  local.tm_mday += days;
  local.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&local));
}

std::string FormatEnglish(int64_t time, const char* format) {
  time_t t = static_cast<time_t>(time);
  struct tm local {};
  localtime_r(&t, &local);
  char buffer[1024];
  size_t n = 0;
  locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (c != static_cast<locale_t>(nullptr)) {
    n = strftime_l(buffer, sizeof buffer, format, &local, c);
    freelocale(c);
  }
  return std::string(buffer, n);
}

// A whole decimal number or nothing.
bool ParseInt(const std::string& text, long long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE) return false;
  out = value;
  return true;
}

int32_t DecimalText(const char* text) {
  long long value = std::strtoll(text, nullptr, 10);
  if (value < INT32_MIN || value > INT32_MAX) return 0;
  return static_cast<int32_t>(value);
}

bool ParseBool(const std::string& text, bool& out) {
  if (strcasecmp(text.c_str(), "TRUE") == 0) {
    out = true;
    return true;
  }
  if (strcasecmp(text.c_str(), "FALSE") == 0) {
    out = false;
    return true;
  }
  return false;
}

// A moment given as seconds since 1970 or as local "YYYY-MM-DD HH:MM[:SS]".
bool ParseMoment(const std::string& text, int64_t& out) {
  long long seconds = 0;
  if (ParseInt(text, seconds)) {
    out = seconds;
    return true;
  }
  struct tm local {};
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d%n", &local.tm_year, &local.tm_mon, &local.tm_mday,
                  &local.tm_hour, &local.tm_min, &consumed) != 5) {
    return false;
  }
  int secondsPart = 0;
  if (text[static_cast<size_t>(consumed)] == ':') {
    int more = 0;
    if (std::sscanf(text.c_str() + consumed, ":%d%n", &secondsPart, &more) != 1) return false;
    consumed += more;
  }
  if (text[static_cast<size_t>(consumed)] != '\0') return false;
  local.tm_year -= 1900;
  local.tm_mon -= 1;
  local.tm_sec = secondsPart;
  local.tm_isdst = -1;
  time_t t = mktime(&local);
  if (t == static_cast<time_t>(-1)) return false;
  out = static_cast<int64_t>(t);
  return true;
}

}  // namespace

std::string CJobArchScheduler::Settings::EnabledProblem() const {
  if (!Enabled) return std::string();
  if (SpaceFolders.empty()) {
    return "The scheduled job has no folders to archive. Please add at least one folder to the Archive Space, "
           "or disable the scheduled job.";
  }
  if (ArchiveType != zel::ArchiveType::kDisk && ArchiveType != zel::ArchiveType::kZip &&
      ArchiveType != zel::ArchiveType::kIso) {
    return "The scheduled job has no archive method. Please choose ISO, DISK or ZIP, or disable the scheduled job.";
  }
  return std::string();
}

std::string CJobArchScheduler::DefaultArchivePath() {
  std::string folder = zel::DocumentsFolder();
  std::error_code ec;
  if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
    std::filesystem::create_directories(folder, ec);
  }
  if (folder.empty() || !std::filesystem::is_directory(folder, ec)) folder = "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

CJobArchScheduler::CJobArchScheduler()
    : CJobArchScheduler(CSettings::SettingsFilePath(true, "schedule.xml")) {}

CJobArchScheduler::CJobArchScheduler(std::string schedulePath)
    : CKlThread("Archive Scheduler"), Path_(std::move(schedulePath)) {
  Settings_.ArchivePath = DefaultArchivePath();
  Singleton<CArchiveManager>::Instance();
  auto log = Singleton<CArchiveLogger>::Instance();
  if (!log->IsLoaded()) log->Load(false);
}

CJobArchScheduler::~CJobArchScheduler() { Stop(); }

int64_t CJobArchScheduler::Now() const {
  return Clock_ ? Clock_() : static_cast<int64_t>(std::time(nullptr));
}

bool CJobArchScheduler::Load() {
  // A damaged file is set aside before the defaults can be saved over it.
  std::string content;
  if (!zel::ReadDataFileOrSetAside(Path_, content, true)) return false;
  tinyxml2::XMLDocument document;
  if (document.Parse(content.data(), content.size()) != tinyxml2::XML_SUCCESS) {
    zel::SetAsideDamaged(Path_, "it is not well-formed XML");
    return false;
  }
  ZEL_LOCK(Lock_);
  Settings& s = Settings_;
  for (auto* root = document.FirstChildElement(); root != nullptr; root = root->NextSiblingElement()) {
    if (strcasecmp(root->Name(), "ArchiveJobSchedulingData") != 0) continue;
    // The text of the first element of that name that has content, or null.
    auto text = [root](const char* name) -> const char* {
      for (auto* e = root->FirstChildElement(name); e != nullptr; e = e->NextSiblingElement(name)) {
        if (e->GetText() != nullptr && e->GetText()[0] != '\0') return e->GetText();
      }
      return nullptr;
    };
    auto readInt = [&](const char* name, auto& out) {
      if (const char* t = text(name)) out = static_cast<std::remove_reference_t<decltype(out)>>(DecimalText(t));
    };
    auto readBool = [&](const char* name, bool& out) {
      if (const char* t = text(name)) out = strcasecmp(t, "TRUE") == 0;
    };
    auto readText = [&](const char* name, std::string& out) {
      if (const char* t = text(name)) out = t;
    };
    auto readTime = [&](const char* name, int64_t& out) {
      if (const char* t = text(name)) out = static_cast<int64_t>(DecimalText(t));
    };
    for (auto* folders = root->FirstChildElement("SpaceFolders"); folders != nullptr;
         folders = folders->NextSiblingElement("SpaceFolders")) {
      if (folders->FirstChildElement() == nullptr) continue;
      for (auto* p = folders->FirstChildElement("path"); p != nullptr; p = p->NextSiblingElement("path")) {
        if (p->GetText() == nullptr) continue;
        std::string folder = p->GetText();
        if (std::find(s.SpaceFolders.begin(), s.SpaceFolders.end(), folder) == s.SpaceFolders.end()) {
          s.SpaceFolders.push_back(folder);
        }
      }
      break;
    }
    readBool("Enabled", s.Enabled);
    readInt("SelectionType", s.SelectionType);
    readInt("ScheduleType", s.ScheduleType);
    readInt("ArchiveType", s.ArchiveType);
    readText("ArchivePath", s.ArchivePath);
    readText("ArchiveName", s.ArchiveName);
    readInt("MediaProcessing", s.MediaProcessing);
    readInt("ArchStructureType", s.ArchStructureType);
    readInt("ThresholdSize", s.ThresholdSize);
    readBool("CancelJob", s.CancelJob);
    readTime("LastJobTime", s.LastJobTime);
    readTime("ScheduledTime", s.ScheduledTime);
    readInt("DaysInterval", s.DaysInterval);
    readText("UserName", s.UserName);
    readText("Comment", s.Comment);
  }
  return true;
}

std::string CJobArchScheduler::Serialize() {
  ZEL_LOCK(Lock_);
  const Settings& s = Settings_;
  std::string out;
  char line[160];
  auto number = [&](const char* name, long long value) {
    std::snprintf(line, sizeof line, "   <%s>%lld</%s>\r\n", name, value, name);
    out += line;
  };
  auto text = [&](const char* name, const std::string& value) {
    out += std::string("   <") + name + ">" + zel::EscapeXmlText(value) + "</" + name + ">\r\n";
  };
  out += "<?xml version=\"1.0\" standalone=\"yes\" ?>\r\n";
  out += "<ArchiveJobSchedulingData>\r\n";
  out += "   <SpaceFolders>\r\n";
  for (const auto& folder : s.SpaceFolders) out += "      <path>" + zel::EscapeXmlText(folder) + "</path>\r\n";
  out += "   </SpaceFolders>\r\n";
  text("Enabled", s.Enabled ? "TRUE" : "FALSE");
  number("SelectionType", zel::ToInt(s.SelectionType));
  number("ScheduleType", s.ScheduleType);
  number("ArchiveType", zel::ToInt(s.ArchiveType));
  text("ArchivePath", s.ArchivePath);
  text("ArchiveName", s.ArchiveName);
  number("MediaProcessing", zel::ToInt(s.MediaProcessing));
  number("ArchStructureType", zel::ToInt(s.ArchStructureType));
  number("ThresholdSize", s.ThresholdSize);
  text("CancelJob", s.CancelJob ? "TRUE" : "FALSE");
  // Times go out as the low 32 bits, signed.
  number("LastJobTime", static_cast<int32_t>(static_cast<uint32_t>(s.LastJobTime)));
  number("ScheduledTime", static_cast<int32_t>(static_cast<uint32_t>(s.ScheduledTime)));
  number("DaysInterval", s.DaysInterval);
  if (!s.UserName.empty()) text("UserName", s.UserName);
  if (!s.Comment.empty()) text("Comment", s.Comment);
  out += "</ArchiveJobSchedulingData>\r\n";
  return out;
}

bool CJobArchScheduler::Save() {
  std::string content = Serialize();
  ZEL_LOCK(Lock_);  // two savers (the GUI and the archive thread) write in turn
  zel::FileLock fileLock(Path_);  // and so do other processes
  return zel::WriteFileAtomically(Path_, content);
}

bool CJobArchScheduler::IsDueLocked(int64_t now) {
  int64_t& scheduled = Settings_.ScheduledTime;
  if (scheduled != 0 && now < scheduled) return false;
  if (scheduled == 0) scheduled = LocalMidnight(now);
  scheduled = AddLocalDays(scheduled, std::max(1, Settings_.DaysInterval));
  return true;
}

bool CJobArchScheduler::IsDue() {
  ZEL_LOCK(Lock_);
  return IsDueLocked(Now());
}

int64_t CJobArchScheduler::NextRunTime() {
  int64_t now = Now();
  ZEL_LOCK(Lock_);
  IsDueLocked(now);
  const Settings& s = Settings_;
  if (now < s.ScheduledTime) return s.ScheduledTime;
  int64_t next = s.ScheduledTime != 0 ? s.ScheduledTime : (s.LastJobTime != 0 ? s.LastJobTime : now);
  for (int i = 0; i < 1000; ++i) {
    next += zel::kSecondsPerDay;
    if (next > now) return next;
  }
  return now + zel::kSecondsPerDay;
}

std::string CJobArchScheduler::TargetPath() {
  int64_t now = Now();
  ZEL_LOCK(Lock_);
  std::string path = Settings_.ArchivePath;
  if (path.empty() || path.back() != '/') path += '/';
  path += Settings_.ArchiveName;
  const auto* type = zel::TextOf(Settings_.ArchiveType);
  if (type == nullptr || *type->Extension == '\0') return path + "/";
  return path + zel::FileNameDateTime(now) + type->Extension;
}

void CJobArchScheduler::RunJob() {
  std::string target = TargetPath();
  CArchiveJobBuilder builder;
  {
    ZEL_LOCK(Lock_);
    Settings& s = Settings_;
    for (const auto& folder : s.SpaceFolders) builder.AddSource(folder);
    s.LastJobTime = Now();
    if (s.Comment.empty()) {
      s.Comment = zel::CutUtf8(FormatEnglish(s.LastJobTime, "arch_records_till_%H_%B_%Y.%S"), 1023);
    }
    builder.SetTarget(target)
        .SetMediaProcessing(s.MediaProcessing)
        .SetStructureType(s.ArchStructureType)
        .SetArchiveType(s.ArchiveType)
        .SetThreshold(s.ThresholdSize, s.CancelJob)
        .SetJobTime(s.LastJobTime)
        .SetComment(s.Comment)
        .SetSelectionType(s.SelectionType);
    // Without a name of its own the job is the running user's, as a wizard run is:
    // the report's "Created By:" says who.
    if (!s.UserName.empty()) builder.SetUser(s.UserName);
  }
  CJobArchListEntry job = builder.Build();
  LastLogIndex_.store(-1);
  auto manager = Singleton<CArchiveManager>::Instance();
  manager->AddJob(job, this);
  manager->Start(true);
  Save();
}

void CJobArchScheduler::Post(int lParam) {
  if (Notify_) Notify_(lParam);
}

void CJobArchScheduler::OnStarted() { Post(0); }

void CJobArchScheduler::OnProgress(int) { Post(1); }

void CJobArchScheduler::OnFinished(CJobArchListEntry* job) {
  Save();
  Post(2);
  LastLogIndex_.store(Singleton<CArchiveManager>::Instance()->RecordFinishedRun(job));
}

void CJobArchScheduler::Settings::SetCancelJob(bool cancel) {
  CancelJob = cancel;
  if (!cancel) ThresholdSize = 0;
  else if (ThresholdSize <= 0) ThresholdSize = 700;
}

void CJobArchScheduler::Settings::SetThresholdSize(int mib) {
  ThresholdSize = mib;
  CancelJob = mib > 0;
}

CJobArchScheduler::Settings CJobArchScheduler::GetSettings() {
  ZEL_LOCK(Lock_);
  return Settings_;
}

void CJobArchScheduler::SetSettings(const Settings& settings) {
  ZEL_LOCK(Lock_);
  Settings_ = settings;
}

bool CJobArchScheduler::AddSpaceFolder(const std::string& folder) {
  ZEL_LOCK(Lock_);
  auto& list = Settings_.SpaceFolders;
  if (folder.empty() || std::find(list.begin(), list.end(), folder) != list.end()) return false;
  list.push_back(folder);
  return true;
}

bool CJobArchScheduler::RemoveSpaceFolder(const std::string& folder) {
  ZEL_LOCK(Lock_);
  auto& list = Settings_.SpaceFolders;
  auto found = std::find(list.begin(), list.end(), folder);
  if (found == list.end()) return false;
  list.erase(found);
  return true;
}

std::string CJobArchScheduler::SetValue(const std::string& key, const std::string& value) {
  ZEL_LOCK(Lock_);
  Settings& s = Settings_;
  long long number = 0;
  auto ranged = [&](auto& field, long long low, long long high) -> std::string {
    if (!ParseInt(value, number) || number < low || number > high) {
      return key + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    }
    field = static_cast<std::remove_reference_t<decltype(field)>>(number);
    return std::string();
  };
  if (key == "Enabled" || key == "CancelJob") {
    bool flag = false;
    if (!ParseBool(value, flag)) return key + " must be TRUE or FALSE";
    if (key == "Enabled") {
      s.Enabled = flag;
    } else {
      s.SetCancelJob(flag);
    }
    return std::string();
  }
  if (key == "ThresholdSize") {
    int mib = 0;
    std::string error = ranged(mib, 0, 99999);
    if (error.empty()) s.SetThresholdSize(mib);
    return error;
  }
  if (key == "DaysInterval") return ranged(s.DaysInterval, 1, 365);
  if (key == "SelectionType") return ranged(s.SelectionType, 0, 4);
  if (key == "ScheduleType") return ranged(s.ScheduleType, INT32_MIN, INT32_MAX);
  if (key == "ArchiveType") return ranged(s.ArchiveType, 1, 3);
  if (key == "MediaProcessing") return ranged(s.MediaProcessing, 0, 2);
  if (key == "ArchStructureType") return ranged(s.ArchStructureType, 0, 3);
  if (key == "ScheduledTime" || key == "LastJobTime") {
    int64_t moment = 0;
    if (!ParseMoment(value, moment) || moment < INT32_MIN || moment > INT32_MAX) {
      return key + " must be seconds since 1970 or a local \"YYYY-MM-DD HH:MM\"";
    }
    (key == "ScheduledTime" ? s.ScheduledTime : s.LastJobTime) = moment;
    return std::string();
  }
  if (key == "ArchivePath") {
    if (value.empty()) return "ArchivePath must not be empty";
    s.ArchivePath = value.back() == '/' ? value : value + "/";
    return std::string();
  }
  if (key == "ArchiveName") {
    if (value.empty() || value.find('/') != std::string::npos) return "ArchiveName must be a file name";
    s.ArchiveName = value;
    return std::string();
  }
  if (key == "UserName") {
    s.UserName = zel::CutUtf8(value, CJobArchListEntry::kUserWidth);
    return std::string();
  }
  if (key == "Comment") {
    s.Comment = zel::CutUtf8(value, CJobArchListEntry::kCommentWidth);
    return std::string();
  }
  if (key == "SpaceFolders") return "SpaceFolders is changed with add-folder and remove-folder";
  return "unknown setting " + key;
}
