#pragma once
#include <optional>
#include <string_view>

// The columns of a recording list, left to right; sorting and the column widths
// of the settings use these numbers.
namespace zel {

enum class ListColumn {
  Encrypted = 0,
  Important = 1,
  UserId = 2,
  CallerId = 3,
  Archived = 4,
  DateTime = 5,
  Duration = 6,
  Bookmark = 7,
  Comment = 8,
};

inline constexpr int kListColumnCount = 9;

struct ListColumnInfo {
  ListColumn column;
  const char* name;    // the word zelctl takes for sorting
  const char* header;  // the header text of the list
  bool centred;        // header and icon centred in the column
  bool sortable;       // has a sort key (the encryption icon has none)
};

// Every column, in number order.
inline constexpr ListColumnInfo kListColumns[kListColumnCount] = {
    {ListColumn::Encrypted, "enc", "ENC", false, false},
    {ListColumn::Important, "important", "!", true, true},
    {ListColumn::UserId, "user", "User ID", false, true},
    {ListColumn::CallerId, "caller", "Caller ID", false, true},
    {ListColumn::Archived, "archived", "Archived", false, true},
    {ListColumn::DateTime, "date", "Date + Time", false, true},
    {ListColumn::Duration, "duration", "Duration", false, true},
    {ListColumn::Bookmark, "bookmark", "BM", true, true},
    {ListColumn::Comment, "comment", "Comment", false, true},
};

const ListColumnInfo& ColumnInfo(ListColumn column);
// The column numbered `number`, or none outside 0..8.
std::optional<ListColumn> ListColumnFromNumber(int number);
// The column named `name` (ListColumnInfo::name), or none.
std::optional<ListColumn> ListColumnFromName(std::string_view name);

}  // namespace zel
