#include "recording/CLegalHolds.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "core/AuditTrail.h"
#include "core/CKlXMLSettings.h"
#include "core/CSettings.h"
#include "core/FileLock.h"
#include "recording/CKlRecordFileHdr.h"

namespace {

std::string Absolute(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

std::string CurrentUser() {
  if (struct passwd* pw = ::getpwuid(::getuid())) return pw->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

// Reads the holds of `path`; a damaged file is set aside (`damaged` set) and reads
// as no holds.
std::vector<CLegalHolds::Hold> ReadHolds(const std::string& path, bool* damaged = nullptr) {
  std::vector<CLegalHolds::Hold> holds;
  CKlXMLSettings xml;
  std::string root, version;
  struct stat info {};
  const bool exists = ::stat(path.c_str(), &info) == 0;
  if (!xml.Load(path, root, version, true)) {
    if (damaged != nullptr) *damaged = exists;
    return holds;
  }
  for (auto* element = xml.FirstChild("hold", xml.Root()); element; element = xml.NextSibling("hold", element)) {
    CLegalHolds::Hold hold;
    std::string kind, when;
    xml.GetAttribute("call", element, "kind", kind);
    hold.kind = kind == "caller" ? CLegalHolds::Kind::kCaller : CLegalHolds::Kind::kCall;
    xml.GetText("", xml.FirstChild("Target", element), hold.target);
    xml.GetText("", xml.FirstChild("Reason", element), hold.reason);
    xml.GetText("", xml.FirstChild("Who", element), hold.who);
    xml.GetText("0", xml.FirstChild("When", element), when);
    hold.when = std::atoll(when.c_str());
    if (!hold.target.empty()) holds.push_back(std::move(hold));
  }
  return holds;
}

}  // namespace

CLegalHolds::CLegalHolds() : CLegalHolds(CSettings::SettingsFilePath(true, "hold.xml")) {}

CLegalHolds::CLegalHolds(std::string path) : path_(std::move(path)) {}

void CLegalHolds::Refresh() {
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0) {
    holds_.clear();
    stamp_ = size_ = -1;
    return;
  }
  int64_t stamp = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  if (stamp == stamp_ && info.st_size == size_) return;
  bool damaged = false;
  holds_ = ReadHolds(path_, &damaged);
  damaged_ = damaged_ || damaged;
  // A held call is also found under another name (a linked folder, a hard link).
  identities_.clear();
  for (size_t i = 0; i < holds_.size(); ++i) {
    struct stat held {};
    if (holds_[i].kind == Kind::kCall && ::stat(holds_[i].target.c_str(), &held) == 0) {
      identities_[{held.st_dev, held.st_ino}] = i;
    }
  }
  stamp_ = stamp;
  size_ = info.st_size;
}

std::vector<CLegalHolds::Hold> CLegalHolds::Holds() {
  std::lock_guard<std::mutex> guard(mutex_);
  Refresh();
  return holds_;
}

std::optional<CLegalHolds::Hold> CLegalHolds::HoldFor(const std::string& path,
                                                      const std::optional<std::string>& callerId) {
  std::vector<Hold> holds;
  bool damaged = false;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    Refresh();
    holds = holds_;
    damaged = damaged_;
    struct stat info {};
    if (!damaged && ::stat(path.c_str(), &info) == 0) {
      auto found = identities_.find({info.st_dev, info.st_ino});
      if (found != identities_.end()) return holds_[found->second];
    }
  }
  if (damaged) {
    // Holds that could not be read may include this call: nothing is removed until
    // the list set aside has been looked at and the program started again.
    Hold unknown;
    unknown.target = "?";
    unknown.reason = "the list of legal holds " + path_ + " was damaged and has been set aside";
    return unknown;
  }
  const std::string absolute = Absolute(path);
  bool callerHolds = false;
  for (const auto& hold : holds) {
    if (hold.kind == Kind::kCall && hold.target == absolute) return hold;
    callerHolds = callerHolds || hold.kind == Kind::kCaller;
  }
  if (!callerHolds) return std::nullopt;
  std::string caller;
  if (callerId) {
    caller = *callerId;
  } else {
    CKlRecordFileHdr header;
    if (header.LoadHeader(path, Singleton<CSettings>::Instance()->GetPassphrase()) <= 0) {
      // A call whose caller cannot be read may be one of a held caller: it is kept.
      Hold unknown;
      unknown.kind = Kind::kCaller;
      unknown.target = "?";
      unknown.reason = "its caller id cannot be read while calls of some callers are on hold";
      return unknown;
    }
    caller = header.CallerIdUtf8();
  }
  for (const auto& hold : holds) {
    if (hold.kind == Kind::kCaller && hold.target == caller) return hold;
  }
  return std::nullopt;
}

