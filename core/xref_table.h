// The cross-reference table: object number to entry, held compactly. Files list up to
// millions of objects, so the table is two flat arrays (numbers ascending, entries
// beside them), and only the entries when the numbers are exactly 0 to n - 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace folioscan {

enum class XrefKind : std::uint16_t { Free = 0, InFile = 1, Compressed = 2 };

struct XrefEntry {
  XrefKind kind = XrefKind::Free;
  std::uint16_t generation = 0;  // InFile
  std::uint32_t stream = 0;      // Compressed: object number of the object stream
  std::uint64_t offset = 0;      // InFile: byte offset; Compressed: index in the stream
};

// Which entry a number keeps when it is given more than one.
enum class XrefKeep : std::uint8_t { First, Last };

class XrefTable {
 public:
  // Iterates in ascending object number, yielding (number, entry) pairs by value.
  class const_iterator {
   public:
    using value_type = std::pair<std::uint32_t, XrefEntry>;
    const_iterator(const XrefTable* table, std::size_t index) : table_(table), index_(index) {}
    value_type operator*() const { return {table_->number_at(index_), table_->entries_[index_]}; }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    friend bool operator==(const const_iterator&, const const_iterator&) = default;

   private:
    const XrefTable* table_;
    std::size_t index_;
  };

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, entries_.size()}; }

  // nullptr when the number has no entry.
  const XrefEntry* find(std::uint32_t num) const;
  bool contains(std::uint32_t num) const { return find(num) != nullptr; }
  // The entry of a number that has one.
  const XrefEntry& at(std::uint32_t num) const { return *find(num); }
  // The entry, added as Free when absent. Adding costs a move of the entries above it:
  // for building small tables by hand, not for loops over a file's numbers.
  XrefEntry& operator[](std::uint32_t num);

  // Adds the entries of `other`: where both have a number, First keeps this table's
  // entry and Last takes the other's. Numbers new to this table are added in ascending
  // order while the table holds fewer than `max_size` entries; the rest are dropped.
  void merge(XrefTable other, XrefKeep keep,
             std::size_t max_size = std::numeric_limits<std::size_t>::max());

 private:
  friend class XrefTableBuilder;
  std::uint32_t number_at(std::size_t index) const {
    return numbers_.empty() ? static_cast<std::uint32_t>(index) : numbers_[index];
  }
  // Drops the numbers when they are exactly 0 to n - 1.
  void compact();

  std::vector<std::uint32_t> numbers_;  // ascending; empty when dense
  std::vector<XrefEntry> entries_;
};

// Collects entries in any order, with repeats, and sorts them into a table once.
class XrefTableBuilder {
 public:
  void add(std::uint32_t num, const XrefEntry& entry);
  // Entries added so far, repeats included.
  std::size_t added() const { return entries_.size(); }
  // The table, with the first or the last entry added for each number; the builder is
  // left empty.
  [[nodiscard]] XrefTable finish(XrefKeep keep);

 private:
  std::vector<std::uint32_t> numbers_;
  std::vector<XrefEntry> entries_;
  bool ascending_ = true;  // strictly, so far: no sort needed
};

}  // namespace folioscan
