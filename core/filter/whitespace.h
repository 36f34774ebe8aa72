// The six PDF white-space bytes (NUL, TAB, LF, FF, CR, SPACE) as the filters skip them;
// every other control byte, vertical tab included, is data.
#pragma once

#include <cstdint>

namespace folioscan {

inline bool is_pdf_whitespace(std::uint8_t b) {
  constexpr std::uint64_t kMask = (std::uint64_t{1} << 0x00) | (std::uint64_t{1} << 0x09) |
                                  (std::uint64_t{1} << 0x0A) | (std::uint64_t{1} << 0x0C) |
                                  (std::uint64_t{1} << 0x0D) | (std::uint64_t{1} << 0x20);
  return b < 64 && ((kMask >> b) & 1) != 0;
}

}  // namespace folioscan
