// Text layout: reading order, grouping runs into lines by baseline, and the spaces put
// between runs at wide gaps.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "content_support.h"
#include "layout.h"
#include "shown_runs.h"

namespace folioscan {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::array<double, 4> kLetter = {0, 0, 612, 792};

// A run under identity matrices: its page-space end and size are its width and size.
TextRun run(std::string text, double x, double y, double width = 0.0, double font_size = 12.0) {
  return TextRun{std::move(text), std::make_shared<const std::string>("F1"), x, y, width, font_size, x + width, font_size, y};
}

// Recovery's layout as the driver runs it: the runs a viewer shows, then their lines.
LayoutResult recovered_layout(const std::vector<TextRun>& runs) {
  return layout_lines_recovering(shown_runs(runs, kLetter), kLetter);
}

std::vector<std::string> texts(const LayoutResult& result) {
  std::vector<std::string> out;
  for (const auto& line : result.lines) out.push_back(line.text);
  return out;
}

using Texts = std::vector<std::string>;

TEST(Layout, NoRunsGiveNoLinesAndThePageSizeIsAbsolute) {
  const auto result = layout_lines({}, {612, 792, 0, 0});
  EXPECT_TRUE(result.lines.empty());
  EXPECT_EQ(result.width, 612.0);
  EXPECT_EQ(result.height, 792.0);
}

struct GroupCase {
  double second_y;
  double font_size;
  std::size_t lines;
};

void PrintTo(const GroupCase& c, std::ostream* os) {
  *os << "y " << c.second_y << " size " << c.font_size;
}

class LayoutTolerance : public testing::TestWithParam<GroupCase> {};

TEST_P(LayoutTolerance, GroupsRunsWithinHalfTheFontSizeButAtLeastOne) {
  const auto& c = GetParam();
  const auto result = layout_lines(
      {run("a", 0, 700, 0, c.font_size), run("b", 0, c.second_y, 0, c.font_size)}, kLetter);
  EXPECT_EQ(result.lines.size(), c.lines) << c.second_y << " size " << c.font_size;
}

INSTANTIATE_TEST_SUITE_P(Cases, LayoutTolerance,
                         testing::Values(GroupCase{694.5, 12, 1}, GroupCase{694.0, 12, 1},
                                         GroupCase{693.9, 12, 2}, GroupCase{699.1, 1, 1},
                                         GroupCase{699.0, 1, 1}, GroupCase{698.9, 1, 2},
                                         GroupCase{699.5, 0, 1}, GroupCase{698.5, 0, 2},
                                         GroupCase{695.0, kNaN, 2}));

TEST(Layout, ToleranceTakesTheLargerFontSizeOfFirstAndCurrentRun) {
  auto result = layout_lines({run("a", 0, 700, 0, 2), run("b", 0, 695, 0, 12)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{"ab"}));
  // A NaN size is ignored when taking the larger one.
  result = layout_lines({run("a", 0, 700, 0, kNaN), run("b", 0, 695, 0, 12)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{"ab"}));
}

TEST(Layout, ToleranceIsMeasuredFromTheFirstRunOfTheLine) {
  const auto result =
      layout_lines({run("a", 0, 700), run("b", 10, 696), run("c", 20, 692)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{"a b", "c"}));
}

TEST(Layout, RunsOnOneBaselineAreJoinedLeftToRight) {
  const auto result = layout_lines({run("right", 300, 700), run("left", 100, 700)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{"left right"}));
  EXPECT_EQ(result.lines[0].x, 100.0);
}

TEST(Layout, HigherBaselineComesFirstEvenWhenFurtherRight) {
  const auto result =
      layout_lines({run("second", 100, 700.0, 30), run("first", 300, 700.2, 30)}, kLetter);
  ASSERT_EQ(result.lines.size(), 1u);
  // The gap is negative, but a run left of the previous one is another word.
  EXPECT_EQ(result.lines[0].text, "first second");
  EXPECT_EQ(result.lines[0].x, 300.0);
  EXPECT_EQ(result.lines[0].y, 700.2);
}

TEST(Layout, LinesComeTopToBottomAndEqualRunsKeepContentOrder) {
  const auto result = layout_lines(
      {run("low", 0, 100), run("x", 50, 400), run("y", 50, 400), run("high", 0, 700)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{"high", "xy", "low"}));
}

struct GapCase {
  double second_x;
  double font_size;
  const char* expected;
};

void PrintTo(const GapCase& c, std::ostream* os) { *os << "x " << c.second_x << " size " << c.font_size; }

class LayoutGap : public testing::TestWithParam<GapCase> {};

TEST_P(LayoutGap, InsertsASpaceOnlyWhenTheGapExceedsAFifthOfTheFontSize) {
  const auto& c = GetParam();
  const auto result = layout_lines(
      {run("Hello", 72, 700, 30, c.font_size), run("World", c.second_x, 700, 25, c.font_size)},
      kLetter);
  ASSERT_EQ(result.lines.size(), 1u);
  EXPECT_EQ(result.lines[0].text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, LayoutGap,
                         testing::Values(GapCase{105, 12, "Hello World"},
                                         GapCase{104, 12, "HelloWorld"},
                                         GapCase{104, 10, "HelloWorld"},  // 2 is not > 2
                                         GapCase{104.0001, 10, "Hello World"},
                                         GapCase{102.25, 0.5, "Hello World"},  // at least 0.2
                                         GapCase{102.15, 0.5, "HelloWorld"},
                                         GapCase{102.25, kNaN, "Hello World"},
                                         GapCase{80, 12, "HelloWorld"}));

TEST(Layout, GapIsMeasuredFromTheEndOfThePreviousRun) {
  // "b" ends at 40; "c" at 43 is 3 past it although far from the start of "a".
  const auto result =
      layout_lines({run("a", 0, 700, 10), run("b", 10, 700, 30), run("c", 43, 700, 5)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{"ab c"}));
}

TEST(Layout, ExistingSpacesAreNotDoubled) {
  auto result = layout_lines({run("Hello ", 0, 700, 10), run("World", 20, 700)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{"Hello World"}));
  result = layout_lines({run("Hello", 0, 700, 10), run(" World", 20, 700)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{"Hello World"}));
}

TEST(Layout, EmptyRunsAfterAGapAddASpaceAndEmptyLinesAreKept) {
  auto result = layout_lines({run("end", 0, 700, 10), run("", 20, 700)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{"end "}));
  result = layout_lines({run("", 0, 500), run("", 0, 500)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{""}));
  result = layout_lines({run("", 0, 500), run("x", 20, 500)}, kLetter);
  EXPECT_EQ(texts(result), (Texts{" x"}));
}

// Content through the interpreter (an unknown font: every glyph is 500 units wide), then
// layout: distances and sizes are compared in page space.
std::vector<TextLine> lines_of(const std::string& content, bool recover = false) {
  const ByteView bytes(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
  const auto runs = interpret_content(tokenize_content(bytes), FontMap{});
  return (recover ? recovered_layout(runs) : layout_lines(runs, kLetter)).lines;
}

TEST(Layout, GapsAndTolerancesAreMeasuredInPageSpace) {
  using Lines = std::vector<std::tuple<std::string, double, double>>;  // text, x, y
  const struct {
    const char* content;
    Lines lines;
  } cases[] = {
      // "Hello" ends at 132 on the page: a gap of 4 is under a fifth of the 24-point
      // page size, 8 is over it; "Low" 14 below is outside the tolerance of 12.
      {"2 0 0 2 0 0 cm BT /F1 12 Tf 36 350 Td (Hello) Tj ET BT /F1 12 Tf 68 350 Td (World) Tj ET "
       "BT /F1 12 Tf 36 343 Td (Low) Tj ET",
       {{"HelloWorld", 72, 700}, {"Low", 72, 686}}},
      {"2 0 0 2 0 0 cm BT /F1 12 Tf 36 350 Td (Hello) Tj 34 0 Td (World) Tj ET", {{"Hello World", 72, 700}}},
      // A rise of 5 under a scale of 2 is 10 on the page, half the page size.
      {"BT /F1 10 Tf 2 0 0 2 300 500 Tm 5 Ts (AB) Tj 0 Ts (Z) Tj ET", {{"ABZ", 300, 510}}},
      // Letters one by one under "1 Tf": kerning of 10 units is no gap, 300 is a space.
      {"BT /F1 1 Tf 9.96 0 0 9.96 100 500 Tm [(f) (l) -10 (y) -300 (o)] TJ ET", {{"fly o", 100, 500}}},
  };
  for (const auto& c : cases) {
    Lines got;
    for (const TextLine& line : lines_of(c.content)) got.emplace_back(line.text, line.x, line.y);
    EXPECT_EQ(got, c.lines) << c.content;
  }
}

TEST(Layout, RunLeftOfThePreviousOneOnALowerBaselineGetsASpace) {
  EXPECT_EQ(texts(layout_lines({run("B", 300, 400.2), run("A", 100, 400)}, kLetter)), (Texts{"B A"}));
  // Under the same conditions about spaces already there.
  EXPECT_EQ(texts(layout_lines({run("B ", 300, 400.2), run("A", 100, 400)}, kLetter)), (Texts{"B A"}));
  EXPECT_EQ(texts(layout_lines({run("B", 300, 400.2), run(" A", 100, 400)}, kLetter)), (Texts{"B A"}));
}

TEST(RecoveredLayout, TurnedTextReadsAlongItsBaselineAfterTheUprightLines) {
  using Lines = std::vector<std::tuple<std::string, double, double>>;  // text, x, y
  const struct {
    const char* content;
    Lines strict, recovered;
  } cases[] = {
      // Turned up: kerned pieces climb the page, one word; strict reads each as a line.
      {"BT /F1 10 Tf 0 1 -1 0 90 600 Tm [(La) -20 (yout)] TJ ET BT /F1 10 Tf 50 700 Td (top) Tj ET",
       {{"top", 50, 700}, {"yout", 90, 610.2}, {"La", 90, 600}},
       {{"top", 50, 700}, {"Layout", 90, 600}}},
      // Turned down, two lines: the glyphs' up is +x, so the next line is further left.
      {"BT /F1 10 Tf 0 -1 1 0 200 600 Tm (one) Tj 0 -12 Td (two) Tj ET",
       {{"two one", 188, 600}},
       {{"one", 200, 600}, {"two", 188, 600}}},
      // Upside down, the second word drawn first.
      {"BT /F1 10 Tf -1 0 0 -1 300 400 Tm (be) Tj ET BT /F1 10 Tf -1 0 0 -1 280 400 Tm (me) Tj ET",
       {{"me be", 280, 400}},
       {{"be me", 300, 400}}},
      // The runs of a line read left to right, unless they overlap (text over text).
      {"BT /F1 10 Tf 300 400.2 Td (B) Tj ET BT /F1 10 Tf 100 400 Td (A) Tj ET",
       {{"B A", 300, 400.2}},
       {{"A B", 100, 400}}},
      {"BT /F1 10 Tf 120 400.2 Td (XY) Tj ET BT /F1 10 Tf 100 400 Td (ABCDEF) Tj ET",
       {{"XY ABCDEF", 120, 400.2}},
       {{"XY ABCDEF", 120, 400.2}}},
      // Wholly outside the page (above it, left of it) is left out; partly on it stays.
      {"BT /F1 10 Tf 10 800 Td (above) Tj -40 -100 Td (left) Tj 20 -100 Td (edge) Tj ET",
       {{"above", 10, 800}, {"left", -30, 700}, {"edge", -10, 600}},
       {{"edge", -10, 600}}},
  };
  for (const auto& c : cases) {
    for (const bool recover : {false, true}) {
      Lines got;
      for (const TextLine& line : lines_of(c.content, recover)) got.emplace_back(line.text, line.x, line.y);
      EXPECT_EQ(got, recover ? c.recovered : c.strict) << c.content << (recover ? " recovered" : " strict");
    }
  }
}

TEST(RecoveredLayout, TextDrawnOverItselfOrThroughASingularMatrixReadsOnceOrNot) {
  const struct {
    const char* content;
    const char* strict;
    const char* recovered;
  } cases[] = {
      // Bold faked by drawing twice, a fraction of the size apart: once.
      {"BT /F1 10 Tf 100 500 Td (Bold) Tj 0.4 0.3 Td (Bold) Tj ET", "Bold Bold", "Bold"},
      // Further apart, or another text or size: both stay.
      {"BT /F1 10 Tf 100 500 Td (Bold) Tj 3 0 Td (Bold) Tj ET", "BoldBold", "BoldBold"},
      {"BT /F1 10 Tf 100 500 Td (Bold) Tj 0.4 0 Td (Bolt) Tj ET", "BoldBolt", "BoldBolt"},
      {"BT /F1 10 Tf 100 500 Td (Bold) Tj /F1 14 Tf 0.4 0 Td (Bold) Tj ET", "BoldBold", "BoldBold"},
      // A space shown through "0 0 0 1 0 0 Tm" has no area and splits no word.
      {"BT /F1 10 Tf 100 500 Td (BUT) Tj 0 0 0 1 0 0 Tm 115 500 TD ( ) Tj 1 0 0 1 115 500 Tm (TON) Tj ET",
       " BUTTON", "BUTTON"},
  };
  for (const auto& c : cases) {
    for (const bool recover : {false, true}) {
      const auto lines = lines_of(c.content, recover);
      ASSERT_EQ(lines.size(), 1u) << c.content;
      EXPECT_EQ(lines[0].text, recover ? c.recovered : c.strict) << c.content;
    }
  }
}

TEST(RecoveredLayout, RightToLeftTextReadsInLogicalOrderWithGlyphsKeptWhole) {
  const auto glyphs = [](TextRun r, std::vector<std::uint32_t> starts) {
    r.glyph_starts = std::move(starts);
    return r;
  };
  const struct {
    std::vector<TextRun> runs;
    std::string strict, recovered;
  } cases[] = {
      // Hebrew drawn left to right in visual order, then a number after a gap.
      {{run("\u05dd\u05d5\u05dc\u05e9", 300, 500, 20), run("12", 330, 500, 10)},
       "\u05dd\u05d5\u05dc\u05e9 12", "12 \u05e9\u05dc\u05d5\u05dd"},
      // Two glyphs that each give a whole word in logical order: the glyphs swap, the
      // words stay as they are.
      {{glyphs(run("\u05d1\u05d9\u05ea\u05e9\u05dc\u05d5\u05dd", 300, 500, 30), {0, 6})},
       "\u05d1\u05d9\u05ea\u05e9\u05dc\u05d5\u05dd", "\u05e9\u05dc\u05d5\u05dd\u05d1\u05d9\u05ea"},
      // A glyph whose text mixes both directions: the font gives logical text already.
      {{glyphs(run("\u05e9\u05dc\u05d5\u05dd h", 300, 500, 10), {0}), run("i", 310, 500, 5)},
       "\u05e9\u05dc\u05d5\u05dd hi", "\u05e9\u05dc\u05d5\u05dd hi"},
      // Hebrew after more than eight ASCII bytes of the same line is still found.
      {{run("chapter 12", 100, 500, 60), run("\u05dd\u05d5\u05dc\u05e9", 300, 500, 20)},
       "chapter 12 \u05dd\u05d5\u05dc\u05e9", "chapter 12 \u05e9\u05dc\u05d5\u05dd"},
      // Left-to-right text is untouched.
      {{run("plain", 100, 500, 25)}, "plain", "plain"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(texts(layout_lines(c.runs, kLetter)), (Texts{c.strict}));
    EXPECT_EQ(texts(recovered_layout(c.runs)), (Texts{c.recovered}));
  }
}

TEST(RecoveredLayout, ARunDrawnOverThePreviousOneIsAnotherWord) {
  const struct {
    std::vector<TextRun> runs;
    Texts strict, recovered;
  } cases[] = {
      // Two forms placing words at one origin, in two sizes (the second drawn over).
      {{run("big", 72, 690, 36, 24), run("small", 72, 690, 110, 48)}, {"bigsmall"}, {"big small"}},
      // Starting inside the first half of the previous run, in another size.
      {{run("abcdef", 100, 700, 60), run("xy", 120, 700, 12, 8)}, {"abcdefxy"}, {"abcdef xy"}},
      // The same size: left as drawn.
      {{run("abcdef", 100, 700, 60), run("xy", 120, 700, 12)}, {"abcdefxy"}, {"abcdefxy"}},
      // A kerned neighbour that starts just before the previous run's end stays glued.
      {{run("abc", 100, 700, 30), run("def", 129, 700, 30)}, {"abcdef"}, {"abcdef"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(texts(layout_lines(c.runs, kLetter)), c.strict);
    EXPECT_EQ(texts(recovered_layout(c.runs)), c.recovered);
  }
}

TEST(Layout, NaNPositionsSortAfterAllNumbers) {
  const auto result = layout_lines(
      {run("n", kNaN, kNaN), run("a", 0, 700), run("m", kNaN, 600), run("b", 5, 600)}, kLetter);
  // The NaN baseline is never "too far" from a line's first run, so it joins the last line.
  EXPECT_EQ(texts(result), (Texts{"a", "bmn"}));
}

TEST(Layout, ManyNaNAndInfiniteValuesSortWithoutFailureAndDeterministically) {
  std::vector<TextRun> runs;
  const double specials[] = {kNaN, std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), 0.0, -0.0};
  for (int i = 0; i < 2000; ++i) {
    const double y = i % 3 == 0 ? specials[i % 5] : (i * 7919) % 800;
    const double x = i % 4 == 0 ? specials[(i / 4) % 5] : (i * 104729) % 600;
    const double size = i % 7 == 0 ? kNaN : 10.0;
    runs.push_back(run(std::to_string(i), x, y, 5, size));
  }
  const auto first = layout_lines(runs, kLetter);
  const auto second = layout_lines(runs, kLetter);
  ASSERT_FALSE(first.lines.empty());
  ASSERT_EQ(first.lines.size(), second.lines.size());
  std::size_t chars = 0;
  for (std::size_t i = 0; i < first.lines.size(); ++i) {
    EXPECT_EQ(first.lines[i].text, second.lines[i].text);
    chars += first.lines[i].text.size();
  }
  EXPECT_GE(chars, 2000u);  // every run's text is somewhere
}

// A footnote's raised number before its text is a word of its own; a raised number
// after a word stays on it.
TEST(Layout, AFootnoteNumberBeforeItsTextIsAWordApart) {
  const std::vector<TextRun> note{run("1", 60, 703.5, 3, 6), run("We cannot say", 63.5, 700, 60, 9)};
  EXPECT_EQ(texts(recovered_layout(note)), (Texts{"1 We cannot say"}));
  EXPECT_EQ(layout_lines(note, kLetter).lines.front().text, "1We cannot say");
  const std::vector<TextRun> lower{run("1", 60, 703.5, 3, 6), run("then more", 63.5, 700, 60, 9)};
  EXPECT_EQ(texts(recovered_layout(lower)), (Texts{"1then more"}));
}

// A paragraph's first letter set large over its first lines joins the first line, and
// the lines beside it stay apart; a large letter beside one line only is left alone.
TEST(Layout, DropCapitalJoinsTheFirstLine) {
  const auto paragraph = [](std::string letter, int lines) {
    std::vector<TextRun> runs{run(std::move(letter), 60, 400, 28, 44)};
    const char* texts[] = {"HIS COLLECTION of six", "broad variety of", "stories told"};
    for (int i = 0; i < lines; ++i) runs.push_back(run(texts[i], 92, 424 - 12.0 * i, 100, 10));
    runs.push_back(run("tales below", 60, 388, 100, 10));
    runs.push_back(run("and more", 60, 376, 100, 10));
    return runs;
  };
  EXPECT_EQ(texts(recovered_layout(paragraph("T", 3))),
            (Texts{"THIS COLLECTION of six", "broad variety of", "stories told", "tales below", "and more"}));
  const Texts single = texts(recovered_layout(paragraph("T", 1)));
  EXPECT_EQ(std::count(single.begin(), single.end(), "THIS COLLECTION of six"), 0) << single.front();
  // The strict layout is not changed by it.
  EXPECT_EQ(layout_lines(paragraph("T", 3), kLetter).lines.front().text, "HIS COLLECTION of six");
}

}  // namespace
}  // namespace folioscan
