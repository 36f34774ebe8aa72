#include "font/cff.h"

#include <gtest/gtest.h>

#include <string>

#include "font_fixtures.h"

namespace folioscan::font {
namespace {

using testing::BigEndian;
using testing::font_fixture;

// A one-font CFF laid out with exact offsets: header, name INDEX, Top DICT INDEX, a
// String INDEX with `strings`, an empty global subroutine INDEX, then the charset, the
// encoding and a CharStrings INDEX of `glyphs` one-byte charstrings. An empty charset
// or encoding is replaced by the predefined one numbered `predefined_*`.
struct CffLayout {
  std::vector<std::uint8_t> charset;
  std::vector<std::uint8_t> encoding;
  std::uint32_t glyphs = 4;
  std::vector<std::string> strings;
  std::vector<std::uint8_t> extra_dict;  // more Top DICT entries
  std::uint32_t predefined_charset = 0;
  std::uint32_t predefined_encoding = 0;
};

std::vector<std::uint8_t> index_of(const std::vector<std::string>& items) {
  BigEndian out;
  out.u16({static_cast<std::uint32_t>(items.size())});
  if (items.empty()) return out.bytes;
  out.u8({4});
  std::uint32_t offset = 1;
  out.u32({offset});
  for (const std::string& item : items) out.u32({offset += static_cast<std::uint32_t>(item.size())});
  for (const std::string& item : items) out.bytes.insert(out.bytes.end(), item.begin(), item.end());
  return out.bytes;
}

std::vector<std::uint8_t> build(const CffLayout& layout) {
  const auto operand = [](std::uint32_t v) {
    return std::string{char(29), char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  };
  const std::string extra(layout.extra_dict.begin(), layout.extra_dict.end());
  const std::size_t dict_size = 3 * 6 + extra.size();
  const std::vector<std::uint8_t> strings = index_of(layout.strings);
  const std::size_t base = 4 + index_of({"F"}).size() + index_of({std::string(dict_size, ' ')}).size() +
                           strings.size() + 2;
  const std::uint32_t charset_at = layout.charset.empty() ? layout.predefined_charset : std::uint32_t(base);
  const std::uint32_t encoding_at = layout.encoding.empty() ? layout.predefined_encoding
                                                            : std::uint32_t(base + layout.charset.size());
  const std::uint32_t char_strings_at = std::uint32_t(base + layout.charset.size() + layout.encoding.size());
  const std::string dict = extra + operand(charset_at) + char(15) + operand(encoding_at) + char(16) +
                           operand(char_strings_at) + char(17);
  BigEndian out;
  out.u8({1, 0, 4, 1}).append(index_of({"F"})).append(index_of({dict})).append(strings).u16({0});
  out.append(layout.charset).append(layout.encoding);
  out.append(index_of(std::vector<std::string>(layout.glyphs, std::string(1, char(14)))));
  return out.bytes;
}

TEST(Cff, CharsetNamesAndOwnEncodingOfARealProgram) {
  const auto program = font_fixture("simple.cff");
  const CffFont font = read_cff(program);
  EXPECT_FALSE(font.cid_keyed);
  ASSERT_EQ(font.num_glyphs, 6u);
  const std::vector<std::string_view> names = {".notdef", "space", "A", "B", "eacute", "folio.glyph"};
  EXPECT_EQ(font.glyph_names, names);
  EXPECT_EQ(font.encoding[0x20], 1);
  EXPECT_EQ(font.encoding[0x41], 3);
  EXPECT_EQ(font.encoding[0x61], 2);
  EXPECT_EQ(font.encoding[0xE9], 4);
  EXPECT_EQ(font.encoding[0x42], 0);
}

TEST(Cff, StandardEncodingFindsGlyphsByTheirStandardNames) {
  const auto program = font_fixture("standard.cff");
  const CffFont font = read_cff(program);
  EXPECT_EQ(font.encoding[0x41], 2);
  EXPECT_EQ(font.encoding[0x27], 4);  // quoteright
  EXPECT_EQ(font.encoding[0xA1], 5);  // exclamdown
  EXPECT_EQ(font.encoding[0x43], 0);  // C: not in the font
}

TEST(Cff, CidKeyedCharsetGivesEachGlyphItsCid) {
  const auto program = font_fixture("cid.cff");
  const CffFont font = read_cff(program);
  EXPECT_TRUE(font.cid_keyed);
  EXPECT_EQ(font.glyph_cids, (std::vector<std::uint16_t>{0, 5, 7, 300}));
  EXPECT_EQ(font.registry, "Adobe");
  EXPECT_EQ(font.ordering, "Identity");
  EXPECT_TRUE(font.glyph_names.empty());
}

TEST(Cff, RangeEncodingWithSupplementsAndRangeCharset) {
  CffLayout layout;
  // Charset format 2: glyphs 1 to 3 are string ids 34 to 36 (A, B, C).
  layout.charset = BigEndian().u8({2}).u16({34, 2}).bytes;
  // Encoding format 1 with supplements: codes 0x41 and 0x42 for glyphs 1 and 2, then
  // code 0x61 for the glyph named C.
  layout.encoding = BigEndian().u8({0x81, 1, 0x41, 1, 1, 0x61}).u16({36}).bytes;
  const Bytes program = build(layout);  // the font's views borrow it
  const CffFont font = read_cff(program);
  EXPECT_EQ(font.glyph_names, (std::vector<std::string_view>{".notdef", "A", "B", "C"}));
  EXPECT_EQ(font.encoding[0x41], 1);
  EXPECT_EQ(font.encoding[0x42], 2);
  EXPECT_EQ(font.encoding[0x61], 3);
}

TEST(Cff, CharsetRangesStopAtTheGlyphCountAndOwnStringsAreNamed) {
  CffLayout layout;
  layout.glyphs = 3;
  layout.strings = {"folio"};
  // Format 1: string 391 (the font's own "folio"), then a range claiming 255 more.
  layout.charset = BigEndian().u8({1}).u16({391}).u8({0}).u16({34}).u8({255}).bytes;
  layout.encoding = BigEndian().u8({0, 2, 0x30, 0x31}).bytes;
  const Bytes program = build(layout);  // the font's views borrow it
  const CffFont font = read_cff(program);
  EXPECT_EQ(font.glyph_names, (std::vector<std::string_view>{".notdef", "folio", "A"}));
  EXPECT_EQ(font.encoding[0x30], 1);
  EXPECT_EQ(font.encoding[0x31], 2);
}

TEST(Cff, PredefinedCharsetsNameGlyphsByPosition) {
  struct Case {
    std::uint32_t charset;
    std::string_view second;
  };
  for (const Case c : {Case{0, "space"}, Case{1, "space"}, Case{2, "space"}}) {
    CffLayout layout;
    layout.predefined_charset = c.charset;
    layout.predefined_encoding = 1;  // expert: not read
    const Bytes program = build(layout);  // the font's views borrow it
    const CffFont font = read_cff(program);
    ASSERT_EQ(font.glyph_names.size(), 4u);
    EXPECT_EQ(font.glyph_names[1], c.second);
    EXPECT_EQ(font.glyph_names[2], c.charset == 0 ? "exclam" : c.charset == 1 ? "exclamsmall" : "dollaroldstyle");
    for (const std::uint16_t glyph : font.encoding) EXPECT_EQ(glyph, 0);
  }
}

TEST(Cff, HostileProgramsGiveBoundedResults) {
  std::vector<std::vector<std::uint8_t>> programs;
  programs.push_back({});
  programs.push_back(BigEndian().u8({1, 0, 4, 4}).u16({0xFFFF}).u8({4}).bytes);  // INDEX past the end
  CffLayout offsets_past_end;
  offsets_past_end.charset = BigEndian().u8({0}).bytes;
  offsets_past_end.extra_dict = {29, 0x7F, 0xFF, 0xFF, 0xFF, 17};  // CharStrings far away
  programs.push_back(build(offsets_past_end));
  CffLayout many_operands;
  many_operands.extra_dict.assign(500, 139);  // 500 zeros before one operator
  many_operands.extra_dict.push_back(15);
  programs.push_back(build(many_operands));
  CffLayout bad_charset;
  bad_charset.charset = BigEndian().u8({7, 1, 2, 3}).bytes;  // unknown format
  bad_charset.encoding = BigEndian().u8({0x80, 255}).bytes;  // 255 codes that are not there
  programs.push_back(build(bad_charset));
  const auto real = font_fixture("simple.cff");
  for (std::size_t size = 0; size < real.size(); ++size) programs.emplace_back(real.begin(), real.begin() + size);
  for (const auto& program : programs) {
    const CffFont font = read_cff(program);
    EXPECT_LE(font.glyph_names.size(), 65535u);
    for (const std::uint16_t glyph : font.encoding) EXPECT_TRUE(glyph == 0 || glyph < font.num_glyphs);
  }
}

}  // namespace
}  // namespace folioscan::font
