// The predefined CMaps: the generated rows (predefined_cmaps.inc), the two Identity
// CMaps, and decoding a row's byte streams (its parent's first, then a shared Unicode
// table in the row's code form, then its own entries) into a CodeMap.
#include "predefined.h"

#include <algorithm>
#include <array>
#include <span>

#include "cmap_limits.h"

namespace folioscan::cmap {
namespace {

struct PredefinedRow {
  std::string_view name;
  Ordering ordering;
  std::uint8_t supplement;
  std::uint8_t vertical;
  CodeText code_text;
  std::int16_t parent;         // row index, -1: none
  std::int8_t unicode_table;   // into kUnicodeTables, -1: none
  std::uint16_t codespace_first;
  std::uint8_t codespace_count;
  std::uint32_t data_first;    // own entries in kCMapData
  std::uint32_t data_size;
};

struct CodespaceRow {
  std::uint8_t bytes;
  std::uint32_t low;  // big-endian bytes
  std::uint32_t high;
};

struct UnicodeTableRow {
  std::uint32_t data_first;
  std::uint32_t data_size;
};

#include "predefined_cmaps.inc"

constexpr bool rows_sorted() {
  for (std::size_t i = 1; i < kPredefined.size(); ++i) {
    if (!(kPredefined[i - 1].name < kPredefined[i].name)) return false;
  }
  return true;
}
static_assert(rows_sorted());

constexpr bool rows_consistent() {
  for (std::size_t i = 0; i < kPredefined.size(); ++i) {
    const PredefinedRow& row = kPredefined[i];
    // A parent comes from the same files; chains are short and never loop, which the
    // build checks by walking them.
    if (row.parent >= static_cast<std::int16_t>(kPredefined.size()) || row.parent == static_cast<std::int16_t>(i)) {
      return false;
    }
    if (row.unicode_table >= static_cast<std::int8_t>(kUnicodeTables.size())) return false;
    if (std::size_t{row.codespace_first} + row.codespace_count > kCodespaces.size()) return false;
    if (std::size_t{row.data_first} + row.data_size > kCMapDataSize) return false;
    std::size_t depth = 0;
    for (std::int16_t p = row.parent; p >= 0; p = kPredefined[static_cast<std::size_t>(p)].parent) {
      if (++depth > 4) return false;
    }
  }
  return true;
}
static_assert(rows_consistent());

constexpr std::string_view kIdentityH = "Identity-H";
constexpr std::string_view kIdentityV = "Identity-V";

const std::uint8_t* data_at(std::uint32_t offset) {
  return reinterpret_cast<const std::uint8_t*>(kCMapData) + offset;
}

// Unsigned LEB128 numbers from a stream of the tables; any overrun marks it broken.
class StreamReader {
 public:
  explicit StreamReader(std::span<const std::uint8_t> data) : data_(data) {}

