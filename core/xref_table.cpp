// The compact cross-reference table: lookups by binary search (or by index when dense),
// merges in one pass over both tables, and the builder that sorts entries once.
#include "xref_table.h"

#include <algorithm>
#include <numeric>

namespace folioscan {

const XrefEntry* XrefTable::find(std::uint32_t num) const {
  if (numbers_.empty()) return num < entries_.size() ? &entries_[num] : nullptr;
  const auto it = std::lower_bound(numbers_.begin(), numbers_.end(), num);
  if (it == numbers_.end() || *it != num) return nullptr;
  return &entries_[static_cast<std::size_t>(it - numbers_.begin())];
}

XrefEntry& XrefTable::operator[](std::uint32_t num) {
  if (const XrefEntry* found = find(num)) return const_cast<XrefEntry&>(*found);
  if (numbers_.empty() && num == entries_.size()) {
    entries_.push_back(XrefEntry{});
    return entries_.back();
  }
  if (numbers_.empty()) {
    numbers_.resize(entries_.size());
    std::iota(numbers_.begin(), numbers_.end(), std::uint32_t{0});
  }
  const auto at = static_cast<std::size_t>(std::lower_bound(numbers_.begin(), numbers_.end(), num) - numbers_.begin());
  numbers_.insert(numbers_.begin() + static_cast<std::ptrdiff_t>(at), num);
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), XrefEntry{});
  return entries_[at];
}

void XrefTable::compact() {
  if (!numbers_.empty() && numbers_.back() == numbers_.size() - 1) {
    numbers_.clear();
    numbers_.shrink_to_fit();
  }
}

void XrefTable::merge(XrefTable other, XrefKeep keep, std::size_t max_size) {
  if (empty() && max_size >= other.size()) {
    *this = std::move(other);
    return;
  }
  // One pass over both ascending sequences into fresh arrays.
  XrefTable out;
  out.numbers_.reserve(std::min(max_size, size() + other.size()));
  out.entries_.reserve(out.numbers_.capacity());
  std::size_t i = 0;
  std::size_t j = 0;
  std::size_t added = size();
  const auto put = [&out](std::uint32_t num, const XrefEntry& entry) {
    out.numbers_.push_back(num);
    out.entries_.push_back(entry);
  };
  while (i < size() || j < other.size()) {
    const bool mine = i < size();
    const bool theirs = j < other.size();
    const std::uint32_t a = mine ? number_at(i) : 0;
    const std::uint32_t b = theirs ? other.number_at(j) : 0;
    if (mine && (!theirs || a < b)) {
      put(a, entries_[i++]);
    } else if (mine && a == b) {
      put(a, keep == XrefKeep::First ? entries_[i] : other.entries_[j]);
      ++i;
      ++j;
    } else {
      if (added < max_size) {
        put(b, other.entries_[j]);
        ++added;
      }
      ++j;
    }
  }
  out.compact();
  *this = std::move(out);
}

void XrefTableBuilder::add(std::uint32_t num, const XrefEntry& entry) {
  if (!numbers_.empty() && num <= numbers_.back()) ascending_ = false;
  numbers_.push_back(num);
  entries_.push_back(entry);
}

XrefTable XrefTableBuilder::finish(XrefKeep keep) {
  XrefTable table;
  if (ascending_) {
    table.numbers_ = std::move(numbers_);
    table.entries_ = std::move(entries_);
  } else {
    // A stable sort of the positions keeps repeats in the order they were added.
    std::vector<std::uint32_t> order(numbers_.size());
    std::iota(order.begin(), order.end(), std::uint32_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t x, std::uint32_t y) { return numbers_[x] < numbers_[y]; });
    for (std::size_t k = 0; k < order.size();) {
      std::size_t end = k + 1;
      while (end < order.size() && numbers_[order[end]] == numbers_[order[k]]) ++end;
      const std::uint32_t chosen = keep == XrefKeep::First ? order[k] : order[end - 1];
      table.numbers_.push_back(numbers_[chosen]);
      table.entries_.push_back(entries_[chosen]);
      k = end;
    }
  }
  numbers_ = {};
  entries_ = {};
  ascending_ = true;
  table.compact();
  return table;
}

}  // namespace folioscan
