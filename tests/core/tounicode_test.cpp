// ToUnicode maps: bfchar and bfrange blocks (array and base forms), UTF-16BE decoding,
// code formation, lookup precedence, and robustness against damaged or hostile maps.
#include "tounicode.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace folioscan {
namespace {

ToUnicodeMap parse(std::string_view s) {
  return parse_tounicode(ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
}

std::optional<std::string> text_for(const ToUnicodeMap& map, std::uint32_t code) {
  std::string out;
  if (!lookup_tounicode(map, code, out)) return std::nullopt;
  return out;
}

std::string bfchar(std::string_view entries) {
  return "1 beginbfchar\n" + std::string(entries) + "\nendbfchar\n";
}

// ---- bfchar ----

TEST(ToUnicodeBfchar, DestinationsDecodeAsUtf16be) {
  struct Case {
    std::string_view dest;
    std::string_view text;
  };
  for (const Case& c : {Case{"<0041>", "A"}, Case{"<0066006C>", "fl"},
                        Case{"<D83DDE00>", "\xF0\x9F\x98\x80"}, Case{"<D83D>", "\xEF\xBF\xBD"},
                        Case{"<DE00>", "\xEF\xBF\xBD"}, Case{"<D83D0041>", "\xEF\xBF\xBD" "A"},
                        Case{"<004100>", std::string_view("A\0", 2)}, Case{"<41>", "A"},
                        Case{"<>", ""}, Case{"<00E9>", "\xC3\xA9"},
                        Case{std::string_view("(\0B)", 4), "B"}}) {
    const ToUnicodeMap map = parse(bfchar("<01> " + std::string(c.dest)));
    EXPECT_EQ(text_for(map, 1), std::optional<std::string>(c.text)) << c.dest;
  }
}

TEST(ToUnicodeBfchar, CodesAreTheBigEndianValueOfAtMostFourBytes) {
  struct Case {
    std::string_view source;
    std::uint32_t code;
  };
  for (const Case& c : {Case{"<0102030405>", 0x01020304}, Case{"<0102>", 0x0102},
                        Case{"<>", 0}, Case{"<FFFFFFFF>", 0xFFFFFFFF}}) {
    const ToUnicodeMap map = parse(bfchar(std::string(c.source) + " <0058>"));
    EXPECT_EQ(text_for(map, c.code), "X") << c.source;
    EXPECT_EQ(map.singles.size(), 1u) << c.source;
  }
}

TEST(ToUnicodeBfchar, EntriesMustStartWithAHexString) {
  // A literal source string is not "<": it ends the block.
  const ToUnicodeMap map = parse(bfchar("<01> <0041> (B) <0042> <03> <0043>"));
  EXPECT_EQ(text_for(map, 1), "A");
  EXPECT_EQ(map.singles.size(), 1u);
}

TEST(ToUnicodeBfchar, NonStringDestinationSkipsOnlyThatEntry) {
  const ToUnicodeMap map = parse(bfchar("<01> /space <02> <0042> <03> 5 <04> <0044>"));
  EXPECT_EQ(text_for(map, 1), std::nullopt);
  EXPECT_EQ(text_for(map, 2), "B");
  EXPECT_EQ(text_for(map, 3), std::nullopt);
  EXPECT_EQ(text_for(map, 4), "D");
}

TEST(ToUnicodeBfchar, LaterEntryForTheSameCodeWins) {
  const ToUnicodeMap map = parse(bfchar("<01> <0041> <01> <0042>"));
  EXPECT_EQ(text_for(map, 1), "B");
}

// ---- bfrange ----

TEST(ToUnicodeBfrange, BaseFormCoversLowToHigh) {
  const ToUnicodeMap map = parse("1 beginbfrange <0010> <0012> <0041> endbfrange");
  EXPECT_EQ(text_for(map, 0x10), "A");
  EXPECT_EQ(text_for(map, 0x11), "B");
  EXPECT_EQ(text_for(map, 0x12), "C");
  EXPECT_EQ(text_for(map, 0x13), std::nullopt);
  EXPECT_EQ(text_for(map, 0x0F), std::nullopt);
}

TEST(ToUnicodeBfrange, BaseFormKeepsOnlyTheFirstCharacter) {
  const ToUnicodeMap ff = parse("beginbfrange <01> <03> <00660066> endbfrange");
  EXPECT_EQ(text_for(ff, 1), "f");
  EXPECT_EQ(text_for(ff, 2), "g");
  const ToUnicodeMap empty = parse("beginbfrange <01> <03> <> endbfrange");
  EXPECT_EQ(text_for(empty, 1), std::string(1, '\0'));
  EXPECT_EQ(text_for(empty, 2), "\x01");
  const ToUnicodeMap pair = parse("beginbfrange <01> <02> <D83DDE00> endbfrange");
  EXPECT_EQ(text_for(pair, 2), "\xF0\x9F\x98\x81");
}

TEST(ToUnicodeBfrange, ArrayFormMapsElementsToConsecutiveCodes) {
  const ToUnicodeMap map =
      parse("beginbfrange <0020> <0021> [<0041> <00420043>] <0030> <0033> [<0061> /x <0063>] endbfrange");
  EXPECT_EQ(text_for(map, 0x20), "A");
  EXPECT_EQ(text_for(map, 0x21), "BC");
  EXPECT_EQ(text_for(map, 0x30), "a");
  EXPECT_EQ(text_for(map, 0x31), std::nullopt);  // a non-string element takes its code
  EXPECT_EQ(text_for(map, 0x32), "c");
  EXPECT_EQ(text_for(map, 0x33), std::nullopt);  // the high code is not used
  EXPECT_TRUE(map.ranges.empty());
}

TEST(ToUnicodeBfrange, HugeRangesAllocateNothingProportionalToTheirSpan) {
  const ToUnicodeMap array = parse("beginbfrange <00000000> <FFFFFFFF> [<0041> <0042>] endbfrange");
  EXPECT_EQ(array.singles.size(), 2u);
  const ToUnicodeMap base = parse("beginbfrange <00000000> <FFFFFFFF> <0041> endbfrange");
  EXPECT_EQ(base.ranges.size(), 1u);
  EXPECT_EQ(text_for(base, 1), "B");
  EXPECT_EQ(text_for(base, 0x10FFFF - 0x41), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(text_for(base, 0x10FFFF - 0x40), std::nullopt);  // beyond the code point range
  EXPECT_EQ(text_for(base, 0xFFFFFFFF), std::nullopt);       // no 32-bit wrap-around
}

TEST(ToUnicodeBfrange, ArrayCodesStopAtTheTopOfTheCodeSpace) {
  const ToUnicodeMap map = parse("beginbfrange <FFFFFFFF> <FFFFFFFF> [<0041> <0042>] endbfrange");
  EXPECT_EQ(text_for(map, 0xFFFFFFFF), "A");
  EXPECT_EQ(text_for(map, 0), std::nullopt);
}

TEST(ToUnicodeBfrange, BrokenEntriesAreSkipped) {
  // The low string fails before an array: the block stops and the array is read over.
  const ToUnicodeMap stopped = parse("beginbfrange /x <01> [<0041>] <02> <02> <0042> endbfrange");
  EXPECT_TRUE(stopped.singles.empty());
  EXPECT_TRUE(stopped.ranges.empty());
  const ToUnicodeMap skipped = parse("beginbfrange <01> <01> /x <02> <02> <0042> endbfrange");
  EXPECT_EQ(text_for(skipped, 1), std::nullopt);
  EXPECT_EQ(text_for(skipped, 2), "B");
  const ToUnicodeMap not_array = parse("beginbfrange <01> <02> [<00> endbfrange <03> <03> <0043>");
  EXPECT_TRUE(not_array.singles.empty());
}

// ---- lookup precedence ----

TEST(ToUnicodeLookup, SinglesWinOverRangesAndEarlierRangesWinOverLater) {
  const ToUnicodeMap map = parse(
      "beginbfrange <0040> <0050> <0061> <0041> <0042> <0030> endbfrange\n"
      "beginbfchar <0041> <0058> <0045> <> endbfchar");
  EXPECT_EQ(text_for(map, 0x41), "X");
  EXPECT_EQ(text_for(map, 0x45), "");  // an empty single still wins
  EXPECT_EQ(text_for(map, 0x42), "c");
  EXPECT_EQ(text_for(map, 0x40), "a");
}

TEST(ToUnicodeLookup, ARangeThatLandsOnSurrogatesFallsThroughToTheNext) {
  const ToUnicodeMap map = parse("beginbfrange <01> <02> <D7FF> <01> <02> <0041> endbfrange");
  EXPECT_EQ(text_for(map, 1), "\xED\x9F\xBF");
  EXPECT_EQ(text_for(map, 2), "B");  // D800 is not a scalar value
}

TEST(ToUnicodeLookup, LookupAppendsToTheOutput) {
  const ToUnicodeMap map = parse(bfchar("<01> <0041>"));
  std::string out = "x";
  EXPECT_TRUE(lookup_tounicode(map, 1, out));
  EXPECT_EQ(out, "xA");
  EXPECT_FALSE(lookup_tounicode(map, 2, out));
  EXPECT_EQ(out, "xA");
}

// ---- whole maps and hostile input ----

TEST(ToUnicodeMaps, ATypicalCMapWithHeaderCommentsAndTrailingText) {
  const ToUnicodeMap map = parse(
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n"
      "% a comment <0009> <0058>\n"
      "2 beginbfchar\n<0003> <0020> % trailing comment\n<0011> <0041>\nendbfchar\n"
      "1 beginbfrange\n<0012> <0014> <0042>\nendbfrange\n"
      "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n"
      "beginbfchar <0099> <005A> endbfchar");
  EXPECT_EQ(text_for(map, 3), " ");
  EXPECT_EQ(text_for(map, 0x11), "A");
  EXPECT_EQ(text_for(map, 0x14), "D");
  EXPECT_EQ(text_for(map, 9), std::nullopt);
  EXPECT_EQ(text_for(map, 0x99), "Z");  // blocks after the end still count
  EXPECT_EQ(map.singles.size(), 3u);
}

TEST(ToUnicodeMaps, OtherBlocksAndCodespaceEntriesMapNothing) {
  const ToUnicodeMap map =
      parse("begincodespacerange <00> <FF> endcodespacerange begincidrange <00> <FF> 1 endcidrange");
  EXPECT_TRUE(map.singles.empty());
  EXPECT_TRUE(map.ranges.empty());
}

TEST(ToUnicodeMaps, DamagedInputNeverStallsOrFails) {
  for (std::string_view input :
       {"", "]]]>>>}}{{)", "beginbfchar", "beginbfchar <01", "beginbfchar <01> <00",
        "beginbfchar <01> (unterminated", "beginbfrange <01> <02> [", "beginbfrange [[[[",
        "beginbfchar <0G> <0041> <02> <0042> endbfchar", "(((((", "/#", "<<<<<<", "<<<<>>",
        "beginbfchar )) <01> <0041> endbfchar", "%%%%", "1.2.3 beginbfrange <01> <01> <30> e"}) {
    const ToUnicodeMap map = parse(input);
    (void)map;
  }
  // Open arrays swallow what follows until an element fails; ")" fails without being
  // consumed, so the block after it is read normally.
  const ToUnicodeMap deep = parse(std::string(100000, '[') + ") beginbfchar <01> <0041> endbfchar");
  EXPECT_EQ(text_for(deep, 1), "A");
}

TEST(ToUnicodeMaps, StrayDelimiterBetweenEntriesEndsTheBlock) {
  // The ")" ends the block; the main loop then skips it and reads "<02> <0042>" as
  // loose objects, so only the first entry counts.
  const ToUnicodeMap map = parse("beginbfchar <01> <0041> ) <02> <0042> endbfchar");
  EXPECT_EQ(text_for(map, 1), "A");
  EXPECT_EQ(text_for(map, 2), std::nullopt);
}

TEST(ToUnicode, IndexedRangeLookupAgreesWithScanningInReadingOrder) {
  // Overlapping ranges, bases near the surrogates and near the top of Unicode, empty
  // and reversed ranges: the index must give exactly what the first fitting range gives.
  std::mt19937 rng(7);
  const std::uint32_t bases[] = {0x41, 0xD7F0, 0xD800, 0xDFFF, 0xE000, 0x10FFF0, 0x110000, 0xFFFFFFFF};
  for (int round = 0; round < 200; ++round) {
    ToUnicodeMap map;
    const int count = 1 + static_cast<int>(rng() % 12);
    for (int i = 0; i < count; ++i) {
      const std::uint32_t low = rng() % 300;
      const std::uint32_t high = low + rng() % 120 - (rng() % 8 == 0 ? 130 : 0);
      const std::uint32_t base = bases[rng() % 8] - rng() % 40;
      map.ranges.push_back({low, high, base});
    }
    if (round % 10 == 0) map.ranges.push_back({0xFFFFFF00, 0xFFFFFFFF, 0x41});
    ToUnicodeMap indexed = map;
    index_tounicode_ranges(indexed);
    for (std::uint32_t code : {0xFFFFFFFFu, 0xFFFFFF00u, 0xFFFFFEFFu}) {
      std::string a, b;
      EXPECT_EQ(lookup_tounicode(map, code, a), lookup_tounicode(indexed, code, b));
      EXPECT_EQ(a, b);
    }
    for (std::uint32_t code = 0; code < 450; ++code) {
      std::string a, b;
      ASSERT_EQ(lookup_tounicode(map, code, a), lookup_tounicode(indexed, code, b)) << code;
      ASSERT_EQ(a, b) << code;
    }
  }
}

TEST(ToUnicode, ParsedMapsAreIndexed) {
  const ToUnicodeMap map = parse("2 beginbfrange <0010> <0020> <0041> <0018> <0030> <0061> endbfrange");
  EXPECT_TRUE(map.indexed);
  ASSERT_EQ(map.segments.size(), 2u);
  EXPECT_EQ(text_for(map, 0x18), "I");
  EXPECT_EQ(text_for(map, 0x21), "j");
}

}  // namespace
}  // namespace folioscan
