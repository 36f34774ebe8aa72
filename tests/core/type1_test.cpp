#include "font/type1.h"

#include <gtest/gtest.h>

#include <string>

#include "font_fixtures.h"

namespace folioscan::font {
namespace {

using testing::font_fixture;

Type1Encoding read(const std::string& text) {
  return read_type1_encoding(ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(Type1, DupPutEntriesOfTheClearTextEncoding) {
  const auto program = font_fixture("custom.pfa");
  const Type1Encoding encoding = read_type1_encoding(program);
  ASSERT_TRUE(encoding.found);
  EXPECT_FALSE(encoding.standard);
  EXPECT_EQ(encoding.names[65], "B");
  EXPECT_EQ(encoding.names[66], "A");
  EXPECT_EQ(encoding.names[128], "Euro");
  EXPECT_EQ(encoding.names[200], "eacute");
  EXPECT_EQ(encoding.names[67], "");  // filled with .notdef by the loop, never by a dup
}

TEST(Type1, StandardEncodingGivesTheStandardNames) {
  const auto program = font_fixture("standard.pfa");
  const Type1Encoding encoding = read_type1_encoding(program);
  ASSERT_TRUE(encoding.standard);
  EXPECT_EQ(encoding.names[0x27], "quoteright");
  EXPECT_EQ(encoding.names[0xA1], "exclamdown");
  EXPECT_EQ(encoding.names[0x41], "A");
  EXPECT_EQ(encoding.names[0x80], "");
}

TEST(Type1, PfbSegmentHeaderBoundsTheClearText) {
  std::string clear = "/Encoding 256 array dup 65 /B put readonly def";
  std::string pfb = {char(0x80), char(1), char(clear.size()), 0, 0, 0};
  pfb += clear + std::string{char(0x80), char(2), 20, 0, 0, 0} + "/Encoding dup 66 /C put";
  const Type1Encoding encoding = read(pfb);
  EXPECT_EQ(encoding.names[65], "B");
  EXPECT_EQ(encoding.names[66], "");
}

TEST(Type1, MalformedClearTextReadsWhatItCan) {
  struct Case {
    const char* name;
    std::string text;
    bool found;
    int code;  // a code expected to carry "A", or -1
  };
  const Case cases[] = {
      {"no encoding", "/FontName /X def", false, -1},
      {"encoding after eexec", "currentfile eexec /Encoding StandardEncoding def", false, -1},
      {"encoding name inside a string", "(/Encoding StandardEncoding) /X", false, -1},
      {"unterminated string", "/Encoding 256 array dup 65 /A put (never closed", true, 65},
      {"codes past 255 and non-numbers", "/Encoding 256 array dup 300 /A put dup x /A put dup 9 /A put def", true, 9},
      {"encoding then nothing", "/Encoding", false, -1},
      {"entries stop at def", "/Encoding 256 array def dup 65 /A put", true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Type1Encoding encoding = read(c.text);
    EXPECT_EQ(encoding.found, c.found);
    for (int code = 0; code < 256; ++code) {
      EXPECT_EQ(encoding.names[static_cast<std::size_t>(code)], code == c.code ? "A" : "");
    }
  }
}

}  // namespace
}  // namespace folioscan::font