bool CLegalHolds::Write(const std::vector<Hold>& holds, std::string& error) {
  CKlXMLSettings xml;
  auto* root = xml.Create(path_, "holds", "1");
  for (const auto& hold : holds) {
    auto* element = xml.AddElement(root, "hold");
    xml.SetAttribute(element, "kind", KindName(hold.kind));
    xml.AddText(xml.AddElement(element, "Target"), hold.target);
    xml.AddText(xml.AddElement(element, "Reason"), hold.reason);
    xml.AddText(xml.AddElement(element, "Who"), hold.who);
    xml.AddText(xml.AddElement(element, "When"), std::to_string(hold.when));
  }
  if (xml.Save()) return true;
  error = "cannot write " + path_;
  return false;
}

bool CLegalHolds::Add(Hold hold, std::string& error) {
  if (hold.kind == Kind::kCall) hold.target = Absolute(hold.target);
  if (hold.target.empty()) {
    error = "no call or caller id given";
    return false;
  }
  if (hold.who.empty()) hold.who = CurrentUser();
  if (hold.when == 0) hold.when = static_cast<int64_t>(std::time(nullptr));
  std::lock_guard<std::mutex> guard(mutex_);
  // Save locks the file itself; this lock spans the read, the change and the save.
  zel::FileLock lock(path_ + ".change");
  std::vector<Hold> holds = ReadHolds(path_);
  for (const auto& existing : holds) {
    if (existing.kind == hold.kind && existing.target == hold.target) {
      error = std::string("the ") + KindName(hold.kind) + " " + hold.target + " is on hold already";
      return false;
    }
  }
  holds.push_back(hold);
  if (!Write(holds, error)) return false;
  stamp_ = -1;
  return true;
}

bool CLegalHolds::Remove(Kind kind, const std::string& target, Hold& released, std::string& error) {
  const std::string key = kind == Kind::kCall ? Absolute(target) : target;
  std::lock_guard<std::mutex> guard(mutex_);
  // Save locks the file itself; this lock spans the read, the change and the save.
  zel::FileLock lock(path_ + ".change");
  std::vector<Hold> holds = ReadHolds(path_);
  auto found = std::find_if(holds.begin(), holds.end(),
                            [&](const Hold& h) { return h.kind == kind && h.target == key; });
  if (found == holds.end()) {
    error = std::string("no hold on the ") + KindName(kind) + " " + key;
    return false;
  }
  released = *found;
  holds.erase(found);
  if (!Write(holds, error)) return false;
  stamp_ = -1;
  return true;
}

bool CLegalHolds::Place(Hold hold, std::string& error) {
  if (hold.kind == Kind::kCall) hold.target = Absolute(hold.target);
  if (!Add(hold, error)) return false;
  const bool call = hold.kind == Kind::kCall;
  zel::AuditTrail::Record("hold set", call ? hold.target : "", hold.reason, call ? "" : hold.target);
  return true;
}

bool CLegalHolds::Release(Kind kind, const std::string& target, const std::string& why, std::string& error) {
  Hold released;
  if (!Remove(kind, target, released, error)) return false;
  const bool call = kind == Kind::kCall;
  zel::AuditTrail::Record("hold release", call ? released.target : "", why, call ? "" : released.target);
  return true;
}

std::vector<CLegalHolds::Hold> CLegalHolds::HoldsOn(const std::string& path, const std::string& callerId) {
  const std::string absolute = Absolute(path);
  std::vector<Hold> found;
  for (const auto& hold : Holds()) {
    if (hold.kind == Kind::kCall ? hold.target == absolute : hold.target == callerId) found.push_back(hold);
  }
  return found;
}

std::string CLegalHolds::Describe(const Hold& hold) {
  if (hold.when == 0) return "on legal hold: " + hold.reason;
  std::time_t when = static_cast<std::time_t>(hold.when);
  struct tm local {};
  localtime_r(&when, &local);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  std::string text = "on legal hold";
  if (hold.kind == Kind::kCaller) text += " (all calls of " + hold.target + ")";
  return text + " since " + date + " by " + hold.who + ": " + hold.reason;
}