  bool at_end() const { return pos_ >= data_.size(); }
  bool ok() const { return ok_; }
  std::uint8_t byte() {
    if (pos_ >= data_.size()) {
      ok_ = false;
      return 0;
    }
    return data_[pos_++];
  }
  std::uint64_t number() {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const std::uint8_t b = byte();
      value |= std::uint64_t{b & 0x7Fu} << shift;
      if (b < 0x80) return value;
    }
    ok_ = false;
    return 0;
  }
  std::int64_t signed_number() {
    const std::uint64_t z = number();
    return (z & 1) != 0 ? -static_cast<std::int64_t>(z >> 1) - 1 : static_cast<std::int64_t>(z >> 1);
  }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// The code of code point `cp` in a Unicode CMap's form; bytes 0 when it has none.
CharCode unicode_code(std::uint32_t cp, CodeText form) {
  switch (form) {
    case CodeText::Utf32:
      return {cp, 4};
    case CodeText::Ucs2:
      return cp <= 0xFFFF ? CharCode{cp, 2} : CharCode{};
    case CodeText::Utf16:
      if (cp <= 0xFFFF) return {cp, 2};
      cp -= 0x10000;
      return {(0xD800 + (cp >> 10)) << 16 | (0xDC00 + (cp & 0x3FF)), 4};
    case CodeText::Utf8:
      if (cp < 0x80) return {cp, 1};
      if (cp < 0x800) return {(0xC0 | cp >> 6) << 8 | (0x80 | (cp & 0x3F)), 2};
      if (cp < 0x10000) {
        return {(0xE0 | cp >> 12) << 16 | (0x80 | (cp >> 6 & 0x3F)) << 8 | (0x80 | (cp & 0x3F)), 3};
      }
      return {(0xF0 | cp >> 18) << 24 | (0x80 | (cp >> 12 & 0x3F)) << 16 | (0x80 | (cp >> 6 & 0x3F)) << 8 |
                  (0x80 | (cp & 0x3F)),
              4};
    case CodeText::None:
      break;
  }
  return {};
}

// Joins codes that follow each other (same byte count, next value, next CID) into
// ranges: a run of code points becomes one range per stretch its code form keeps
// consecutive (UTF-8 breaks at each new last-byte block, UTF-16 at each new high
// surrogate).
class RangeJoiner {
 public:
  explicit RangeJoiner(CodeMapBuilder& builder) : builder_(builder) {}
  ~RangeJoiner() { flush(); }

  void add(CharCode code, std::uint32_t cid) {
    if (bytes_ == code.bytes && std::uint64_t{range_.high} + 1 == code.value &&
        std::uint64_t{range_.cid} + (range_.high - range_.low) + 1 == cid) {
      range_.high = code.value;
      return;
    }
    flush();
    bytes_ = code.bytes;
    range_ = {code.value, code.value, cid};
  }

 private:
  void flush() {
    if (bytes_ != 0) (void)builder_.add_range(bytes_, range_);
    bytes_ = 0;
  }

