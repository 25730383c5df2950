#pragma once
#include <string>
#include <vector>

#include "organiser/SearchCriteria.h"

// What the "Create Recording List" dialog holds, without its widgets: the source
// lines with their selection, the subfolder switch and the limits. The dialog
// shows this state and forwards every user action here, so the rules can be tested
// without a window.
namespace zel {

struct LocalDate {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
};

class CreateListForm {
 public:
  // Opening with folders lists them and selects the last line. Sub-folders are
  // included and "Within 30 days" is the date rule on open.
  explicit CreateListForm(std::vector<std::string> folders = {});

  const std::vector<std::string>& Folders() const { return folders_; }
  // The selected line, -1 for none.
  int Selected() const { return selected_; }
  // Selects `index`; an index outside the list selects nothing.
  void Select(int index);

  // "Add...": the picked folder by the folder-list rules; false when it is
  // already covered by a line (nothing changes then).
  bool Add(const std::string& folder);
  // "Remove": deletes the selected line and selects the one before it (the new
  // first line when the first went); false when nothing was selected.
  bool RemoveSelected();
  // "Compile" and "Remove" are usable only while the list has lines.
  bool CanCompile() const { return !folders_.empty(); }

  bool IncludeSubfolders() const { return includeSubfolders_; }
  // Ticking the box drops every line contained in another and selects the first.
  void SetIncludeSubfolders(bool include);

  int DateRule() const { return dateMode_; }
  void SetDateRule(int mode) { dateMode_ = mode; }
  // The two date pickers belong to the range mode only.
  bool ShowsDateRange() const;
  void SetRange(const LocalDate& after, const LocalDate& before);

  bool LimitByLength() const { return limitByLength_; }
  // Either length choice starts the minutes again from 0.
  void SetLimitByLength(bool limit);
  int MinMinutes() const { return minMinutes_; }
  // Clamped to 0..300.
  void SetMinMinutes(int minutes);

  void SetNameMask(const std::string& mask) { nameMask_ = mask; }
  void SetCallerIdMask(const std::string& mask) { callerIdMask_ = mask; }
  void SetCommentMask(const std::string& mask) { commentMask_ = mask; }

  // The criteria of the search the user asked for. The range runs from the first
  // date's local midnight to 23:59:59 local time of the second, held within the
  // criteria's 32-bit times (1970 to January 2038).
  SearchCriteria Criteria() const;

 private:
  std::vector<std::string> folders_;
  int selected_ = -1;
  bool includeSubfolders_ = true;
  std::string nameMask_ = "*";
  std::string callerIdMask_ = "*";
  std::string commentMask_ = "*";
  int dateMode_;
  LocalDate after_;
  LocalDate before_;
  bool limitByLength_ = false;
  int minMinutes_ = 0;
};

// Unix seconds of a local wall-clock time (daylight saving as the zone has it on
// that day).
long long LocalTimeToUnix(const LocalDate& date, int hour, int minute, int second);

}  // namespace zel
