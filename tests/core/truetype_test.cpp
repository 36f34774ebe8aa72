#include "font/truetype.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "font_fixtures.h"

namespace folioscan::font {
namespace {

using testing::BigEndian;
using testing::font_fixture;

// An sfnt with the given tables, in tag order, offsets computed.
std::vector<std::uint8_t> sfnt(const std::map<std::string, std::vector<std::uint8_t>>& tables) {
  BigEndian out;
  out.u32({0x00010000}).u16({static_cast<std::uint32_t>(tables.size()), 0, 0, 0});
  std::uint32_t offset = 12 + 16 * static_cast<std::uint32_t>(tables.size());
  for (const auto& [name, data] : tables) {
    out.u8({std::uint8_t(name[0]), std::uint8_t(name[1]), std::uint8_t(name[2]), std::uint8_t(name[3])});
    out.u32({0, offset, static_cast<std::uint32_t>(data.size())});
    offset += static_cast<std::uint32_t>(data.size());
  }
  for (const auto& [name, data] : tables) out.append(data);
  return out.bytes;
}

std::vector<std::uint8_t> maxp(std::uint32_t glyphs) { return BigEndian().u32({0x00005000}).u16({glyphs}).bytes; }

// A cmap with one (3,1) subtable.
std::vector<std::uint8_t> cmap_of(const std::vector<std::uint8_t>& subtable) {
  return BigEndian().u16({0, 1, 3, 1}).u32({12}).append(subtable).bytes;
}

TEST(TrueType, UnicodeSubtablesAreReadBackwardsFromGlyphToCode) {
  const auto program = font_fixture("unicode.ttf");
  const TrueTypeFont font = read_truetype(program);
  EXPECT_EQ(font.num_glyphs, 9u);
  EXPECT_TRUE(font.has_unicode_cmap);
  EXPECT_FALSE(font.has_symbol_cmap);
  // .notdef space A B glyph4 uni20AC privateA puaonly emoji: uni20AC is in no subtable,
  // privateA's U+0043 beats its U+E000, puaonly keeps its private-use code, and emoji
  // comes from the format 12 subtable.
  const std::vector<std::uint32_t> expected = {0, 0x20, 0x41, 0x42, 0xE9, 0, 0x43, 0xE001, 0x1F600};
  EXPECT_EQ(font.glyph_unicode, expected);
  ASSERT_EQ(font.glyph_names.size(), 9u);
  EXPECT_EQ(font.glyph_names[4], "glyph4");
  EXPECT_EQ(font.glyph_names[5], "uni20AC");
  EXPECT_EQ(font.glyph_names[1], "space");  // a standard Macintosh name, by index
}

TEST(TrueType, SymbolSubtablePrefersTheCodeItselfOverThePrivatePages) {
  const auto program = font_fixture("symbol.ttf");
  const TrueTypeFont font = read_truetype(program);
  ASSERT_TRUE(font.has_symbol_cmap);
  ASSERT_TRUE(font.has_mac_cmap);
  EXPECT_FALSE(font.has_unicode_cmap);
  EXPECT_EQ(font.symbol_glyphs[0x61], 1);  // 0xF061 -> a
  EXPECT_EQ(font.symbol_glyphs[0x62], 1);  // 0x0062 -> a wins over 0xF062 -> b
  EXPECT_EQ(font.symbol_glyphs[0x63], 3);
  EXPECT_EQ(font.symbol_glyphs[0x64], 0);
  EXPECT_EQ(font.mac_glyphs[0x61], 2);
}

TEST(TrueType, PostFormatOneNamesTheStandardMacintoshGlyphs) {
  const auto post = BigEndian().u32({0x00010000, 0, 0, 0, 0, 0, 0, 0}).bytes;
  const auto program = sfnt({{"maxp", maxp(5)}, {"post", post}});
  const TrueTypeFont font = read_truetype(program);
  ASSERT_EQ(font.glyph_names.size(), 5u);
  EXPECT_EQ(font.glyph_names[3], "space");
  EXPECT_EQ(font.glyph_names[4], "exclam");
}

// A format 4 subtable of the given (start, end, delta) segments, range offsets 0.
std::vector<std::uint8_t> format4(const std::vector<std::array<std::uint32_t, 3>>& segments) {
  const auto n = static_cast<std::uint32_t>(segments.size());
  BigEndian out;
  out.u16({4, 16 + 8 * n, 0, 2 * n, 0, 0, 0});
  for (const auto& s : segments) out.u16({s[1]});
  out.u16({0});
  for (const auto& s : segments) out.u16({s[0]});
  for (const auto& s : segments) out.u16({s[2]});
  for (std::uint32_t i = 0; i < n; ++i) out.u16({0});
  return out.bytes;
}

// Megabytes of zeros after a subtable grant no more steps than its code space holds:
// a table whose segments each claim every code stops within two such claims, while a
// sound one is read whole however it is padded.
TEST(TrueType, PaddingGrantsNoStepsBeyondTheCodeSpace) {
  const std::array<std::uint32_t, 3> all_codes = {0x20, 0xFFFF, 0};  // code -> the same glyph
  const std::array<std::uint32_t, 3> a_to_glyph_5 = {0x41, 0x41, (5 + 0x10000 - 0x41) & 0xFFFF};
  const struct {
    std::vector<std::array<std::uint32_t, 3>> segments;
    std::uint32_t glyph_5;
  } cases[] = {
      {{all_codes, a_to_glyph_5}, 0x41},
      {{all_codes, all_codes, a_to_glyph_5}, 0},
  };
  for (const auto& c : cases) {
    std::vector<std::uint8_t> table = cmap_of(format4(c.segments));
    table.resize(table.size() + (std::size_t{4} << 20), 0);
    const TrueTypeFont font = read_truetype(sfnt({{"cmap", table}, {"maxp", maxp(0x1000)}}));
    ASSERT_GE(font.glyph_unicode.size(), 0x1000u) << c.segments.size();
    EXPECT_EQ(font.glyph_unicode[0xFFF], 0xFFFu);
    EXPECT_EQ(font.glyph_unicode[5], c.glyph_5) << c.segments.size();
  }
}

TEST(TrueType, FormatSixAndZeroSubtablesMapCodesForward) {
  // (3,1) format 6: codes 0x41.. -> glyphs 3, 0, 1; a glyph id past maxp is dropped.
  const auto six = BigEndian().u16({6, 16, 0, 0x41, 4, 3, 0, 1, 9}).bytes;
  const TrueTypeFont font = read_truetype(sfnt({{"cmap", cmap_of(six)}, {"maxp", maxp(5)}}));
  EXPECT_EQ(font.glyph_unicode, (std::vector<std::uint32_t>{0, 0x43, 0, 0x41}));
}

// Hostile programs: each must give a bounded result and no crash.
struct Hostile {
  const char* name;
  std::vector<std::uint8_t> program;
};

std::vector<Hostile> hostile_programs() {
  std::vector<Hostile> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"directory claims 65535 tables", BigEndian().u32({0x00010000}).u16({0xFFFF, 0, 0, 0}).bytes});
  auto past_end = BigEndian().u32({0x00010000}).u16({1, 0, 0, 0}).u8({'c', 'm', 'a', 'p'});
  past_end.u32({0, 0xFFFFFFF0, 0xFFFFFFFF});
  cases.push_back({"table offset past the end", past_end.bytes});
  // Format 4 claiming 32767 segments in a few bytes, and one segment over every code
  // whose glyph ids come from offsets far past the table.
  cases.push_back({"format 4 huge segment count", sfnt({{"cmap", cmap_of(BigEndian().u16({4, 0, 0, 0xFFFE}).bytes)}})});
  cases.push_back({"format 4 range offsets past the end",
                   sfnt({{"cmap", cmap_of(BigEndian().u16({4, 24, 0, 2, 0, 0, 0, 0xFFFF, 0, 0, 0, 0xFFF0}).bytes)}})});
  // Format 12 claiming 2^32 - 1 groups, then 1000 groups that each cover every code.
  cases.push_back({"format 12 huge group count",
                   sfnt({{"cmap", cmap_of(BigEndian().u16({12, 0}).u32({0, 0, 0xFFFFFFFF}).bytes)}})});
  BigEndian overlapping;
  overlapping.u16({12, 0}).u32({0, 0, 1000});
  for (int i = 0; i < 1000; ++i) overlapping.u32({0, 0xFFFFFFFF, 1});
  cases.push_back({"format 12 overlapping full groups", sfnt({{"cmap", cmap_of(overlapping.bytes)}})});
  cases.push_back({"post format 2 claiming 65535 glyphs",
                   sfnt({{"post", BigEndian().u32({0x00020000, 0, 0, 0, 0, 0, 0, 0}).u16({0xFFFF}).bytes}})});
  cases.push_back({"collection pointing past the end", BigEndian().u32({0x74746366, 0x00010000, 1, 0xFFFFFF00}).bytes});
  return cases;
}

TEST(TrueType, HostileProgramsGiveBoundedResults) {
  for (const Hostile& c : hostile_programs()) {
    SCOPED_TRACE(c.name);
    const TrueTypeFont font = read_truetype(c.program);
    EXPECT_LE(font.glyph_unicode.size(), 65536u);
    EXPECT_LE(font.glyph_names.size(), 65536u);
  }
}

TEST(TrueType, EveryTruncationOfARealProgramReadsWithoutFault) {
  const auto program = font_fixture("unicode.ttf");
  ASSERT_FALSE(program.empty());
  for (std::size_t size = 0; size < program.size(); size += 7) {
    const TrueTypeFont font = read_truetype(ByteView(program.data(), size));
    for (const std::uint32_t cp : font.glyph_unicode) EXPECT_LE(cp, 0x10FFFFu);
    for (const std::string_view name : font.glyph_names) {
      // Views stay inside the truncated program (or the fixed tables, which are not).
      const auto* at = reinterpret_cast<const std::uint8_t*>(name.data());
      if (at >= program.data() && at < program.data() + program.size()) {
        EXPECT_LE(at + name.size(), program.data() + size);
      }
    }
  }
}

}  // namespace
}  // namespace folioscan::font
