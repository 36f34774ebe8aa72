// Ruled-table detection: strokes from path operations, merging close positions, the grid
// decision, and filling cells from runs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "input_limits.h"
#include "content_support.h"
#include "tables.h"

namespace folioscan {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

ContentOp op(std::string_view name, std::vector<double> numbers = {}) {
  ContentOp result;
  for (const double n : numbers) result.operands.push_back(Object{n});
  result.op = operator_of(name);
  result.keyword_len = static_cast<std::uint8_t>(name.size());
  std::copy(name.begin(), name.end(), result.keyword.begin());
  return result;
}

using Ops = std::vector<ContentOp>;

void line(Ops& ops, double x0, double y0, double x1, double y1) {
  ops.push_back(op("m", {x0, y0}));
  ops.push_back(op("l", {x1, y1}));
  ops.push_back(op("S"));
}

// Horizontal rules at each y from x0 to x1 and vertical rules at each x from y0 to y1.
Ops grid(const std::vector<double>& xs, const std::vector<double>& ys) {
  Ops ops;
  for (const double y : ys) line(ops, xs.front(), y, xs.back(), y);
  for (const double x : xs) line(ops, x, ys.front(), x, ys.back());
  return ops;
}

// A run 10 wide in 12-point text under identity matrices.
TextRun run(std::string text, double x, double y) {
  return TextRun{std::move(text), std::make_shared<const std::string>("F1"), x, y, 10, 12, x + 10, 12};
}

TEST(Tables, NoPathOperatorsGiveNoTable) {
  EXPECT_TRUE(detect_tables({op("BT"), op("Tj"), op("ET")}, {run("text", 100, 100)}).empty());
}

TEST(Tables, SlantedLinesAndCurvesGiveNoTable) {
  Ops ops;
  line(ops, 0, 0, 100, 100);
  line(ops, 100, 0, 0, 100);
  ops.push_back(op("m", {0, 0}));
  ops.push_back(op("c", {0, 100, 100, 100, 100, 0}));
  ops.push_back(op("h"));
  EXPECT_TRUE(detect_tables(ops, {}).empty());
}

TEST(Tables, OneDirectionAloneGivesNoTable) {
  Ops ops;
  line(ops, 0, 700, 500, 700);
  line(ops, 0, 600, 500, 600);
  line(ops, 0, 500, 500, 500);
  line(ops, 250, 0, 250, 800);  // a single vertical position
  EXPECT_TRUE(detect_tables(ops, {}).empty());
}

TEST(Tables, FrameGivesOneCellWithTheTextInsideJoinedInContentOrder) {
  const Ops ops = {op("re", {50, 50, 500, 700}), op("f")};
  const auto tables = detect_tables(
      ops, {run("second", 300, 600), run("first", 100, 700), run("outside", 600, 400),
            run("below", 100, 10)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 1u);
  EXPECT_EQ(tables[0].cols, 1u);
  EXPECT_EQ(tables[0].cells, (std::vector<std::vector<std::string>>{{"second first"}}));
}

TEST(Tables, ThreeHorizontalAndTwoVerticalRulesGiveTwoRowsOneColumn) {
  const auto tables = detect_tables(grid({100, 300}, {700, 680, 660}),
                                    {run("top", 150, 690), run("bottom", 150, 670)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 2u);
  EXPECT_EQ(tables[0].cols, 1u);
  EXPECT_EQ(tables[0].cells, (std::vector<std::vector<std::string>>{{"top"}, {"bottom"}}));
}

TEST(Tables, CloseRulesMergeAgainstTheLastKeptPosition) {
  // 700 and 701.5 are one position.
  auto tables = detect_tables(grid({100, 300}, {701.5, 700, 600}), {});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 1u);
  // 701.5 is dropped against 700, but 703 is kept: it is 3 above the last kept value.
  tables = detect_tables(grid({100, 300}, {703, 701.5, 700, 600}), {run("in", 150, 702)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 2u);
  EXPECT_EQ(tables[0].cells[0][0], "in");
  // A close group is represented by its smallest member: 100 and 101 become 100, so a
  // run at 98 (within 2 of 100) is still in column 0.
  tables = detect_tables(grid({100, 101, 300}, {700, 600}), {run("edge", 98, 650)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cols, 1u);
  EXPECT_EQ(tables[0].cells[0][0], "edge");
}

TEST(Tables, ThinRectanglesCountOnlyTheirNearlyLevelEdgesAsHorizontal) {
  // Bars 1 unit high add only horizontal positions; the vertical rules come from lines.
  Ops ops = {op("re", {100, 700, 200, 1}), op("re", {100, 600, 200, 1}), op("f")};
  line(ops, 100, 500, 100, 800);
  line(ops, 300, 500, 300, 800);
  auto tables = detect_tables(ops, {});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 1u);
  EXPECT_EQ(tables[0].cols, 1u);

  // Upright bars 1 unit wide add their x (merged) and their short ends as horizontals.
  tables = detect_tables({op("re", {100, 500, 1, 200}), op("re", {300, 500, 1, 200})}, {});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 1u);
  EXPECT_EQ(tables[0].cols, 1u);

  // The same rules drawn as lines add no horizontal position.
  Ops lines;
  line(lines, 100, 500, 100, 700);
  line(lines, 300, 500, 300, 700);
  EXPECT_TRUE(detect_tables(lines, {}).empty());
}

TEST(Tables, RectangleDoesNotMoveTheCurrentPoint) {
  // After "re", "l" still starts from the point set by "m" (0, 600), so it is horizontal.
  Ops ops = {op("m", {0, 600}), op("re", {100, 100, 50, 50}), op("l", {400, 600})};
  line(ops, 500, 0, 500, 50);
  const auto tables = detect_tables(ops, {});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 2u);  // 600, 150, 100
  EXPECT_EQ(tables[0].cols, 2u);  // 100, 150, 500
}

TEST(Tables, LineWithoutMoveStartsAtTheOrigin) {
  Ops ops = {op("l", {300, 1})};  // horizontal at y = 0
  line(ops, 0, 500, 300, 500);
  line(ops, 0, 0, 0, 500);
  line(ops, 300, 0, 300, 500);
  const auto tables = detect_tables(ops, {run("cell", 10, 10)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells[0][0], "cell");
}

TEST(Tables, TransformedRuleInsideSaveRestoreUsesTheTranslatedPosition) {
  Ops ops = {op("q"), op("cm", {1, 0, 0, 1, 0, 100})};
  line(ops, 0, 500, 200, 500);  // recorded at y = 600
  ops.push_back(op("Q"));
  line(ops, 0, 500, 200, 500);  // after Q: recorded at y = 500
  line(ops, 0, 400, 0, 700);
  line(ops, 200, 400, 200, 700);
  const auto tables = detect_tables(ops, {run("inside", 50, 550)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 1u);
  EXPECT_EQ(tables[0].cells[0][0], "inside");
}

TEST(Tables, CmWithoutOperandsIsTheIdentityAndScalingApplies) {
  Ops ops = {op("cm"), op("cm", {2, 0, 0, 2, 0, 0})};
  line(ops, 0, 100, 100, 100);  // y = 200
  line(ops, 0, 200, 100, 200);  // y = 400
  line(ops, 0, 100, 0, 200);    // x = 0
  line(ops, 100, 100, 100, 200);  // x = 200
  const auto tables = detect_tables(ops, {run("scaled", 150, 300), run("unscaled", 150, 150)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells[0][0], "scaled");
}

TEST(Tables, RestoreWithoutSaveChangesNothing) {
  Ops ops = {op("cm", {1, 0, 0, 1, 0, 100}), op("Q")};
  line(ops, 0, 500, 200, 500);  // still translated: y = 600
  ops.push_back(op("cm", {1, 0, 0, 1, 0, -100}));
  line(ops, 0, 500, 200, 500);
  line(ops, 0, 0, 0, 700);
  line(ops, 200, 0, 200, 700);
  const auto tables = detect_tables(ops, {run("between", 50, 550)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 1u);
  EXPECT_EQ(tables[0].cells[0][0], "between");  // rules at 600 and 500
}

struct PlaceCase {
  double x;
  double y;
  std::optional<std::pair<int, int>> cell;  // (row, column)
};

void PrintTo(const PlaceCase& c, std::ostream* os) { *os << "at " << c.x << " " << c.y; }

class TablesPlacement : public testing::TestWithParam<PlaceCase> {};

TEST_P(TablesPlacement, BandsAreWidenedByTwoAndTheEarlierBandWins) {
  const auto& c = GetParam();
  const auto tables = detect_tables(grid({100, 200, 300}, {700, 680, 660}), {run("t", c.x, c.y)});
  ASSERT_EQ(tables.size(), 1u);
  std::optional<std::pair<int, int>> found;
  for (int r = 0; r < 2; ++r) {
    for (int col = 0; col < 2; ++col) {
      if (!tables[0].cells[r][col].empty()) found = std::pair{r, col};
    }
  }
  EXPECT_EQ(found, c.cell) << c.x << ", " << c.y;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TablesPlacement,
    testing::Values(PlaceCase{150, 690, std::pair{0, 0}}, PlaceCase{250, 670, std::pair{1, 1}},
                    PlaceCase{201, 690, std::pair{0, 0}},  // X[1] + 1 is still column 0
                    PlaceCase{201.99, 690, std::pair{0, 0}}, PlaceCase{202, 690, std::pair{0, 1}},
                    PlaceCase{98, 690, std::pair{0, 0}}, PlaceCase{97.9, 690, std::nullopt},
                    PlaceCase{301.9, 690, std::pair{0, 1}}, PlaceCase{302, 690, std::nullopt},
                    PlaceCase{150, 702, std::pair{0, 0}}, PlaceCase{150, 702.1, std::nullopt},
                    PlaceCase{150, 678.5, std::pair{0, 0}},  // Y[1] - 1.5: still row 0
                    PlaceCase{150, 678, std::pair{1, 0}}, PlaceCase{150, 658.1, std::pair{1, 0}},
                    PlaceCase{150, 658, std::nullopt}, PlaceCase{kNaN, 690, std::nullopt},
                    PlaceCase{150, kNaN, std::nullopt}, PlaceCase{kInf, 690, std::nullopt},
                    PlaceCase{150, -kInf, std::nullopt}));

TEST(Tables, CellTextsAreJoinedWithOneSpace) {
  // Each later run starts 20 past the end of the one before it: a new word.
  const auto tables = detect_tables(
      grid({0, 100, 200, 300}, {100, 0}),
      {run("first", 10, 50), run("second", 40, 50), run("a ", 110, 50), run("b", 140, 50),
       run("x", 210, 50), run("", 240, 50)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells, (std::vector<std::vector<std::string>>{{"first second", "a b", "x "}}));
}

TEST(Tables, ARunCarryingOnThePreviousOneOfItsCellGetsNoSpace) {
  // "Ne" ends at 20; a 12-point run may start up to 2.4 past it, on a baseline at most 6
  // away, and not left of 10. A gap under 0.2 never parts them; a NaN size is ignored.
  const struct {
    double x, y, page_size;
    const char* cell;
  } cases[] = {{22.4, 50, 12, "New"}, {22.5, 50, 12, "Ne w"}, {15, 50, 12, "New"}, {9.9, 50, 12, "Ne w"},
               {20, 56, 12, "New"},   {20, 56.1, 12, "Ne w"}, {20.3, 50, 0.1, "Ne w"}, {20, 50, kNaN, "New"}};
  for (const auto& c : cases) {
    TextRun next = run("w", c.x, c.y);
    next.page_size = c.page_size;
    const auto tables = detect_tables(grid({0, 100}, {100, 0}), {run("Ne", 10, 50), next});
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(tables[0].cells[0][0], c.cell) << c.x << " " << c.y << " size " << c.page_size;
  }
}

TEST(Tables, ContinuationIsJudgedAgainstThePreviousRunOfTheSameCell) {
  // "w" carries on "Ne" although a run of another cell came between them.
  const auto tables = detect_tables(grid({0, 100, 200}, {100, 0}),
                                    {run("Ne", 10, 50), run("elsewhere", 110, 50), run("w", 20, 50)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells, (std::vector<std::vector<std::string>>{{"New", "elsewhere"}}));
}

TEST(Tables, KerningFragmentsOfOneWordFillACellAsOneWord) {
  const std::string content =
      "0 0 m 200 0 l S 0 100 m 200 100 l S 0 0 m 0 100 l S 200 0 m 200 100 l S "
      "BT /F1 12 Tf 10 50 Td [(Ne) -20 (w) -250 (Orleans)] TJ ET";
  const ByteView bytes(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());
  const auto ops = tokenize_content(bytes);
  const auto tables = detect_tables(ops, interpret_content(ops, FontMap{}));
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells[0][0], "New Orleans");
}

TEST(Tables, TwoSeparateTablesMergeIntoOneGrid) {
  Ops ops = grid({100, 300}, {700, 650});
  const Ops lower = grid({100, 200, 300}, {400, 350});
  ops.insert(ops.end(), lower.begin(), lower.end());
  const auto tables = detect_tables(ops, {run("upper", 150, 675), run("lower", 250, 375)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 3u);
  EXPECT_EQ(tables[0].cols, 2u);
  EXPECT_EQ(tables[0].cells,
            (std::vector<std::vector<std::string>>{{"upper", ""}, {"", ""}, {"", "lower"}}));
}

TEST(Tables, NaNAndInfiniteCoordinatesAddNoRules) {
  Ops ops = grid({100, 300}, {700, 600});
  line(ops, kNaN, 650, kNaN, 660);
  line(ops, 150, kNaN, 250, kNaN);
  line(ops, kInf, 650, kInf, 660);
  line(ops, 150, -kInf, 250, -kInf);
  ops.push_back(op("re", {kNaN, kNaN, 20, 20}));
  ops.push_back(op("q"));
  ops.push_back(op("cm", {kInf, 0, 0, kInf, kNaN, kNaN}));
  line(ops, 0, 0, 10, 0);
  line(ops, 0, 0, 0, 10);
  ops.push_back(op("Q"));
  const auto tables = detect_tables(ops, {run("cell", 150, 650)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 1u);
  EXPECT_EQ(tables[0].cols, 1u);
  EXPECT_EQ(tables[0].cells[0][0], "cell");
}

TEST(Tables, DeepSaveWithoutRestoreStaysBounded) {
  Ops ops(100000, op("q"));
  const Ops rules = grid({0, 100}, {100, 0});
  ops.insert(ops.end(), rules.begin(), rules.end());
  const auto tables = detect_tables(ops, {});
  ASSERT_EQ(tables.size(), 1u);
}

TEST(Tables, BalancedRestoresBeyondTheStackBoundStillRestoreTheOuterState) {
  const std::size_t depth = limits::kMaxCtmStack * 3;
  Ops ops(depth, op("q"));
  ops.push_back(op("cm", {1, 0, 0, 1, 0, 1000}));
  ops.insert(ops.end(), depth, op("Q"));
  const Ops rules = grid({0, 100}, {100, 0});
  ops.insert(ops.end(), rules.begin(), rules.end());
  const auto tables = detect_tables(ops, {run("untranslated", 50, 50)});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells[0][0], "untranslated");
}

TEST(Tables, GridsLargerThanTheCellBoundGiveNoTable) {
  std::vector<double> positions;
  for (int i = 0; i < 1100; ++i) positions.push_back(i * 3.0);
  EXPECT_TRUE(detect_tables(grid(positions, positions), {}).empty());
  positions.resize(400);
  const auto tables = detect_tables(grid(positions, positions), {});
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 399u);
  EXPECT_EQ(tables[0].cols, 399u);
}

// The first band that holds a value, by scanning: the definition the cell search must
// match for every position, including those exactly on widened boundaries.
std::optional<std::size_t> scan_column(const std::vector<double>& xs, double x) {
  for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
    if (xs[i] - 2 <= x && x < xs[i + 1] + 2) return i;
  }
  return std::nullopt;
}
std::optional<std::size_t> scan_row(const std::vector<double>& ys, double y) {
  for (std::size_t j = 0; j + 1 < ys.size(); ++j) {
    if (ys[j + 1] - 2 < y && y <= ys[j] + 2) return j;
  }
  return std::nullopt;
}

TEST(Tables, CellSearchMatchesAScanOfTheBands) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 20; ++round) {
    // Positions at least 2 apart, so that merging keeps all of them.
    std::vector<double> xs;
    std::vector<double> ys;
    double x = -50;
    double y = 900;
    const int n = 2 + static_cast<int>(rng() % 12);
    for (int i = 0; i < n; ++i) {
      x += 2 + (rng() % 8) * 0.5;
      xs.push_back(x);
      y -= 2 + (rng() % 8) * 0.5;
      ys.push_back(y);
    }
    std::vector<TextRun> runs;
    for (int k = 0; k < 300; ++k) {
      // Mostly exact boundaries and their neighbours, where an off-by-one would show.
      const double bx = xs[rng() % xs.size()] + static_cast<int>(rng() % 9) * 0.5 - 2.0;
      const double by = ys[rng() % ys.size()] + static_cast<int>(rng() % 9) * 0.5 - 2.0;
      // A trailing space: the cell gets no space of its own, whether a run carries on
      // the one before or not, so the texts show only which cell each run went to.
      runs.push_back(run("r" + std::to_string(k) + " ", bx, by));
    }
    std::vector<double> ys_up(ys.rbegin(), ys.rend());
    const auto tables = detect_tables(grid(xs, ys_up), runs);
    ASSERT_EQ(tables.size(), 1u);
    std::vector<std::vector<std::string>> expected(ys.size() - 1, std::vector<std::string>(xs.size() - 1));
    for (const auto& r : runs) {
      const auto col = scan_column(xs, r.x);
      const auto row = scan_row(ys, r.y);
      if (!col || !row) continue;
      expected[*row][*col] += r.text;
    }
    EXPECT_EQ(tables[0].cells, expected) << "round " << round;
  }
}

}  // namespace
}  // namespace folioscan
