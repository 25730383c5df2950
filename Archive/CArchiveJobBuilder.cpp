#include "Archive/CArchiveJobBuilder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

CArchiveJobBuilder::CArchiveJobBuilder() {
  Job_.SetUser(CurrentUser());
  Job_.SetJobTime(static_cast<int32_t>(std::time(nullptr)));
  Job_.SetState(0);
}

CArchiveJobBuilder& CArchiveJobBuilder::AddSource(const std::string& path) {
  Sources_.push_back(AbsolutePath(path));
  return *this;
}

CArchiveJobBuilder& CArchiveJobBuilder::SetTarget(const std::string& path) {
  Job_.SetTarget(path.empty() ? path : AbsolutePath(path));
  return *this;
}

CArchiveJobBuilder& CArchiveJobBuilder::SetArchiveType(zel::ArchiveType type) {
  Job_.SetArchiveType(type);
  return *this;
}

CArchiveJobBuilder& CArchiveJobBuilder::SetStructureType(zel::StructureType type) {
  Job_.SetStructureType(type);
  return *this;
}

CArchiveJobBuilder& CArchiveJobBuilder::SetSelectionType(zel::SelectionType type) {
  Job_.SetSelectionType(type);
  return *this;
}

CArchiveJobBuilder& CArchiveJobBuilder::SetMediaProcessing(zel::MediaProcessing value) {
  Job_.SetMediaProcessing(value);
  return *this;
}

CArchiveJobBuilder& CArchiveJobBuilder::SetThreshold(int32_t mib, bool cancelJob) {
  Job_.SetThreshold(mib);
  Job_.SetCancelJob(cancelJob ? 1 : 0);
  return *this;
}

CArchiveJobBuilder& CArchiveJobBuilder::SetUser(const std::string& user) {
  Job_.SetUser(user);
  return *this;
}

CArchiveJobBuilder& CArchiveJobBuilder::SetComment(const std::string& comment) {
  Job_.SetComment(comment);
  return *this;
}

CArchiveJobBuilder& CArchiveJobBuilder::SetJobTime(int64_t time) {
  Job_.SetJobTime(static_cast<int32_t>(time));
  return *this;
}

std::string CArchiveJobBuilder::Problem() const {
  if (Sources_.empty()) return "no source to archive";
  if (Job_.ArchiveType() == zel::ArchiveType::kNone || zel::TextOf(Job_.ArchiveType()) == nullptr) {
    return "unknown archive type";
  }
  if (Job_.Target().empty()) return "no archive target";
  if (zel::TextOf(Job_.StructureType()) == nullptr) return "unknown archive structure";
  if (zel::TextOf(Job_.SelectionType()) == nullptr) return "unknown selection";
  if (zel::TextOf(Job_.MediaProcessing()) == nullptr) return "unknown media processing";
  if (Job_.Threshold() < 0) return "the size limit must not be negative";
  return std::string();
}

CJobArchListEntry CArchiveJobBuilder::Build() const {
  CJobArchListEntry job = Job_;
  for (const std::string& path : Sources_) {
    CKlFileListEntry source;
    source.SetPath(path);
    job.AddSource(source);
  }
  job.SetCallCount(static_cast<int32_t>(Sources_.size()));
  return job;
}

std::string CArchiveJobBuilder::AbsolutePath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

std::string CArchiveJobBuilder::CurrentUser() {
  if (struct passwd* pw = ::getpwuid(::getuid())) return pw->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}
