// ASCII85 decoding: groups of five digits "!".."u" to four bytes, "z" for four zeros,
// "~" ends the data, a final partial group of 2 to 4 digits gives 1 to 3 bytes.
#include "ascii85.h"

#include <algorithm>

#include "../lex.h"

namespace folioscan {

Result<Bytes> ascii85_decode(ByteView in, std::uint64_t max_output) {
  constexpr const char* kBad = "bad ASCII85 data";
  Bytes out;
  out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(in.size(), max_output)));
  std::uint32_t digits[5];
  unsigned filled = 0;

  // Appends the group value (wrapping modulo 2^32) as `count` bytes, most significant first.
  auto emit = [&](unsigned count) -> bool {
    std::uint32_t value = 0;
    for (std::uint32_t d : digits) value = value * 85 + d;
    // Checked before growing: "z" alone expands input fourfold.
    if (count > max_output - out.size()) return false;
    for (unsigned i = 0; i < count; ++i) out.push_back(static_cast<std::uint8_t>(value >> (24 - 8 * i)));
    return true;
  };

  for (const std::uint8_t b : in) {
    if (is_whitespace(b)) continue;
    if (b == '~') break;
    if (b == 'z') {
      if (filled != 0) return fail(ParseErrorKind::BadStream, kBad);
      std::fill(std::begin(digits), std::end(digits), 0);
      if (!emit(4)) return fail(ParseErrorKind::BadStream, kBad);
      continue;
    }
    if (b < '!' || b > 'u') return fail(ParseErrorKind::BadStream, kBad);
    digits[filled++] = b - '!';
    if (filled == 5) {
      if (!emit(4)) return fail(ParseErrorKind::BadStream, kBad);
      filled = 0;
    }
  }
  if (filled == 1) return fail(ParseErrorKind::BadStream, kBad);
  if (filled > 1) {
    std::fill(digits + filled, std::end(digits), 84);
    if (!emit(filled - 1)) return fail(ParseErrorKind::BadStream, kBad);
  }
  return out;
}

}  // namespace folioscan
