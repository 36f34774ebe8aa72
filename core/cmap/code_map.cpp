// CMap model operations: reading one code by the codespace ranges, code -> CID lookup,
// the text of Unicode CMap codes, and building disjoint ranges from entries in reading
// order.
#include "code_map.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <span>

#include "../utf8.h"
#include "cmap_limits.h"

namespace folioscan::cmap {
namespace {

bool in_range(const CodespaceRange& range, ByteView bytes, std::size_t pos, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t b = bytes[pos + i];
    if (b < range.low[i] || b > range.high[i]) return false;
  }
  return true;
}

CharCode code_at(ByteView bytes, std::size_t pos, std::size_t n) {
  CharCode code;
  for (std::size_t i = 0; i < n; ++i) code.value = code.value << 8 | bytes[pos + i];
  code.bytes = static_cast<std::uint8_t>(n);
  return code;
}

const CidRange* find_range(const std::vector<CidRange>& ranges, std::uint32_t value) {
  const auto it = std::upper_bound(ranges.begin(), ranges.end(), value,
                                   [](std::uint32_t v, const CidRange& r) { return v < r.low; });
  if (it == ranges.begin()) return nullptr;
  const CidRange& range = *std::prev(it);
  return value <= range.high ? &range : nullptr;
}

// The CID of `code`: the range's CID plus the code's offset in it, or (`constant`, a
// notdef range) the range's CID alone.
std::optional<std::uint32_t> lookup(const std::array<std::vector<CidRange>, 4>& table, CharCode code,
                                    bool constant) {
  if (code.bytes < 1 || code.bytes > 4) return std::nullopt;
  const CidRange* range = find_range(table[code.bytes - 1], code.value);
  if (range == nullptr) return std::nullopt;
  return constant ? range->cid : range->cid + (code.value - range->low);
}

std::optional<std::uint32_t> value_of(ByteView bytes) {
  if (bytes.empty() || bytes.size() > limits::kMaxCodeBytes) return std::nullopt;
  std::uint32_t value = 0;
  for (const std::uint8_t b : bytes) value = value << 8 | b;
  return value;
}

bool is_scalar(std::uint32_t cp) { return cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF); }

// The code point of a UTF-8 code of 1 to 4 bytes, none when it is not exactly one
// well-formed character (overlong forms and surrogates included).
std::optional<std::uint32_t> utf8_code_point(CharCode code) {
  const int n = code.bytes;
  std::array<std::uint8_t, 4> b{};
  for (int i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(code.value >> (8 * (n - 1 - i)));
  static constexpr std::uint8_t kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  static constexpr std::uint8_t kLeadBits[] = {0, 0x00, 0xC0, 0xE0, 0xF0};
  static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if ((b[0] & ~kLeadMask[n]) != kLeadBits[n]) return std::nullopt;
  std::uint32_t cp = b[0] & kLeadMask[n];
  for (int i = 1; i < n; ++i) {
    if ((b[i] & 0xC0) != 0x80) return std::nullopt;
    cp = cp << 6 | (b[i] & 0x3F);
  }
  if (cp < kMinimum[n] || !is_scalar(cp)) return std::nullopt;
  return cp;
}

CidRange piece(const CidRange& range, std::uint64_t from, std::uint64_t to, bool constant) {
  const std::uint64_t cid = constant ? range.cid : range.cid + (from - range.low);
  return {static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(to), static_cast<std::uint32_t>(cid)};
}

// `top` over `base`, both disjoint and ascending: the parts of base ranges that no top
// range covers, merged with the top ranges. Linear in the ranges and their overlaps.
std::vector<CidRange> overlay(const std::vector<CidRange>& base, std::span<const CidRange> top, bool constant) {
  std::vector<CidRange> pieces;
  pieces.reserve(base.size());
  std::size_t t = 0;
  for (const CidRange& b : base) {
    while (t < top.size() && top[t].high < b.low) ++t;
    std::uint64_t next = b.low;  // first code of b not yet placed
    for (std::size_t k = t; k < top.size() && top[k].low <= b.high; ++k) {
      if (top[k].low > next) pieces.push_back(piece(b, next, top[k].low - 1, constant));
      next = std::max<std::uint64_t>(next, std::uint64_t{top[k].high} + 1);
    }
    if (next <= b.high) pieces.push_back(piece(b, next, b.high, constant));
  }
  std::vector<CidRange> out(pieces.size() + top.size());
  std::merge(pieces.begin(), pieces.end(), top.begin(), top.end(), out.begin(),
             [](const CidRange& a, const CidRange& b) { return a.low < b.low; });
  return out;
}

// The general case, entries in any order: painted last to first onto the codes no later
// entry took. `covered` holds the merged painted intervals, so each is walked over once
// before it is merged.
std::vector<CidRange> paint(const std::vector<CidRange>& entries, bool constant) {
  std::map<std::uint64_t, std::uint64_t> covered;  // low -> high
  std::vector<CidRange> out;
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    const std::uint64_t low = entry->low;
    const std::uint64_t high = entry->high;
    auto it = covered.upper_bound(low);
    if (it != covered.begin() && std::prev(it)->second >= low) --it;
    std::uint64_t next = low;  // first code not yet examined
    std::uint64_t merged_low = low;
    std::uint64_t merged_high = high;
    while (it != covered.end() && it->first <= high) {
      if (it->first > next) out.push_back(piece(*entry, next, it->first - 1, constant));
      next = std::max(next, it->second + 1);
      merged_low = std::min(merged_low, it->first);
      merged_high = std::max(merged_high, it->second);
      it = covered.erase(it);
    }
    if (next <= high) out.push_back(piece(*entry, next, high, constant));
    covered.emplace(merged_low, merged_high);
  }
  std::sort(out.begin(), out.end(), [](const CidRange& a, const CidRange& b) { return a.low < b.low; });
  return out;
}

