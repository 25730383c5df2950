#include "organiser/CreateListForm.h"

#include <algorithm>
#include <ctime>
#include <limits>

#include "organiser/DateMode.h"
#include "organiser/SourceFolderList.h"

namespace zel {
namespace {

// The criteria hold 32-bit times: a day beyond their reach means "as far as they go".
int ToCriteriaTime(long long seconds) {
  return static_cast<int>(std::clamp<long long>(seconds, 0, std::numeric_limits<int>::max()));
}

}  // namespace

CreateListForm::CreateListForm(std::vector<std::string> folders)
    : folders_(std::move(folders)), dateMode_(static_cast<int>(zel::DateMode::Within30Days)) {
  selected_ = static_cast<int>(folders_.size()) - 1;
}

void CreateListForm::Select(int index) {
  selected_ = index >= 0 && index < static_cast<int>(folders_.size()) ? index : -1;
}

bool CreateListForm::Add(const std::string& folder) {
  const int index = AddSourceFolder(folders_, folder, includeSubfolders_);
  if (index < 0) return false;
  selected_ = index;
  return true;
}

bool CreateListForm::RemoveSelected() {
  if (selected_ < 0 || selected_ >= static_cast<int>(folders_.size())) return false;
  folders_.erase(folders_.begin() + selected_);
  // The line before keeps the keyboard on the list; removing the first line
  // selects the new first one rather than nothing.
  Select(selected_ > 0 ? selected_ - 1 : 0);
  return true;
}

void CreateListForm::SetIncludeSubfolders(bool include) {
  if (include == includeSubfolders_) return;
  includeSubfolders_ = include;
  if (!include) return;
  RemoveContainedFolders(folders_);
  Select(0);
}

bool CreateListForm::ShowsDateRange() const { return dateMode_ == static_cast<int>(zel::DateMode::Range); }

void CreateListForm::SetRange(const LocalDate& after, const LocalDate& before) {
  after_ = after;
  before_ = before;
}

void CreateListForm::SetLimitByLength(bool limit) {
  limitByLength_ = limit;
  minMinutes_ = 0;
}

void CreateListForm::SetMinMinutes(int minutes) { minMinutes_ = SpinMinutes(minutes, 0); }

SearchCriteria CreateListForm::Criteria() const {
  SearchCriteria criteria;
  criteria.folders = folders_;
  criteria.includeSubfolders = includeSubfolders_ ? 1 : 0;
  criteria.nameMask = nameMask_;
  criteria.callerIdMask = callerIdMask_;
  criteria.commentMask = commentMask_;
  criteria.dateMode = dateMode_;
  criteria.rangeStart = ToCriteriaTime(LocalTimeToUnix(after_, 0, 0, 0));
  criteria.rangeEnd = ToCriteriaTime(LocalTimeToUnix(before_, 23, 59, 59));
  criteria.limitByLength = limitByLength_ ? 1 : 0;
  criteria.minMinutes = limitByLength_ ? minMinutes_ : 0;
  return criteria;
}

long long LocalTimeToUnix(const LocalDate& date, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = date.year - 1900;
  local.tm_mon = date.month - 1;
  local.tm_mday = date.day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;  // let the zone decide whether that day is in summer time
  return static_cast<long long>(std::mktime(&local));
}

}  // namespace zel
