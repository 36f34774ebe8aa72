// ASCII85 decoder: full and partial groups, "z", "~", white space, wrapping groups,
// rejected bytes and the output bound.
#include "filter/ascii85.h"

#include <gtest/gtest.h>

#include <string_view>

namespace folioscan {
namespace {

Result<Bytes> decode(std::string_view s) {
  return ascii85_decode(ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
}

TEST(Ascii85, GroupsDecodeToTheirBytes) {
  struct Case {
    std::string_view in;
    Bytes expected;
  };
  using namespace std::string_view_literals;
  const Case cases[] = {
      {"9jqo^", {0x4D, 0x61, 0x6E, 0x20}},
      {"z", {0, 0, 0, 0}},
      {"!!!!!", {0, 0, 0, 0}},
      {"s8W-!", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"uuuuu", {0x08, 0x78, 0x0E, 0xC4}},  // above 2^32: wraps
      {"!!", {0}},                          // final partial groups give k - 1 bytes
      {"9jqo", {0x4D, 0x61, 0x6E}},
      {"9jq", {0x4D, 0x61}},
      {"!! ! ! !", {0, 0, 0, 0}},  // white space inside a group
      {"z\0\t\n\f\r z"sv, {0, 0, 0, 0, 0, 0, 0, 0}},
      {"9jqo^~>junk", {0x4D, 0x61, 0x6E, 0x20}},  // nothing after "~" is looked at
      {"9jqo^~", {0x4D, 0x61, 0x6E, 0x20}},       // the ">" is not required
      {"", {}},
      {"~", {}},
  };
  for (const Case& c : cases) {
    const auto out = decode(c.in);
    ASSERT_TRUE(out.has_value()) << c.in;
    EXPECT_EQ(*out, c.expected) << c.in;
  }
}

TEST(Ascii85, MalformedDataFails) {
  using namespace std::string_view_literals;
  for (const std::string_view in : {"!"sv, "9jqo^!"sv, "!!z"sv, "<~9jqo^~>"sv, "!!\v!!!"sv, "v"sv,
                                    "9jqo^{"sv, "\x80"sv, "!!!!!!~"sv}) {
    const auto out = decode(in);
    ASSERT_FALSE(out.has_value()) << in;
    EXPECT_EQ(out.error().kind, ParseErrorKind::BadStream);
    EXPECT_EQ(out.error().message, "bad ASCII85 data");
  }
}

TEST(Ascii85, OutputPastTheBoundFails) {
  const std::string_view in = "zz9jq";  // 8 + 2 bytes
  const ByteView bytes(reinterpret_cast<const std::uint8_t*>(in.data()), in.size());
  EXPECT_EQ(ascii85_decode(bytes, 10).value().size(), 10u);
  EXPECT_FALSE(ascii85_decode(bytes, 9).has_value());
  EXPECT_FALSE(ascii85_decode(bytes, 7).has_value());
}

}  // namespace
}  // namespace folioscan