// Layers overlaid one by one cost ranges x layers; past this many, painting is cheaper.
constexpr std::size_t kMaxOverlaidLayers = 32;

// Disjoint ranges, ascending, from entries in reading order where later ones win
// (`constant`: notdef ranges, whose pieces keep the entry's CID). Entries usually come
// as a few ascending layers (a used map, then the overrides of the map that uses it),
// which are overlaid in order; other orders are painted.
std::vector<CidRange> resolve(std::vector<CidRange> entries, bool constant) {
  std::vector<std::size_t> layer_starts{0};
  for (std::size_t i = 1; i < entries.size(); ++i) {
    if (entries[i - 1].high >= entries[i].low) layer_starts.push_back(i);
  }
  std::vector<CidRange> out;
  if (layer_starts.size() == 1) {
    out = std::move(entries);
  } else if (layer_starts.size() <= kMaxOverlaidLayers) {
    layer_starts.push_back(entries.size());
    out.assign(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(layer_starts[1]));
    for (std::size_t l = 1; l + 1 < layer_starts.size(); ++l) {
      const std::span<const CidRange> top(entries.data() + layer_starts[l], layer_starts[l + 1] - layer_starts[l]);
      out = overlay(out, top, constant);
    }
  } else {
    out = paint(entries, constant);
  }
  // Pieces of one entry that later ones no longer split join again.
  std::vector<CidRange> joined;
  joined.reserve(out.size());
  for (const CidRange& range : out) {
    if (!joined.empty()) {
      CidRange& last = joined.back();
      const std::uint64_t next_cid = constant ? last.cid : std::uint64_t{last.cid} + (last.high - last.low) + 1;
      if (std::uint64_t{last.high} + 1 == range.low && next_cid == range.cid) {
        last.high = range.high;
        continue;
      }
    }
    joined.push_back(range);
  }
  return joined;
}

}  // namespace

CharCode next_code(const CodeMap& map, ByteView bytes, std::size_t pos) {
  if (pos >= bytes.size()) return {};
  const std::size_t left = bytes.size() - pos;
  if (map.codespace.empty()) return code_at(bytes, pos, std::min<std::size_t>(2, left));
  for (std::size_t n = 1; n <= 4 && n <= left; ++n) {
    for (const CodespaceRange& range : map.codespace) {
      if (range.bytes == n && in_range(range, bytes, pos, n)) return code_at(bytes, pos, n);
    }
  }
  // Bytes outside every range that the map names as a shorter code of their own (a
  // one-byte cidchar beside the three-byte range its byte leads) make that code.
  for (std::size_t n = 1; n <= 4 && n <= left; ++n) {
    const CharCode code = code_at(bytes, pos, n);
    if (lookup(map.cids, code, false)) return code;
  }
  std::size_t partial = 0;   // shortest range whose first byte matches
  std::size_t shortest = 4;  // shortest range
  for (const CodespaceRange& range : map.codespace) {
    shortest = std::min<std::size_t>(shortest, range.bytes);
    if (in_range(range, bytes, pos, 1) && (partial == 0 || range.bytes < partial)) partial = range.bytes;
  }
  const std::size_t n = partial != 0 ? partial : shortest;
  return code_at(bytes, pos, std::max<std::size_t>(1, std::min(n, left)));
}

std::optional<std::uint32_t> cid_for(const CodeMap& map, CharCode code) { return lookup(map.cids, code, false); }

std::uint32_t glyph_cid(const CodeMap& map, CharCode code) {
  if (const auto cid = lookup(map.cids, code, false)) return *cid;
  return lookup(map.notdefs, code, true).value_or(0);
}

