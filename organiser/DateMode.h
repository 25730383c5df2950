#pragma once
#include <optional>
#include <string_view>

// The date limit of a search (SearchCriteria::dateMode holds its number; any
// number not listed here sets no limit).
namespace zel {

enum class DateMode { All = 0, YesterdayAndToday = 1, Within7Days = 2, Within30Days = 3, Range = 4 };

struct DateModeInfo {
  DateMode mode;
  const char* name;   // the word zelctl takes and shows
  const char* label;  // the option of the "Create Recording List" dialog
  int days;           // how many days before today the limit reaches back; 0 none
};

// Every mode, in number order.
inline constexpr DateModeInfo kDateModes[] = {
    {DateMode::All, "all", "All dates", 0},
    {DateMode::YesterdayAndToday, "2days", "Yesterday and today", 1},
    {DateMode::Within7Days, "7days", "Within 7 days", 7},
    {DateMode::Within30Days, "30days", "Within 30 days", 30},
    {DateMode::Range, "range", "Specific date range", 0},
};

// The row of `mode`; null for a number outside the table.
const DateModeInfo* FindDateMode(int mode);
const DateModeInfo* FindDateMode(std::string_view name);
const char* DateModeName(DateMode mode);
std::optional<DateMode> DateModeFromName(std::string_view name);

}  // namespace zel
