#include "organiser/ListColumn.h"

namespace zel {

namespace {
constexpr bool TableInNumberOrder() {
  for (int i = 0; i < kListColumnCount; ++i) {
    if (static_cast<int>(kListColumns[i].column) != i) return false;
  }
  return true;
}
static_assert(TableInNumberOrder(), "a column's row is found by its number");
}  // namespace

const ListColumnInfo& ColumnInfo(ListColumn column) { return kListColumns[static_cast<int>(column)]; }

std::optional<ListColumn> ListColumnFromNumber(int number) {
  if (number < 0 || number >= kListColumnCount) return std::nullopt;
  return static_cast<ListColumn>(number);
}

std::optional<ListColumn> ListColumnFromName(std::string_view name) {
  for (const ListColumnInfo& info : kListColumns) {
    if (name == info.name) return info.column;
  }
  return std::nullopt;
}

}  // namespace zel