bool append_code_text(CodeText form, CharCode code, std::string& out) {
  std::optional<std::uint32_t> cp;
  switch (form) {
    case CodeText::None:
      break;
    case CodeText::Ucs2:
      if (code.bytes == 2) cp = code.value;
      break;
    case CodeText::Utf16:
      if (code.bytes == 2) {
        cp = code.value;
      } else if (code.bytes == 4) {
        const std::uint32_t high = code.value >> 16;
        const std::uint32_t low = code.value & 0xFFFF;
        if (high >= 0xD800 && high <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
          cp = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
        }
      }
      break;
    case CodeText::Utf32:
      if (code.bytes == 4) cp = code.value;
      break;
    case CodeText::Utf8:
      if (code.bytes >= 1 && code.bytes <= 4) cp = utf8_code_point(code);
      break;
  }
  // A lone surrogate, a value past U+10FFFF and U+0000 say nothing.
  if (!cp || *cp == 0 || !is_scalar(*cp)) return false;
  append_utf8(out, *cp);
  return true;
}

std::size_t code_map_bytes(const CodeMap& map) {
  std::size_t bytes = sizeof(CodeMap) + map.name.size() + map.system.registry.size() + map.system.ordering.size() +
                      map.codespace.size() * sizeof(CodespaceRange);
  for (std::size_t i = 0; i < 4; ++i) bytes += (map.cids[i].size() + map.notdefs[i].size()) * sizeof(CidRange);
  return bytes;
}

bool CodeMapBuilder::full() const { return entries_ >= limits::kMaxCMapEntries; }
bool CodeMapBuilder::codespace_full() const { return codespace_.size() >= limits::kMaxCodespaceRanges; }

bool CodeMapBuilder::add_codespace(ByteView low, ByteView high) {
  if (low.size() != high.size() || low.empty() || low.size() > limits::kMaxCodeBytes) return false;
  if (codespace_full()) return false;
  CodespaceRange range;
  range.bytes = static_cast<std::uint8_t>(low.size());
  for (std::size_t i = 0; i < low.size(); ++i) {
    range.low[i] = low[i];
    range.high[i] = high[i];
  }
  codespace_.push_back(range);
  return true;
}

void CodeMapBuilder::add_codespace(const CodespaceRange& range) {
  if (range.bytes >= 1 && range.bytes <= 4 && !codespace_full()) {
    codespace_.push_back(range);
  }
}

bool CodeMapBuilder::add_cids(ByteView low, ByteView high, std::int64_t cid, bool notdef) {
  if (low.size() != high.size()) return false;
  const auto lo = value_of(low);
  const auto hi = value_of(high);
  if (!lo || !hi || *lo > *hi || cid < 0 || cid > limits::kMaxCid) return false;
  const std::uint64_t room = notdef ? 0xFFFFFFFFu : limits::kMaxCid - static_cast<std::uint64_t>(cid);
  const std::uint32_t last = static_cast<std::uint32_t>(std::min<std::uint64_t>(*hi, std::uint64_t{*lo} + room));
  return add_range(static_cast<std::uint8_t>(low.size()), {*lo, last, static_cast<std::uint32_t>(cid)}, notdef);
}

bool CodeMapBuilder::add_range(std::uint8_t bytes, const CidRange& range, bool notdef) {
  if (bytes < 1 || bytes > 4 || range.low > range.high || full()) return false;
  ranges_[notdef ? 1 : 0][bytes - 1].push_back(range);
  ++entries_;
  return true;
}

void CodeMapBuilder::include(const CodeMap& base) {
  for (const CodespaceRange& range : base.codespace) add_codespace(range);
  for (std::uint8_t bytes = 1; bytes <= 4; ++bytes) {
    for (const CidRange& range : base.cids[bytes - 1]) (void)add_range(bytes, range, false);
    for (const CidRange& range : base.notdefs[bytes - 1]) (void)add_range(bytes, range, true);
  }
}

CodeMap CodeMapBuilder::finish(CodeMap header) {
  CodeMap map = std::move(header);
  map.codespace = std::move(codespace_);
  if (map.codespace.empty()) {
    for (std::uint8_t bytes = 1; bytes <= 4; ++bytes) {
      if (ranges_[0][bytes - 1].empty() && ranges_[1][bytes - 1].empty()) continue;
      CodespaceRange full;
      full.bytes = bytes;
      for (std::size_t i = 0; i < bytes; ++i) full.high[i] = 0xFF;
      map.codespace.push_back(full);
    }
  }
  for (std::size_t i = 0; i < 4; ++i) {
    map.cids[i] = resolve(std::move(ranges_[0][i]), false);
    map.notdefs[i] = resolve(std::move(ranges_[1][i]), true);
  }
  *this = CodeMapBuilder();
  return map;
}

}  // namespace folioscan::cmap
