// ToUnicode CMaps: bfchar and bfrange blocks mapping character codes to text (in the
// recovery reading also a used CID -> Unicode CMap).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cmap/cid_unicode.h"
#include "cos/object.h"

namespace folioscan {

struct ToUnicodeRange {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  std::uint32_t base = 0;  // code point of `low`
};

// Codes low..high that map through ranges[range]: the first range in reading order
// that holds the code and gives it a valid code point.
struct ToUnicodeSegment {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  std::uint32_t range = 0;
};

struct ToUnicodeMap {
  std::unordered_map<std::uint32_t, std::string> singles;  // UTF-8, possibly empty
  std::vector<ToUnicodeRange> ranges;                      // in reading order
  // Built from `ranges` by parse_tounicode: disjoint, ascending. A lookup scanning every
  // range would cost ranges × codes per page (a 2.5 MB map and content, ~10^11 steps).
  std::vector<ToUnicodeSegment> segments;
  bool indexed = false;  // segments are built; else lookups scan `ranges`
  // Recovery: "/Adobe-Korea1-UCS2 usecmap" (issue5010.pdf): codes none of the above
  // maps are CIDs of that collection, which gives their text.
  std::optional<cmap::Ordering> cid_ordering;
};

// Builds `segments` from `ranges` and sets `indexed`.
void index_tounicode_ranges(ToUnicodeMap& map);

// Never fails; damaged entries are skipped one by one. With `recover`, a usecmap naming
// a collection's CID -> Unicode CMap sets `cid_ordering`. Cidchar and cidrange blocks
// stay ignored in both readings: in a ToUnicode stream they are a code -> CID map copied
// in (issue5801.pdf carries Identity-H, which would give glyph numbers as text).
ToUnicodeMap parse_tounicode(ByteView data, bool recover = false);
// Appends the text for `code` to `out` and returns true, or returns false (no entry).
bool lookup_tounicode(const ToUnicodeMap& map, std::uint32_t code, std::string& out);

}  // namespace folioscan
