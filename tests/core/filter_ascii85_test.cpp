// The ASCII85 decoder: known encodings, the group rules, the output bound, and agreement
// with a digit-at-a-time reference on random inputs (the decoder reads whole groups at
// once where it can).
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "filter/ascii85.h"

namespace folioscan {
namespace {

ByteView view(std::string_view s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

// "ok:<bytes>" or the error's display form.
std::string decode(std::string_view in, std::uint64_t max_output = limits::kMaxDecodedBytes) {
  const auto out = ascii85_decode(view(in), max_output);
  if (!out) return out.error().display();
  return "ok:" + std::string(out->begin(), out->end());
}

// The plain reading, one byte at a time: white space skipped anywhere, "~" ends, "z"
// only between groups, digits "!".."u", a final group of 2 to 4 digits padded with "u".
std::string reference(std::string_view in, std::uint64_t max_output) {
  const std::string bad = "BadStream: bad ASCII85 data";
  std::string out;
  std::uint32_t digits[5] = {};
  unsigned filled = 0;
  auto emit = [&](unsigned count) {
    std::uint32_t value = 0;
    for (std::uint32_t d : digits) value = value * 85 + d;
    if (count > max_output - out.size()) return false;
    for (unsigned i = 0; i < count; ++i) out += static_cast<char>(value >> (24 - 8 * i));
    return true;
  };
  for (const char c : in) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b == 0 || b == 9 || b == 10 || b == 12 || b == 13 || b == 32) continue;
    if (b == '~') break;
    if (b == 'z') {
      if (filled != 0) return bad;
      for (auto& d : digits) d = 0;
      if (!emit(4)) return bad;
      continue;
    }
    if (b < '!' || b > 'u') return bad;
    digits[filled++] = b - '!';
    if (filled == 5) {
      if (!emit(4)) return bad;
      filled = 0;
    }
  }
  if (filled == 1) return bad;
  if (filled > 1) {
    for (unsigned i = filled; i < 5; ++i) digits[i] = 84;
    if (!emit(filled - 1)) return bad;
  }
  return "ok:" + out;
}

TEST(Ascii85, DecodesKnownEncodings) {
  const struct {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"87cURD_*#TDfTZ)+T", "Hello, world!"},
      {"87cUR D_*#T\nDfTZ)\r\n+T~>", "Hello, world!"},
      {"z@:E^", std::string_view("\0\0\0\0abc", 7)},
      {"", ""},
      {"~>garbage{", ""},
      {"s8W-!", "\xFF\xFF\xFF\xFF"},
      {"uuuuu", "\x08\x78\x0E\xC4"},  // 85^5 - 1 wraps modulo 2^32
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.in), "ok:" + std::string(c.out)) << c.in;
}

TEST(Ascii85, PartialGroupsAndBadBytes) {
  EXPECT_EQ(decode("87cU"), "ok:Hel");  // four digits give three bytes
  EXPECT_EQ(decode("87"), "ok:H");
  // A lone final digit, "z" inside a group, bytes outside "!".."u" (vertical tab is not
  // white space here).
  for (std::string_view in : {"8", "87cURD_*#TD~", "abz", "87cU{RD", "87cURv", "\x0B"}) {
    EXPECT_EQ(decode(in), "BadStream: bad ASCII85 data") << in;
  }
}

TEST(Ascii85, OutputBoundCountsEveryGroup) {
  EXPECT_EQ(decode("87cURD_*#T", 8), "ok:Hello, w");
  EXPECT_EQ(decode("87cURD_*#T", 7), "BadStream: bad ASCII85 data");
  EXPECT_EQ(decode("zzz", 12), std::string("ok:") + std::string(12, '\0'));
  EXPECT_EQ(decode("zzz", 11), "BadStream: bad ASCII85 data");
  EXPECT_EQ(decode("87cURD]", 5), "ok:Hello");
  EXPECT_EQ(decode("87cURD]", 4), "BadStream: bad ASCII85 data");
}

TEST(Ascii85, AgreesWithTheDigitByDigitReadingOnRandomInputs) {
  // Mostly digits, so that long runs take the group-at-a-time path, with white space,
  // "z", "~" and stray bytes mixed in, and bounds that cut some outputs short.
  std::mt19937 rng(85);
  const std::string_view extras("  \n\r\t\0zzz~{vw\x80", 15);
  for (int round = 0; round < 4000; ++round) {
    std::string in;
    const int length = static_cast<int>(rng() % 60);
    for (int i = 0; i < length; ++i) {
      if (rng() % 16 == 0) {
        in += extras[rng() % extras.size()];
      } else {
        in += static_cast<char>('!' + rng() % 85);
      }
    }
    const std::uint64_t bound = round % 3 == 0 ? rng() % 40 : limits::kMaxDecodedBytes;
    ASSERT_EQ(decode(in, bound), reference(in, bound)) << "input " << testing::PrintToString(in);
  }
}

}  // namespace
}  // namespace folioscan