  CodeMapBuilder& builder_;
  std::uint8_t bytes_ = 0;
  CidRange range_;
};

// A stream of groups (see scripts/make_cmaps.py): each a tag (kind << 4 | code bytes)
// and runs of (gap, count - 1, CID delta); a notdef run gives all its codes one CID. A
// Unicode table's groups have code bytes 0 and are turned into codes of `form`. False
// when the stream is broken.
bool decode_stream(std::span<const std::uint8_t> data, CodeText form, CodeMapBuilder& builder) {
  StreamReader reader(data);
  while (!reader.at_end() && reader.ok()) {
    const std::uint8_t tag = reader.byte();
    const std::uint8_t bytes = tag & 0x0F;
    const bool notdef = (tag >> 4) == 1;
    if ((tag >> 4) > 1 || bytes > 4 || (bytes == 0 && (notdef || form == CodeText::None))) return false;
    const std::uint64_t runs = reader.number();
    std::uint64_t end = 0;
    std::int64_t end_cid = 0;
    RangeJoiner joiner(builder);
    for (std::uint64_t r = 0; r < runs && reader.ok(); ++r) {
      const std::uint64_t first = end + reader.number();
      const std::uint64_t count = reader.number() + 1;
      const std::int64_t cid = end_cid + reader.signed_number();
      const std::int64_t last_cid = notdef ? cid : cid + static_cast<std::int64_t>(count) - 1;
      if (first + count - 1 > 0xFFFFFFFFu || cid < 0 || last_cid > limits::kMaxCid) return false;
      if (bytes != 0) {
        (void)builder.add_range(bytes, {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(first + count - 1),
                                  static_cast<std::uint32_t>(cid)},
                          notdef);
      } else {
        for (std::uint64_t k = 0; k < count; ++k) {
          const CharCode code = unicode_code(static_cast<std::uint32_t>(first + k), form);
          if (code.bytes != 0) joiner.add(code, static_cast<std::uint32_t>(cid + static_cast<std::int64_t>(k)));
        }
      }
      end = first + count;
      end_cid = notdef ? cid : cid + static_cast<std::int64_t>(count);
    }
  }
  return reader.ok();
}

CodespaceRange codespace_of(const CodespaceRow& row) {
  CodespaceRange range;
  range.bytes = row.bytes;
  for (std::size_t i = 0; i < row.bytes; ++i) {
    const unsigned shift = 8 * static_cast<unsigned>(row.bytes - 1 - i);
    range.low[i] = static_cast<std::uint8_t>(row.low >> shift);
    range.high[i] = static_cast<std::uint8_t>(row.high >> shift);
  }
  return range;
}

PredefinedInfo info_of(const PredefinedRow& row) {
  return {row.name, row.ordering, row.supplement, row.vertical != 0, row.code_text};
}

CodeMap header_of(const PredefinedInfo& info) {
  CodeMap header;
  header.name = std::string(info.name);
  header.system = {"Adobe", std::string(ordering_name(info.ordering)), info.supplement};
  header.vertical = info.vertical;
  header.code_text = info.code_text;
  return header;
}

std::optional<CodeMap> build_row(std::size_t index) {
  const PredefinedRow& row = kPredefined[index];
  CodeMapBuilder builder;
  if (row.parent >= 0) {
    const auto parent = build_row(static_cast<std::size_t>(row.parent));
    if (!parent) return std::nullopt;
    builder.include(*parent);
  }
  for (std::size_t i = 0; i < row.codespace_count; ++i) {
    builder.add_codespace(codespace_of(kCodespaces[row.codespace_first + i]));
  }
  if (row.unicode_table >= 0) {
    const UnicodeTableRow& table = kUnicodeTables[static_cast<std::size_t>(row.unicode_table)];
    if (!decode_stream({data_at(table.data_first), table.data_size}, row.code_text, builder)) return std::nullopt;
  }
  if (!decode_stream({data_at(row.data_first), row.data_size}, row.code_text, builder)) return std::nullopt;
  return builder.finish(header_of(info_of(row)));
}

const PredefinedRow* row_named(std::string_view name) {
  const auto* it = std::lower_bound(kPredefined.begin(), kPredefined.end(), name,
                                    [](const PredefinedRow& row, std::string_view n) { return row.name < n; });
  if (it == kPredefined.end() || it->name != name) return nullptr;
  return it;
}

}  // namespace

std::optional<PredefinedInfo> predefined_cmap_info(std::string_view name) {
  if (name == kIdentityH || name == kIdentityV) {
    return PredefinedInfo{name == kIdentityH ? kIdentityH : kIdentityV, Ordering::Identity, 0, name == kIdentityV,
                          CodeText::None};
  }
  const PredefinedRow* row = row_named(name);
  if (row == nullptr) return std::nullopt;
  return info_of(*row);
}

std::optional<CodeMap> predefined_cmap(std::string_view name) {
  if (name == kIdentityH || name == kIdentityV) {
    // Two-byte codes, each its own CID.
    CodeMapBuilder builder;
    const std::uint8_t low[] = {0x00, 0x00};
    const std::uint8_t high[] = {0xFF, 0xFF};
    (void)builder.add_codespace(low, high);
    (void)builder.add_cids(low, high, 0);
    return builder.finish(header_of(*predefined_cmap_info(name)));
  }
  const PredefinedRow* row = row_named(name);
  if (row == nullptr) return std::nullopt;
  return build_row(static_cast<std::size_t>(row - kPredefined.data()));
}

std::size_t predefined_cmap_count() { return kPredefined.size() + 2; }

PredefinedInfo predefined_cmap_at(std::size_t index) {
  if (index < kPredefined.size()) return info_of(kPredefined[index]);
  return *predefined_cmap_info(index == kPredefined.size() ? kIdentityH : kIdentityV);
}

}  // namespace folioscan::cmap
