// Test-only stand-in for the ToUnicode lookup so that this branch's tests link before the
// real ToUnicode module is merged. Delete this file when core/tounicode.cpp arrives.
#include "text.h"
#include "tounicode.h"

namespace folioscan {

bool lookup_tounicode(const ToUnicodeMap& map, std::uint32_t code, std::string& out) {
  if (const auto it = map.singles.find(code); it != map.singles.end()) {
    out += it->second;
    return true;
  }
  for (const ToUnicodeRange& range : map.ranges) {
    if (code < range.low || code > range.high) continue;
    const std::uint64_t cp = std::uint64_t{range.base} + (code - range.low);
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) continue;
    append_utf8(out, static_cast<std::uint32_t>(cp));
    return true;
  }
  return false;
}

}  // namespace folioscan
