#include "organiser/ListFilter.h"

#include <algorithm>
#include <string_view>

#include "core/Cp1252Case.h"
#include "recording/CKlFileListEntry.h"

namespace zel {

void ListFilter::SetText(const std::string& text, const EntryList& entries) {
  std::string upper = UpperCp1252(text);
  upper.erase(std::remove(upper.begin(), upper.end(), '\0'), upper.end());
  const bool narrower = Active() && upper.find(upper_) != std::string::npos;
  upper_ = std::move(upper);
  if (!Active()) {
    rows_ = {};
    return;
  }
  if (ends_.size() != entries.size()) {
    Refresh(entries);
  } else if (narrower) {
    // Whatever contains the longer text contains the shorter one.
    rows_.erase(std::remove_if(rows_.begin(), rows_.end(), [&](uint32_t i) { return !Keeps(i); }), rows_.end());
  } else {
    Scan();
  }
}

void ListFilter::Refresh(const EntryList& entries) {
  rows_.clear();
  if (!Active()) {
    Forget();
    return;
  }
  Fold(entries);
  Scan();
}

void ListFilter::Prepare(const EntryList& entries) {
  if (ends_.size() != entries.size() || entries.empty()) Fold(entries);
}

void ListFilter::Release() {
  folded_ = {};
  ends_ = {};
}

void ListFilter::Scan() {
  rows_.clear();
  for (size_t i = 0; i < ends_.size(); ++i) {
    if (Keeps(i)) rows_.push_back(static_cast<uint32_t>(i));
  }
}

void ListFilter::Fold(const EntryList& entries) {
  folded_.clear();
  ends_.clear();
  ends_.reserve(entries.size());
  for (const auto& entry : entries) {
    AppendFilterText(*entry, folded_);
    ends_.push_back(folded_.size());
  }
}

bool ListFilter::Keeps(size_t index) const {
  const size_t start = index == 0 ? 0 : ends_[index - 1];
  return std::string_view(folded_.data() + start, ends_[index] - start).find(upper_) != std::string_view::npos;
}

long ListFilter::RowOfEntry(size_t index) const {
  if (!Active()) return static_cast<long>(index);
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), index);
  return it != rows_.end() && *it == index ? static_cast<long>(it - rows_.begin()) : -1;
}

}  // namespace zel
