// Reading order for lines drawn in visual order, and the bidirectional class table.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bidi.h"

namespace folioscan {
namespace {

// ---------------------------------------------------------------------------------------
// Class table

struct ClassCase {
  char32_t cp;
  BidiClass expected;
};

class BidiClassTable : public testing::TestWithParam<ClassCase> {};

TEST_P(BidiClassTable, GivesTheClass) {
  EXPECT_EQ(static_cast<int>(bidi_class(GetParam().cp)), static_cast<int>(GetParam().expected))
      << std::hex << static_cast<std::uint32_t>(GetParam().cp);
}

INSTANTIATE_TEST_SUITE_P(
    CodePoints, BidiClassTable,
    testing::Values(
        ClassCase{U'a', BidiClass::L}, ClassCase{U'0', BidiClass::EN}, ClassCase{U'9', BidiClass::EN},
        ClassCase{U' ', BidiClass::WS}, ClassCase{U'\t', BidiClass::S}, ClassCase{U'\n', BidiClass::B},
        ClassCase{U'+', BidiClass::ES}, ClassCase{U'-', BidiClass::ES}, ClassCase{U'$', BidiClass::ET},
        ClassCase{U'%', BidiClass::ET}, ClassCase{U',', BidiClass::CS}, ClassCase{U'.', BidiClass::CS},
        ClassCase{U'(', BidiClass::ON}, ClassCase{0x00, BidiClass::BN}, ClassCase{0x7F, BidiClass::BN},
        // Table edges and neighbours.
        ClassCase{0xC0, BidiClass::L}, ClassCase{0x05D0, BidiClass::R}, ClassCase{0x05EA, BidiClass::R},
        ClassCase{0x05B0, BidiClass::NSM}, ClassCase{0x0627, BidiClass::AL},
        ClassCase{0x0661, BidiClass::AN}, ClassCase{0x06F1, BidiClass::EN},
        ClassCase{0xFEFB, BidiClass::AL}, ClassCase{0xFB1D, BidiClass::R},
        ClassCase{0x200E, BidiClass::L}, ClassCase{0x200F, BidiClass::R},
        ClassCase{0x202A, BidiClass::LRE}, ClassCase{0x202C, BidiClass::PDF},
        ClassCase{0x2067, BidiClass::RLI}, ClassCase{0x2069, BidiClass::PDI},
        ClassCase{0x20AC, BidiClass::ET}, ClassCase{0x4E00, BidiClass::L},
        ClassCase{0x10FFFF, BidiClass::L}, ClassCase{0x1E900, BidiClass::R},
        // Unassigned in a right-to-left block defaults to its direction.
        ClassCase{0x05FF, BidiClass::R}, ClassCase{0x07BF, BidiClass::AL}));

// ---------------------------------------------------------------------------------------
// Reading order

struct OrderCase {
  std::string_view name;
  std::string_view visual;
  std::vector<std::uint32_t> starts;
  std::string_view logical;
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }

class LogicalOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(LogicalOrder, PutsTheLineInReadingOrder) {
  const OrderCase& c = GetParam();
  EXPECT_EQ(logical_order(c.visual, c.starts), std::string(c.logical)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LogicalOrder,
    testing::Values(
        OrderCase{"empty", "", {}, ""},
        OrderCase{"ascii", "Hello, world 123 (x) !", {}, "Hello, world 123 (x) !"},
        OrderCase{"latin accents", "caf\u00e9 na\u00efve", {}, "caf\u00e9 na\u00efve"},
        OrderCase{"hebrew word", "\u05dd\u05d5\u05dc\u05e9", {}, "\u05e9\u05dc\u05d5\u05dd"},
        OrderCase{"hebrew words", "\u05dd\u05dc\u05d5\u05e2 \u05dd\u05d5\u05dc\u05e9", {},
                  "\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd"},
        OrderCase{"digits keep their order", "123 \u05dd\u05d5\u05dc\u05e9", {},
                  "\u05e9\u05dc\u05d5\u05dd 123"},
        OrderCase{"number with separators", "3.14 ,12:30 \u05d1\u05d0", {},
                  "\u05d0\u05d1 12:30, 3.14"},
        OrderCase{"percent joins the number", "50% \u05d1\u05d0", {}, "\u05d0\u05d1 50%"},
        // Digits right after a Latin word read as part of it: drawn order kept for both.
        OrderCase{"digits after a latin word", "\u05d2\u05d3 word 123 \u05d0\u05d1", {},
                  "\u05d1\u05d0 word 123 \u05d3\u05d2"},
        OrderCase{"hebrew in latin", "say \u05dd\u05d5\u05dc\u05e9 to all", {},
                  "say \u05e9\u05dc\u05d5\u05dd to all"},
        OrderCase{"latin in hebrew", "\u05d1\u05d0 word \u05d3\u05d2", {},
                  "\u05d2\u05d3 word \u05d0\u05d1"},
        OrderCase{"two latin words in hebrew", "\u05d1\u05d0 two words \u05d3\u05d2", {},
                  "\u05d2\u05d3 two words \u05d0\u05d1"},
        OrderCase{"arabic with arabic-indic digits",
                  "\u0661\u0662\u0663 \u0645\u0627\u0644\u0633", {},
                  "\u0633\u0644\u0627\u0645 \u0661\u0662\u0663"},
        OrderCase{"european digits after arabic", "12 \u0628\u0627", {}, "\u0627\u0628 12"},
        OrderCase{"arabic digits alone", "\u0661\u0662", {}, "\u0661\u0662"},
        OrderCase{"mark moves with its letter", "\u05d1\u05b0\u05d0", {}, "\u05d0\u05b0\u05d1"},
        // Columns split by a tab keep their left-to-right order in a left-to-right line.
        OrderCase{"tab keeps columns", "ab\t\u05d1\u05d0", {}, "ab\t\u05d0\u05d1"},
        OrderCase{"tab splits right-to-left columns", "a \u05d1\u05d0\t\u05d3\u05d2", {},
                  "a \u05d0\u05d1\t\u05d2\u05d3"},
        // Controls stay in the text and do not break the run they sit in.
        OrderCase{"control kept", "\u05d1\u202b\u05d0", {}, "\u05d0\u202b\u05d1"},
        // Bytes that are not UTF-8 are kept, one unit each.
        OrderCase{"invalid bytes", "\u05d1\xff\xc3\u05d0", {}, "\u05d0\xc3\xff\u05d1"},
        OrderCase{"truncated sequence at end", "\u05d1\u05d0\xd7", {}, "\xd7\u05d0\u05d1"},
        OrderCase{"invalid only", "a\xff\xfe", {}, "a\xff\xfe"},
        // Units: "\u05d0\u05d1" (4 bytes) is one glyph already in reading order.
        OrderCase{"unit kept whole", "\u05d2\u05d0\u05d1", {0, 2}, "\u05d0\u05d1\u05d2"},
        OrderCase{"every code point a unit", "\u05d2\u05d0\u05d1", {0, 2, 4},
                  "\u05d1\u05d0\u05d2"},
        OrderCase{"text before the first start", "\u05d2\u05d0\u05d1", {2},
                  "\u05d0\u05d1\u05d2"},
        OrderCase{"starts past the end ignored", "\u05d2\u05d0\u05d1", {0, 2, 6, 100},
                  "\u05d0\u05d1\u05d2"},
        OrderCase{"starts out of order ignored", "\u05d2\u05d0\u05d1", {2, 1, 2},
                  "\u05d0\u05d1\u05d2"},
        // A unit takes its first strong class: ".\u05d0" is R, so it moves.
        OrderCase{"unit class from first strong", "ab .\u05d0\u05d1", {0, 1, 2, 3, 6},
                  "ab \u05d1.\u05d0"},
        // A unit with no strong class takes its first character's: "12" is one EN unit.
        OrderCase{"digit unit", "12 \u05d0", {0, 2, 3}, "\u05d0 12"}));

TEST(LogicalOrderTest, LeftToRightLineComesBackByteForByte) {
  const std::string line = "The quick (brown) fox - 42% \xe2\x80\x94 done.\t\x01";
  EXPECT_EQ(logical_order(line), line);
  const std::vector<std::uint32_t> starts = {0, 4, 10};
  EXPECT_EQ(logical_order(line, starts), line);
}

TEST(LogicalOrderTest, ReadingOrderDrawnAndReadBackIsUnchanged) {
  // Drawing a right-to-left line and reading it back gives the line again; reading twice
  // gives the drawn order back.
  const std::string drawn = "123 \u05d2\u05d3 word \u05d0\u05d1";
  const std::string read = logical_order(drawn);
  EXPECT_EQ(read, "\u05d1\u05d0 word \u05d3\u05d2 123");
  EXPECT_EQ(logical_order(read), drawn);
}

}  // namespace
}  // namespace folioscan
