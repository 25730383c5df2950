#include "Archive/CJobArchListEntry.h"

#include <ctime>

CJobArchListEntry::CJobArchListEntry() = default;
CJobArchListEntry::~CJobArchListEntry() = default;

void CJobArchListEntry::SetJobTime(int32_t time) {
  JobTime_ = time;
  DateTimeText_ = zel::CutUtf8(zel::JobDateTimeText(time), kTextWidth);
}

void CJobArchListEntry::SetTarget(const std::string& text) { Target_ = zel::CutUtf8(text, kTargetWidth); }
void CJobArchListEntry::SetUser(const std::string& text) { User_ = zel::CutUtf8(text, kUserWidth); }
void CJobArchListEntry::SetSpareText(const std::string& text) { SpareText_ = zel::CutUtf8(text, kTextWidth); }
void CJobArchListEntry::SetComment(const std::string& text) { Comment_ = zel::CutUtf8(text, kCommentWidth); }

void CJobArchListEntry::AddSource(const CKlFileListEntry& entry) {
  Sources_.push_back(entry);
  TotalDuration_ += entry.Duration();
}

namespace zel {

std::string CutUtf8(const std::string& text, size_t width) {
  if (text.size() <= width) return text;
  size_t end = width;
  // Step back over continuation bytes so that no character is split.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

namespace {
std::string FormatLocal(int64_t time, const char* format) {
  time_t t = static_cast<time_t>(time);
  struct tm local {};
  if (localtime_r(&t, &local) == nullptr) return std::string();
  char buffer[256];
  size_t n = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, n);
}
}  // namespace

std::string JobDateTimeText(int64_t time) { return FormatLocal(time, "%x %H:%M"); }

std::string FileNameDateTime(int64_t time) {
  std::string text = FormatLocal(time, "%x %X");
  if (text.empty()) return "Invalid DateTime";
  for (char& c : text) {
    if (c == '.' || c == '/' || c == '\\' || c == ':') c = '_';
  }
  return text;
}

}  // namespace zel
