// Glyph names to Unicode and the three built-in code tables.
#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "agl/glyph_names.h"

namespace folioscan {
namespace {

// ---------------------------------------------------------------------------------------
// Glyph names

struct GlyphCase {
  std::string_view name;
  std::optional<std::uint32_t> expected;
};

void PrintTo(const GlyphCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class GlyphNameToUnicode : public testing::TestWithParam<GlyphCase> {};

TEST_P(GlyphNameToUnicode, GivesTheExpectedValue) {
  EXPECT_EQ(glyph_name_to_unicode(GetParam().name), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, GlyphNameToUnicode,
    testing::Values(
        // Table hits, including neighbours whose byte order is easy to get wrong.
        GlyphCase{"A", 0x41}, GlyphCase{"a", 0x61}, GlyphCase{"AE", 0xC6}, GlyphCase{"ae", 0xE6},
        GlyphCase{"Oslash", 0xD8}, GlyphCase{"zero", 0x30}, GlyphCase{"z", 0x7A},
        GlyphCase{"quotesingle", 0x27}, GlyphCase{"quotesinglbase", 0x201A},
        GlyphCase{"grave", 0x60}, GlyphCase{"quoteright", 0x2019}, GlyphCase{"ff", 0xFB00},
        GlyphCase{"ffi", 0xFB03}, GlyphCase{"fi", 0xFB01}, GlyphCase{"euro", 0x20AC},
        GlyphCase{"space", 0x20}, GlyphCase{"asciitilde", 0x7E}, GlyphCase{"nbspace", 0xA0},
        // Names are compared byte for byte: no case folding, no prefixes.
        GlyphCase{"Euro", std::nullopt}, GlyphCase{"Space", std::nullopt},
        GlyphCase{"zz", std::nullopt}, GlyphCase{"", std::nullopt},
        // Suffixes after the first dot are cut off.
        GlyphCase{"Q.sc", 0x51}, GlyphCase{"a.b.c", 0x61}, GlyphCase{".notdef", std::nullopt},
        GlyphCase{"uni20ac.alt", 0x20AC},
        // uniXXXX: at least seven bytes, four hex digits, extra digits ignored.
        GlyphCase{"uni20AC", 0x20AC}, GlyphCase{"uni0041", 0x41}, GlyphCase{"uni00410042", 0x41},
        GlyphCase{"uni004", std::nullopt}, GlyphCase{"uni", std::nullopt},
        GlyphCase{"uni+041", 0x41}, GlyphCase{"uni0+41", std::nullopt},
        GlyphCase{"uniD800", std::nullopt}, GlyphCase{"uniDFFF", std::nullopt},
        GlyphCase{"uniE000", 0xE000}, GlyphCase{"uni00G1", std::nullopt},
        GlyphCase{"uni-041", std::nullopt},
        // A short "uni" name does not fall through to the "u" rule.
        GlyphCase{"uni12", std::nullopt},
        // uXXXX to uXXXXXX: the whole rest is the number, which must be a scalar value.
        GlyphCase{"u1F600", 0x1F600}, GlyphCase{"u0041", 0x41}, GlyphCase{"u10FFFF", 0x10FFFF},
        GlyphCase{"u110000", std::nullopt}, GlyphCase{"uD800", std::nullopt},
        GlyphCase{"u+1F60", 0x1F60}, GlyphCase{"u041", std::nullopt},
        GlyphCase{"u0000041", std::nullopt}, GlyphCase{"u00x41", std::nullopt}));

// ---------------------------------------------------------------------------------------
// Built-in code tables

int count_without_text(const std::array<std::uint32_t, 256>& table) {
  int n = 0;
  for (const auto v : table) n += v == 0 ? 1 : 0;
  return n;
}

TEST(CodeTables, DefaultIsWindows1252WithFiveHolesAndControlCodesKept) {
  const auto& t = win_ansi_table();
  EXPECT_EQ(t[0x00], 0u);
  EXPECT_EQ(t[0x01], 0x01u);
  EXPECT_EQ(t[0x1F], 0x1Fu);
  EXPECT_EQ(t[0x41], 0x41u);
  EXPECT_EQ(t[0x7F], 0x7Fu);
  EXPECT_EQ(t[0x80], 0x20ACu);
  EXPECT_EQ(t[0x8A], 0x160u);
  EXPECT_EQ(t[0x93], 0x201Cu);
  EXPECT_EQ(t[0x9F], 0x178u);
  EXPECT_EQ(t[0xA0], 0xA0u);
  EXPECT_EQ(t[0xE9], 0xE9u);
  EXPECT_EQ(t[0xFF], 0xFFu);
  for (const int hole : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(t[hole], 0u) << hole;
  EXPECT_EQ(count_without_text(t), 6);
}

TEST(CodeTables, MacRomanUsesTheCurrentMappingWithEuroAndAppleLogo) {
  const auto& t = mac_roman_table();
  EXPECT_EQ(t[0x00], 0u);
  EXPECT_EQ(t[0x01], 0x01u);
  EXPECT_EQ(t[0x7F], 0x7Fu);
  EXPECT_EQ(t[0x80], 0xC4u);
  EXPECT_EQ(t[0xA5], 0x2022u);
  EXPECT_EQ(t[0xBD], 0x3A9u);
  EXPECT_EQ(t[0xC6], 0x2206u);
  EXPECT_EQ(t[0xCA], 0xA0u);
  EXPECT_EQ(t[0xDB], 0x20ACu);
  EXPECT_EQ(t[0xF0], 0xF8FFu);
  EXPECT_EQ(t[0xFF], 0x2C7u);
  EXPECT_EQ(count_without_text(t), 1);
}

TEST(CodeTables, StandardHasOnlyPrintableAsciiWithCurlyQuotes) {
  const auto& t = standard_table();
  EXPECT_EQ(t[0x27], 0x2019u);
  EXPECT_EQ(t[0x60], 0x2018u);
  EXPECT_EQ(t[0x20], 0x20u);
  EXPECT_EQ(t[0x41], 0x41u);
  EXPECT_EQ(t[0x7E], 0x7Eu);
  EXPECT_EQ(t[0x1F], 0u);
  EXPECT_EQ(t[0x7F], 0u);
  EXPECT_EQ(t[0xE9], 0u);
  EXPECT_EQ(count_without_text(t), 256 - 95);
}

}  // namespace
}  // namespace folioscan
