// The CMap model's builder: later entries win over earlier ones piece by piece, notdef
// ranges keep one CID, used maps go beneath, codespace ranges come from the entries when
// a map has none, and the entry bound holds.
#include "cmap/code_map.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include "cmap/cmap_limits.h"

namespace folioscan::cmap {
namespace {

ByteView bytes_of(std::string_view s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

struct Entry {
  std::uint32_t low;
  std::uint32_t high;
  std::uint32_t cid;
};

CodeMap build(const std::vector<Entry>& entries, bool notdef = false) {
  CodeMapBuilder builder;
  for (const Entry& e : entries) EXPECT_TRUE(builder.add_range(4, {e.low, e.high, e.cid}, notdef));
  return builder.finish({});
}

TEST(CodeMapBuilder, LaterEntriesWinPieceByPiece) {
  struct Case {
    std::vector<Entry> entries;
    std::vector<std::pair<std::uint32_t, std::optional<std::uint32_t>>> lookups;
  };
  const Case cases[] = {
      // A later range inside an earlier one splits it in three.
      {{{0, 99, 1000}, {10, 19, 5}}, {{9, 1009}, {10, 5}, {19, 14}, {20, 1020}, {100, std::nullopt}}},
      // An earlier range inside a later one is hidden.
      {{{10, 19, 5}, {0, 99, 1000}}, {{10, 1010}, {19, 1019}}},
      // Overlaps at both ends, then a single on top.
      {{{0, 9, 0}, {20, 29, 20}, {5, 24, 500}, {7, 7, 7}}, {{4, 4}, {5, 500}, {7, 7}, {8, 503}, {24, 519}, {25, 25}}},
      {{{0xFFFFFF00, 0xFFFFFFFF, 1}, {0xFFFFFFFF, 0xFFFFFFFF, 9}}, {{0xFFFFFFFE, 255}, {0xFFFFFFFF, 9}}},
  };
  for (const Case& c : cases) {
    const CodeMap map = build(c.entries);
    for (const auto& [code, cid] : c.lookups) EXPECT_EQ(cid_for(map, {code, 4}), cid) << code;
    for (std::size_t i = 1; i < map.cids[3].size(); ++i) EXPECT_LT(map.cids[3][i - 1].high, map.cids[3][i].low);
  }
  // Pieces that meet again after the split join into one range.
  EXPECT_EQ(build({{0, 9, 0}, {10, 19, 10}, {5, 14, 5}}).cids[3].size(), 1u);
}

TEST(CodeMapBuilder, MatchesACodeByCodeReferenceInAnyOrder) {
  std::mt19937 rng(8);
  // A few layers are overlaid, many are painted; both must give the reference.
  for (const int count : {3, 8, 40, 300}) {
    for (const bool notdef : {false, true}) {
      std::vector<Entry> entries;
      std::map<std::uint32_t, std::uint32_t> reference;  // later entries win
      for (int i = 0; i < count; ++i) {
        const std::uint32_t low = rng() % 2000;
        const std::uint32_t high = low + rng() % (i % 5 == 0 ? 400 : 20);
        const std::uint32_t cid = rng() % 1000;
        entries.push_back({low, high, cid});
        for (std::uint32_t c = low; c <= high; ++c) reference[c] = notdef ? cid : cid + (c - low);
      }
      const CodeMap map = build(entries, notdef);
      for (std::uint32_t c = 0; c < 2500; ++c) {
        const auto it = reference.find(c);
        const std::uint32_t expected = it == reference.end() ? 0 : it->second;
        ASSERT_EQ(glyph_cid(map, {c, 4}), expected) << count << " " << notdef << " " << c;
      }
    }
  }
}

TEST(CodeMapBuilder, NotdefRangesKeepOneCidWhenSplit) {
  const CodeMap map = build({{0, 99, 1}, {10, 19, 7}}, true);
  EXPECT_EQ(glyph_cid(map, {0, 4}), 1u);
  EXPECT_EQ(glyph_cid(map, {15, 4}), 7u);
  EXPECT_EQ(glyph_cid(map, {50, 4}), 1u);
  EXPECT_EQ(glyph_cid(map, {100, 4}), 0u);
  EXPECT_EQ(glyph_cid(map, {50, 2}), 0u);  // the byte count is part of the code
  EXPECT_FALSE(cid_for(map, {50, 4}).has_value());
}

TEST(CodeMapBuilder, UsedMapsGoBeneathAndCodespaceComesFromTheEntries) {
  CodeMapBuilder builder;
  const std::uint8_t lo[] = {0x00};
  const std::uint8_t hi[] = {0x7F};
  ASSERT_TRUE(builder.add_codespace(lo, hi));
  ASSERT_TRUE(builder.add_cids(lo, hi, 100));
  const CodeMap base = builder.finish({});
  EXPECT_TRUE(builder.finish({}).codespace.empty());  // finish leaves the builder empty

  CodeMapBuilder over;
  over.include(base);
  (void)over.add_range(1, {0x41, 0x41, 7});
  const CodeMap map = over.finish({});
  EXPECT_EQ(map.codespace.size(), 1u);
  EXPECT_EQ(cid_for(map, {0x40, 1}), 164u);
  EXPECT_EQ(cid_for(map, {0x41, 1}), 7u);

  // No codespace: each byte count an entry uses gets its full range, and reads so.
  CodeMapBuilder two;
  (void)two.add_range(2, {0x100, 0x1FF, 1});
  const CodeMap derived = two.finish({});
  ASSERT_EQ(derived.codespace.size(), 1u);
  const std::uint8_t text[] = {0x01, 0x05, 0xFF};
  EXPECT_EQ(next_code(derived, text, 0), (CharCode{0x0105, 2}));
  EXPECT_EQ(next_code(derived, text, 2), (CharCode{0xFF, 1}));
  EXPECT_EQ(next_code(CodeMap{}, text, 0), (CharCode{0x0105, 2}));
}

TEST(CodeMapBuilder, StopsAtTheEntryBound) {
  CodeMapBuilder builder;
  for (std::uint32_t i = 0; i < limits::kMaxCMapEntries; ++i) ASSERT_TRUE(builder.add_range(4, {i * 2, i * 2, 1}));
  EXPECT_TRUE(builder.full());
  EXPECT_FALSE(builder.add_range(4, {0xFFFFFFF0, 0xFFFFFFF0, 1}));
  const CodeMap map = builder.finish({});
  EXPECT_EQ(map.cids[3].size(), limits::kMaxCMapEntries);
  EXPECT_GT(code_map_bytes(map), limits::kMaxCMapEntries * sizeof(CidRange));
}

TEST(CodeMap, BytesOutsideTheCodespaceTakeAShorterCodeTheMapNames) {
  // A UTF-8 codespace with a one-byte cidchar for E0, which leads the three-byte range.
  CodeMapBuilder builder;
  ASSERT_TRUE(builder.add_codespace(bytes_of("\xE0\x80\x80"), bytes_of("\xEF\xBF\xBF")));
  ASSERT_TRUE(builder.add_cids(bytes_of("\xE0"), bytes_of("\xE0"), 151));
  const CodeMap map = builder.finish({});
  const ByteView bytes = bytes_of("\xE0\xE0\xE0\xA0\x80\xE1\x20\x20");
  std::vector<CharCode> codes;
  for (std::size_t pos = 0; pos < bytes.size(); pos += codes.back().bytes) codes.push_back(next_code(map, bytes, pos));
  // A valid code stays whole; a lead byte that the map does not name alone takes its
  // range's length.
  EXPECT_EQ(codes, (std::vector<CharCode>{{0xE0, 1}, {0xE0, 1}, {0xE0A080, 3}, {0xE12020, 3}}));
  EXPECT_EQ(glyph_cid(map, {0xE0, 1}), 151u);
}

}  // namespace
}  // namespace folioscan::cmap
