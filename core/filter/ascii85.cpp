// ASCII85 decoding: groups of five digits "!".."u" to four bytes, "z" for four zeros,
// "~" ends the data, a final partial group of 2 to 4 digits gives 1 to 3 bytes.
#include "ascii85.h"

#include <algorithm>

#include "../lex.h"

namespace folioscan {

namespace {

// A digit "!".."u" as its value 0-84; larger for every other byte.
inline std::uint32_t digit_of(std::uint8_t b) { return static_cast<std::uint8_t>(b - '!'); }

}  // namespace

Result<Bytes> ascii85_decode(ByteView in, std::uint64_t max_output) {
  constexpr const char* kBad = "bad ASCII85 data";
  Bytes out;
  // Written through a cursor into a buffer sized ahead (not byte by byte with push_back);
  // the buffer is cut to the bytes written at the end.
  out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(in.size(), max_output)));
  std::size_t written = 0;
  std::uint32_t digits[5];
  unsigned filled = 0;

  // Room for `count` more bytes; false when that would pass max_output. Checked before
  // growing: "z" alone expands input fourfold.
  auto room = [&](unsigned count) -> bool {
    if (count > max_output - written) return false;
    if (written + count > out.size()) {
      const std::uint64_t grown = std::max<std::uint64_t>(std::uint64_t{out.size()} * 2, written + count);
      out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(grown, max_output)));
    }
    return true;
  };
  // Stores a group value (wrapping modulo 2^32) as `count` bytes, most significant first.
  auto put = [&](std::uint32_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i) out[written++] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  };
  auto emit = [&](unsigned count) -> bool {
    std::uint32_t value = 0;
    for (std::uint32_t d : digits) value = value * 85 + d;
    if (!room(count)) return false;
    put(value, count);
    return true;
  };

  const std::uint8_t* p = in.data();
  const std::uint8_t* const end = p + in.size();
  while (p < end) {
    // Fast path: five digits in a row start a group; the same value as digit by digit.
    if (filled == 0 && end - p >= 5) {
      const std::uint32_t d0 = digit_of(p[0]), d1 = digit_of(p[1]), d2 = digit_of(p[2]),
                          d3 = digit_of(p[3]), d4 = digit_of(p[4]);
      if (d0 <= 84 && d1 <= 84 && d2 <= 84 && d3 <= 84 && d4 <= 84) {
        if (!room(4)) return fail(ParseErrorKind::BadStream, kBad);
        put((((d0 * 85 + d1) * 85 + d2) * 85 + d3) * 85 + d4, 4);
        p += 5;
        continue;
      }
    }
    const std::uint8_t b = *p++;
    if (is_whitespace(b)) continue;
    if (b == '~') break;
    if (b == 'z') {
      if (filled != 0) return fail(ParseErrorKind::BadStream, kBad);
      std::fill(std::begin(digits), std::end(digits), 0);
      if (!emit(4)) return fail(ParseErrorKind::BadStream, kBad);
      continue;
    }
    if (digit_of(b) > 84) return fail(ParseErrorKind::BadStream, kBad);
    digits[filled++] = digit_of(b);
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
  out.resize(written);
  return out;
}

}  // namespace folioscan
