// The embedded CMap reader: blocks and definitions, usecmap through the predefined
// tables and a lookup, later entries winning, and its bounds (a million ranges, five-byte
// codes, usecmap loops and chains, garbage).
#include "cmap/cmap_parser.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <string_view>

#include "cmap/cmap_limits.h"
#include "cmap/predefined.h"

namespace folioscan::cmap {
namespace {

ByteView bytes_of(std::string_view s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

ParsedCMap parse(std::string_view s, const CMapParseOptions& options = {}) { return parse_cmap(bytes_of(s), options); }

std::optional<std::uint32_t> cid(const CodeMap& map, std::uint32_t value, std::uint8_t bytes) {
  return cid_for(map, {value, bytes});
}

std::size_t entries(const CodeMap& map) {
  std::size_t n = 0;
  for (const auto& ranges : map.cids) n += ranges.size();
  return n;
}

constexpr std::string_view kHeader =
    "%!PS-Adobe-3.0 Resource-CMap\n/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "/CIDSystemInfo 3 dict dup begin /Registry (Adobe) def /Ordering (Japan1) def /Supplement 6 def end def\n"
    "/CMapName /Test-V def /CMapType 1 def /WMode 1 def\n";

TEST(CMapParser, ReadsBlocksAndDefinitions) {
  const ParsedCMap parsed = parse(std::string(kHeader) +
                                  "2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange\n"
                                  "1 beginnotdefrange <00> <1f> 231 endnotdefrange\n"
                                  "2 begincidrange <20> <7e> 231 <8140> <817e> 633 endcidrange\n"
                                  "1 begincidchar <8150> 7000 endcidchar\n"
                                  "endcmap CMapName currentdict /CMap defineresource pop end end\n");
  const CodeMap& map = parsed.map;
  EXPECT_EQ(map.name, "Test-V");
  EXPECT_EQ(map.system.registry, "Adobe");
  EXPECT_EQ(map.system.ordering, "Japan1");
  EXPECT_EQ(map.system.supplement, 6);
  EXPECT_TRUE(map.vertical);
  EXPECT_EQ(map.codespace.size(), 2u);
  EXPECT_EQ(cid(map, 0x41, 1), 264u);
  EXPECT_EQ(cid(map, 0x8141, 2), 634u);
  EXPECT_EQ(cid(map, 0x8150, 2), 7000u);
  EXPECT_FALSE(cid(map, 0x41, 2).has_value());  // the byte count is part of the code
  EXPECT_EQ(glyph_cid(map, {0x05, 1}), 231u);
  EXPECT_EQ(parsed.notes.skipped_entries, 0u);
}

TEST(CMapParser, SystemInfoAsADictionaryAndLaterEntriesWin) {
  const ParsedCMap parsed = parse(
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (GB1) /Supplement 2 >> def\n"
      "1 begincidrange <0000> <00ff> 100 endcidrange\n"
      "2 begincidrange <0010> <0012> 5000 <00f0> <00ff> 6000 endcidrange\n"
      "1 begincidchar <0011> 7 endcidchar\n");
  const CodeMap& map = parsed.map;
  EXPECT_EQ(map.system.ordering, "GB1");
  EXPECT_FALSE(map.vertical);
  const std::map<std::uint32_t, std::uint32_t> expected = {
      {0x00, 100}, {0x0F, 115}, {0x10, 5000}, {0x11, 7}, {0x12, 5002}, {0x13, 119}, {0xEF, 339}, {0xF0, 6000}, {0xFF, 6015}};
  for (const auto& [code, value] : expected) EXPECT_EQ(cid(map, code, 2), value) << code;
  // Without codespace ranges, each code length an entry uses gets its full range.
  ASSERT_EQ(map.codespace.size(), 1u);
  EXPECT_EQ(map.codespace[0].bytes, 2);
  EXPECT_FALSE(cid(map, 0x100, 2).has_value());
}

TEST(CMapParser, UsecmapTakesAPredefinedMapBeneathItsOwnEntries) {
  const ParsedCMap parsed = parse("/90ms-RKSJ-H usecmap /CMapName /Mine def\n"
                                  "1 begincidrange <8141> <8142> 7887 endcidrange\n");
  const CodeMap& map = parsed.map;
  EXPECT_EQ(map.name, "Mine");
  EXPECT_EQ(map.system.ordering, "Japan1");
  EXPECT_EQ(map.codespace.size(), 4u);
  EXPECT_EQ(cid(map, 0x8141, 2), 7887u);
  EXPECT_EQ(cid(map, 0x8143, 2), 636u);
  EXPECT_EQ(cid(map, 0x41, 1), 264u);
  EXPECT_FALSE(parsed.notes.use_unresolved);
  // The stream dictionary's /UseCMap, given as a base, counts the same way.
  const auto base = predefined_cmap("UniJIS-UCS2-H");
  ASSERT_TRUE(base.has_value());
  CMapParseOptions options;
  options.base = &*base;
  const ParsedCMap over = parse("/WMode 1 def 1 begincidchar <3042> 9999 endcidchar", options);
  EXPECT_TRUE(over.map.vertical);
  EXPECT_EQ(over.map.code_text, CodeText::Ucs2);
  EXPECT_EQ(cid(over.map, 0x3042, 2), 9999u);
  EXPECT_EQ(cid(over.map, 0x3044, 2), 845u);
}

TEST(CMapParser, UsecmapThroughTheLookupAndItsLimits) {
  // Streams by name: A uses B uses C; L1 uses L2 uses L1; Dn uses Dn+1 forever.
  const auto lookup = [](std::string_view name) -> std::optional<Bytes> {
    std::string text;
    if (name == "B") text = "/C usecmap 1 begincidchar <02> 20 endcidchar";
    if (name == "C") text = "1 begincodespacerange <00> <ff> endcodespacerange 1 begincidchar <03> 30 endcidchar";
    if (name == "L1") text = "/L2 usecmap 1 begincidchar <01> 1 endcidchar";
    if (name == "L2") text = "/L1 usecmap 1 begincidchar <02> 2 endcidchar";
    if (name.starts_with("D")) {
      text = "/D" + std::to_string(std::stoi(std::string(name.substr(1))) + 1) + " usecmap 1 begincidchar <01> 1 endcidchar";
    }
    if (text.empty()) return std::nullopt;
    return Bytes(text.begin(), text.end());
  };
  CMapParseOptions options;
  options.lookup = lookup;

  const ParsedCMap chain = parse("/B usecmap 1 begincidchar <01> 10 endcidchar", options);
  EXPECT_EQ(cid(chain.map, 1, 1), 10u);
  EXPECT_EQ(cid(chain.map, 2, 1), 20u);
  EXPECT_EQ(cid(chain.map, 3, 1), 30u);
  EXPECT_EQ(chain.map.codespace.size(), 1u);

  const ParsedCMap loop = parse("/L1 usecmap", options);
  EXPECT_TRUE(loop.notes.use_loop);
  EXPECT_EQ(cid(loop.map, 1, 1), 1u);
  EXPECT_EQ(cid(loop.map, 2, 1), 2u);

  const ParsedCMap deep = parse("/D0 usecmap", options);
  EXPECT_TRUE(deep.notes.use_too_deep);
  EXPECT_EQ(cid(deep.map, 1, 1), 1u);

  const ParsedCMap second = parse("/C usecmap /B usecmap", options);
  EXPECT_TRUE(second.notes.use_ignored);
  EXPECT_FALSE(cid(second.map, 2, 1).has_value());

  for (const CMapParseOptions& o : {options, CMapParseOptions{}}) {
    const ParsedCMap missing = parse("/Nowhere usecmap (x) usecmap usecmap", o);
    EXPECT_TRUE(missing.notes.use_unresolved);
    EXPECT_EQ(entries(missing.map), 0u);
  }
}

TEST(CMapParser, RejectsEntriesThatBreakTheRules) {
  struct Case {
    std::string_view block;
    std::size_t skipped;
  };
  const Case cases[] = {
      {"1 begincodespacerange <0000000000> <FFFFFFFFFF> endcodespacerange", 1},  // five bytes
      {"1 begincodespacerange <00> <FFFF> endcodespacerange", 1},
      {"1 begincidrange <0102030405> <0102030406> 1 endcidrange", 1},
      {"1 begincidrange <0010> <0001> 1 endcidrange", 1},
      {"1 begincidrange <00> <0001> 1 endcidrange", 1},
      {"1 begincidrange <> <> 1 endcidrange", 1},
      {"2 begincidchar <01> -1 <02> 65536 endcidchar", 2},
      {"1 begincidchar <01> /name endcidchar", 1},
      {"1 begincidchar <01> 1.5 endcidchar", 1},
  };
  for (const Case& c : cases) {
    const ParsedCMap parsed = parse(c.block);
    EXPECT_EQ(parsed.notes.skipped_entries, c.skipped) << c.block;
    EXPECT_EQ(entries(parsed.map), 0u) << c.block;
    for (const CodespaceRange& range : parsed.map.codespace) EXPECT_LE(range.bytes, 4) << c.block;
  }
  // A range running past the last CID is cut there.
  const ParsedCMap cut = parse("1 begincidrange <0000> <FFFF> 65000 endcidrange");
  EXPECT_EQ(cid(cut.map, 535, 2), 65535u);
  EXPECT_FALSE(cid(cut.map, 536, 2).has_value());
}

TEST(CMapParser, AMillionRangesStopAtTheEntryBound) {
  std::string text = "1 begincodespacerange <00000000> <FFFFFFFF> endcodespacerange\n1000000 begincidrange\n";
  // Entry i: <4i> <4i+1> (i mod 10000), each line 28 bytes.
  std::string line = "<00000000> <00000001> 00000\n";
  const auto hex8 = [&](std::size_t at, std::uint32_t value) {
    for (int k = 7; k >= 0; --k, value >>= 4) line[at + k] = "0123456789ABCDEF"[value & 15];
  };
  for (std::uint32_t i = 0; i < 1000000; ++i) {
    hex8(1, i * 4);
    hex8(12, i * 4 + 1);
    for (std::uint32_t k = 0, v = i % 10000; k < 5; ++k, v /= 10) line[26 - k] = static_cast<char>('0' + v % 10);
    text += line;
  }
  text += "endcidrange\n";
  const ParsedCMap parsed = parse(text);
  EXPECT_TRUE(parsed.notes.entries_capped);
  EXPECT_EQ(entries(parsed.map), limits::kMaxCMapEntries);
  EXPECT_EQ(cid(parsed.map, 5, 4), 2u);

  std::string spaces = "100 begincodespacerange\n";
  for (int i = 0; i < 100; ++i) spaces += "<00> <FF>\n";
  const ParsedCMap many = parse(spaces + "endcodespacerange");
  EXPECT_TRUE(many.notes.codespace_capped);
  EXPECT_EQ(many.map.codespace.size(), limits::kMaxCodespaceRanges);
}

TEST(CMapParser, GarbageNeverBreaksIt) {
  const std::string_view inputs[] = {
      "", "begincidrange", "begincidrange <01", "begincidrange <01> <02>", "begincodespacerange (",
      "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[", "/WMode def def usecmap", "<< /A [ 1 2 ", ")))>>>]]]",
      "1 begincidrange <01> <02> 3 endcidchar begincidchar <05> 9 endcidrange",
      "begincodespacerange <00> <ff> begincidrange <00> <ff> 0",
  };
  for (std::string_view input : inputs) {
    const ParsedCMap parsed = parse(input);
    for (const CodespaceRange& range : parsed.map.codespace) EXPECT_LE(range.bytes, 4) << input;
  }
  const ParsedCMap unclosed = parse("begincodespacerange <00> <ff> begincidrange <00> <ff> 0");
  EXPECT_EQ(cid(unclosed.map, 0x41, 1), 0x41u);

  std::mt19937 rng(21);
  const std::string_view words[] = {"begincidrange", "endcidrange", "begincidchar", "begincodespacerange",
                                    "<00>", "<0000>", "<FFFFFFFF>", "7", "/WMode", "def", "usecmap",
                                    "/UniJIS-UCS2-H", "(", ")", "[", "<<", "%", "\n", "-3"};
  for (int round = 0; round < 200; ++round) {
    std::string text;
    for (int i = 0; i < 60; ++i) text += std::string(words[rng() % std::size(words)]) + " ";
    const ParsedCMap parsed = parse(text);
    const ByteView sample = bytes_of(text);
    for (std::size_t pos = 0; pos < sample.size();) {
      const CharCode code = next_code(parsed.map, sample, pos);
      ASSERT_GT(code.bytes, 0);
      ASSERT_LE(pos + code.bytes, sample.size());
      (void)glyph_cid(parsed.map, code);
      pos += code.bytes;
    }
  }
}

}  // namespace
}  // namespace folioscan::cmap
