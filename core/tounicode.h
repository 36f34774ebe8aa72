// ToUnicode CMaps: bfchar and bfrange blocks mapping character codes to text.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "cos.h"

namespace folioscan {

struct ToUnicodeRange {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  std::uint32_t base = 0;  // code point of `low`
};

struct ToUnicodeMap {
  std::unordered_map<std::uint32_t, std::string> singles;  // UTF-8, possibly empty
  std::vector<ToUnicodeRange> ranges;                      // in reading order
};

// Never fails; damaged entries are skipped one by one.
ToUnicodeMap parse_tounicode(ByteView data);
// Appends the text for `code` to `out` and returns true, or returns false (no entry).
bool lookup_tounicode(const ToUnicodeMap& map, std::uint32_t code, std::string& out);

}  // namespace folioscan
