// Recovery's table detection on synthetic pages: rule segments and their merge, grids
// and cells with spans, ruled drawings that are not tables, rule-less tables, and the
// runs that leave the line flow.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "structure/blocks.h"
#include "tables/detect.h"
#include "tables/segments.h"
#include "tables/text_lines.h"

namespace folioscan {
namespace {

constexpr std::array<double, 4> kLetter = {0, 0, 612, 792};

// A run of 10-point text, 5 points a character.
TextRun run(std::string text, double x, double y) {
  const double width = 5.0 * static_cast<double>(text.size());
  return TextRun{std::move(text), std::make_shared<const std::string>("F1"), x, y, width, 10, x + width, 10, y};
}

Segment h(double y, double x0, double x1) { return {true, y, x0, x1}; }
Segment v(double x, double y0, double y1) { return {false, x, y0, y1}; }

// A full grid: a horizontal rule at each y across the xs, a vertical one at each x.
void grid(std::vector<Segment>& out, const std::vector<double>& xs, const std::vector<double>& ys) {
  for (const double y : ys) out.push_back(h(y, xs.front(), xs.back()));
  for (const double x : xs) out.push_back(v(x, ys.back(), ys.front()));
}

// One word in each cell of the grid, placed a little above the cell's bottom rule.
void words(std::vector<TextRun>& out, const std::vector<double>& xs, const std::vector<double>& ys,
           const std::string& prefix) {
  for (std::size_t r = 0; r + 1 < ys.size(); ++r) {
    for (std::size_t c = 0; c + 1 < xs.size(); ++c) {
      out.push_back(run(prefix + std::to_string(r) + std::to_string(c), xs[c] + 4, ys[r + 1] + 5));
    }
  }
}

std::vector<const TextRun*> pointers(const std::vector<TextRun>& runs) {
  std::vector<const TextRun*> out;
  for (const TextRun& r : runs) out.push_back(&r);
  return out;
}

std::vector<Table> detect(std::vector<Segment> segments, const std::vector<TextRun>& runs) {
  const std::vector<const TextRun*> shown = pointers(runs);
  return detect_tables_recovering(std::move(segments), shown, kLetter);
}

using Cells = std::vector<std::vector<std::string>>;

TEST(Segments, CollinearTouchingPiecesMergeAndSliversGo) {
  const std::vector<Segment> merged = merge_segments({h(700, 100, 200), h(700.5, 201, 300), h(700, 310, 400),
                                                      v(100, 600, 700), v(100, 500, 599), h(650, 10, 11)});
  ASSERT_EQ(merged.size(), 3u);
  EXPECT_TRUE(merged[0].horizontal);
  EXPECT_EQ(merged[0].from, 100);
  EXPECT_EQ(merged[0].to, 300);  // 201 is within touching distance of 200
  EXPECT_EQ(merged[1].from, 310);
  EXPECT_FALSE(merged[2].horizontal);
  EXPECT_EQ(merged[2].from, 500);
  EXPECT_EQ(merged[2].to, 700);
}

TEST(Segments, FilledBoxesGiveBarsEdgesOrNothing) {
  struct Case {
    FilledBox box;
    std::size_t count;
    bool horizontal;
  } cases[] = {
      {{100, 700, 300, 701}, 1, true},    // a hairline filled as a bar
      {{100, 700, 300, 705}, 1, true},    // a thick border
      {{100, 500, 101, 700}, 1, false},   // an upright bar
      {{100, 500, 300, 700}, 4, true},    // a cell's background: its four edges
      {{100, 700, 104, 704}, 0, true},    // a dot
  };
  for (const Case& c : cases) {
    std::vector<Segment> out;
    add_box_segments(c.box, out);
    ASSERT_EQ(out.size(), c.count) << c.box.x0 << " " << c.box.y1;
    if (c.count == 0) continue;
    EXPECT_EQ(out[0].horizontal, c.horizontal);
    EXPECT_EQ(out[0].weak, c.count == 4);
  }
}

TEST(RecoveredTables, TablesSideBySideAndAboveEachOtherAreEachFound) {
  const std::vector<double> left = {50, 150, 250}, right = {350, 450, 550};
  const std::vector<double> top = {700, 680, 660}, bottom = {400, 380, 360, 340};
  std::vector<Segment> segments;
  std::vector<TextRun> runs;
  grid(segments, left, top);
  grid(segments, right, top);
  grid(segments, left, bottom);
  words(runs, left, top, "a");
  words(runs, right, top, "b");
  words(runs, left, bottom, "c");
  const std::vector<Table> tables = detect(segments, runs);
  ASSERT_EQ(tables.size(), 3u);
  // Top to bottom; the two at one height in either order.
  std::vector<std::string> corners;
  for (const Table& t : tables) corners.push_back(t.cells[0][0]);
  EXPECT_EQ(corners.back(), "c00");
  EXPECT_EQ((std::vector<std::string>{corners[0], corners[1]} == std::vector<std::string>{"a00", "b00"} ||
             std::vector<std::string>{corners[0], corners[1]} == std::vector<std::string>{"b00", "a00"}),
            true);
  EXPECT_EQ(tables[2].cells, (Cells{{"c00", "c01"}, {"c10", "c11"}, {"c20", "c21"}}));
  EXPECT_EQ(tables[2].bbox, (std::array<double, 4>{50, 340, 250, 400}));
  EXPECT_TRUE(tables[2].spans.empty());
}

TEST(RecoveredTables, AMissingInnerRuleMakesASpanningCell) {
  // Three columns; the header row has no rule between its first two columns, and the
  // first column's two lower rows have no rule between them.
  std::vector<Segment> segments = {h(700, 50, 350), h(680, 50, 350), h(660, 150, 350), h(640, 50, 350),
                                   v(50, 640, 700), v(150, 640, 680), v(250, 640, 700), v(350, 640, 700)};
  std::vector<TextRun> runs = {run("Wide header", 60, 685), run("c", 260, 685), run("tall", 60, 665),
                               run("x", 160, 665), run("y", 260, 665), run("z", 160, 645), run("w", 260, 645)};
  const std::vector<Table> tables = detect(segments, runs);
  ASSERT_EQ(tables.size(), 1u);
  const Table& t = tables[0];
  EXPECT_EQ(t.cells, (Cells{{"Wide header", "", "c"}, {"tall", "x", "y"}, {"", "z", "w"}}));
  ASSERT_EQ(t.spans.size(), 2u);
  EXPECT_EQ((std::array<std::uint64_t, 4>{t.spans[0].row, t.spans[0].col, t.spans[0].rows, t.spans[0].cols}),
            (std::array<std::uint64_t, 4>{0, 0, 1, 2}));
  EXPECT_EQ((std::array<std::uint64_t, 4>{t.spans[1].row, t.spans[1].col, t.spans[1].rows, t.spans[1].cols}),
            (std::array<std::uint64_t, 4>{1, 0, 2, 1}));
}

TEST(RecoveredTables, ThinEmptyBandsAHeaderAboveTheTopAndTextOverColumnsOfAJoinedCellAreRead) {
  // Columns at x = 50, 150, 250, 350. The header row has no rule between its last two
  // columns; a background inside the third row's rules leaves 9-point slivers (under a
  // line of 10-point text); a rule at x = 340 parts the last row only.
  const auto weak = [](Segment s) { return s.weak = true, s; };
  const std::vector<Segment> segments = {
      h(700, 50, 350), h(670, 50, 350), h(650, 50, 350), h(610, 50, 350), h(590, 50, 350), v(50, 590, 700),
      v(150, 590, 700), v(250, 590, 670), v(250, 610, 650), v(340, 590, 610), v(350, 590, 700),
      weak(h(641, 50, 350)), weak(h(619, 50, 350)), weak(v(50, 619, 641)), weak(v(350, 619, 641))};
  const std::vector<TextRun> body = {run("Kind", 60, 688), run("Mitosis", 160, 688), run("Meiosis", 245, 688),
                                     run("(one)", 160, 676), run("(two)", 245, 676), run("a", 60, 655),
                                     run("b", 160, 655), run("c", 260, 655), run("d", 60, 626),
                                     run("e", 160, 626), run("run on in", 295, 626), run("to", 340, 626),
                                     run("x", 60, 595), run("y", 160, 595)};
  const struct {
    const char* name;
    std::vector<TextRun> above;  // a line 8 points above the top rule
    bool header;
  } cases[] = {
      {"header", {run("North", 160, 708), run("South", 260, 708)}, true},
      {"caption", {run("Table 2. Sales by region", 160, 708)}, false},
      {"past the side", {run("North", 160, 708), run("South and all the rest", 260, 708)}, false},
  };
  for (const auto& c : cases) {
    std::vector<TextRun> runs = body;
    runs.insert(runs.end(), c.above.begin(), c.above.end());
    const std::vector<Table> tables = detect(segments, runs);
    ASSERT_EQ(tables.size(), 1u) << c.name;
    Cells cells = {{"Kind", "Mitosis\n(one)", "Meiosis\n(two)"}, {"a", "b", "c"}, {"d", "e", "run on into"},
                   {"x", "y", ""}};
    if (c.header) cells.insert(cells.begin(), {"", "North", "South"});
    EXPECT_EQ(tables[0].cells, cells) << c.name;
    const std::vector<const TextRun*> shown = pointers(runs);
    EXPECT_EQ(runs_outside_tables(shown, tables).size(), c.header ? 0u : c.above.size()) << c.name;
  }
}

// Ruled drawings that are not tables.
TEST(RecoveredTables, ChartsBarsFramesAndGridsThroughWordsAreNoTables) {
  struct Case {
    const char* name;
    std::vector<Segment> segments;
    std::vector<TextRun> runs;
  };
  std::vector<Case> cases;
  {
    // A chart: a 6 x 6 grid of gridlines, axis labels outside it, one label inside.
    Case c{"chart", {}, {}};
    std::vector<double> xs, ys;
    for (int i = 0; i <= 6; ++i) xs.push_back(100 + 50 * i), ys.push_back(700 - 50 * i);
    grid(c.segments, xs, ys);
    for (int i = 0; i <= 6; ++i) {
      c.runs.push_back(run(std::to_string(10 * i), 100 + 50 * i, 385));
      c.runs.push_back(run(std::to_string(i), 80, 400 + 50 * i));
    }
    c.runs.push_back(run("peak", 260, 560));
    cases.push_back(std::move(c));
  }
  {
    // A plot's axes crossing, with ticks along them and labels in three quadrants.
    Case c{"axes", {h(500, 100, 400), v(250, 350, 650)}, {}};
    for (int i = 0; i < 6; ++i) {
      c.segments.push_back(v(110 + 50 * i, 497, 503));
      c.segments.push_back(h(370 + 50 * i, 247, 253));
    }
    c.runs = {run("y", 150, 600), run("x", 300, 600), run("0", 150, 400)};
    cases.push_back(std::move(c));
  }
  // An equation: fraction bars under numerators, over denominators.
  cases.push_back({"fractions",
                   {h(600, 100, 130), h(600, 160, 200), h(560, 100, 140)},
                   {run("a+b", 102, 605), run("c", 110, 588), run("x", 165, 605), run("2y", 170, 588),
                    run("1", 115, 565), run("n", 115, 548)}});
  // A framed paragraph.
  cases.push_back({"frame",
                   {h(700, 50, 550), h(600, 50, 550), v(50, 600, 700), v(550, 600, 700)},
                   {run("A paragraph set in a frame, one line", 60, 680), run("after another line", 60, 665),
                    run("and a third line of it.", 60, 650)}});
  // An underline and a rule between paragraphs.
  cases.push_back({"underlines", {h(698, 60, 120), h(500, 50, 550)}, {run("Heading", 60, 700), run("text", 60, 480)}});
  {
    // A grid whose rules run through words: the rules are not cells' borders.
    Case c{"through words", {}, {}};
    grid(c.segments, {100, 120, 140, 160}, {700, 680, 660});
    c.runs = {run("abcdefgh", 102, 685), run("ijklmnop", 102, 665)};
    cases.push_back(std::move(c));
  }
  for (const Case& c : cases) EXPECT_TRUE(detect(c.segments, c.runs).empty()) << c.name;
}

TEST(RecoveredTables, AFormWithEmptyCellsIsATable) {
  std::vector<Segment> segments;
  grid(segments, {50, 200, 350, 500}, {700, 680, 660, 640, 620});
  std::vector<TextRun> runs = {run("Mitosis", 210, 685), run("Meiosis", 360, 685), run("cells", 60, 665),
                               run("divisions", 60, 645), run("purpose", 60, 625)};
  const std::vector<Table> tables = detect(segments, runs);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells[0], (std::vector<std::string>{"", "Mitosis", "Meiosis"}));
}

TEST(RecoveredTables, CellTextComesInReadingOrderAndRightToLeftInLogicalOrder) {
  std::vector<Segment> segments;
  grid(segments, {50, 250, 450}, {700, 660, 620});
  std::vector<TextRun> runs = {
      // Drawn bottom line first: read top to bottom, joined by a line feed.
      run("second", 60, 665), run("first", 60, 680),
      // Hebrew drawn in visual order: read in logical order.
      run("\u05dd\u05d5\u05dc\u05e9", 300, 680), run("b", 60, 630), run("c", 260, 630)};
  const std::vector<Table> tables = detect(segments, runs);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells, (Cells{{"first\nsecond", "\u05e9\u05dc\u05d5\u05dd"}, {"b", "c"}}));
}

TEST(RecoveredTables, RuleLessPriceListIsATableAndProseIsNot) {
  std::vector<TextRun> prices = {run("Item", 72, 700), run("Qty", 250, 700), run("Price", 400, 700)};
  const char* items[] = {"Apples", "Pears", "Plums", "Cherries"};
  for (int i = 0; i < 4; ++i) {
    const double y = 684 - 14 * i;
    prices.push_back(run(items[i], 72, y));
    prices.push_back(run(std::to_string(i + 1), 250, y));
    prices.push_back(run(std::to_string(i + 1) + ".50", 400, y));
  }
  prices.push_back(run("A line of prose below the table runs across.", 72, 600));
  // A second header line set a few points lower: one row with the first.
  prices.push_back(run("(each)", 400, 694));
  const std::vector<Table> tables = detect({}, prices);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].rows, 5u);
  EXPECT_EQ(tables[0].cells[0], (std::vector<std::string>{"Item", "Qty", "Price\n(each)"}));
  EXPECT_EQ(tables[0].cells[4], (std::vector<std::string>{"Cherries", "4", "4.50"}));
  // Its runs leave the lines; the prose stays.
  const std::vector<const TextRun*> shown = pointers(prices);
  const std::vector<const TextRun*> rest = runs_outside_tables(shown, tables);
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(rest[0]->text, "A line of prose below the table runs across.");

  // Two and three columns of prose: long lines, parted by gutters.
  for (const int columns : {2, 3}) {
    std::vector<TextRun> prose;
    for (int i = 0; i < 10; ++i) {
      for (int c = 0; c < columns; ++c) {
        prose.push_back(run(columns == 2 ? "words of a column of prose run on" : "words in a column of prose",
                            72 + c * (columns == 2 ? 250 : 170), 700 - 12 * i));
      }
    }
    EXPECT_TRUE(detect({}, prose).empty()) << columns;
  }
}

TEST(RecoveredTables, TwoColumnsBetweenHorizontalRulesAreATableAndProseBetweenRulesIsNot) {
  // A top rule, a rule under the header, a bottom rule; a header line set too close to
  // part its columns, a units line under it, then five rows.
  const std::vector<Segment> rules = {h(700, 60, 260), h(672, 60, 260), h(590, 60, 260)};
  std::vector<TextRun> runs = {run("Mineral type", 62, 688), run("Capacity", 125, 688), run("per kg", 170, 676)};
  const char* minerals[] = {"kaolinite", "illite", "smectite", "vermiculite", "humus"};
  for (int i = 0; i < 5; ++i) {
    runs.push_back(run(minerals[i], 62, 660 - 14 * i));
    runs.push_back(run(std::to_string(10 * (i + 1)), 170, 660 - 14 * i));
  }
  runs.push_back(run("Text after the table.", 62, 570));
  const std::vector<Table> tables = detect(rules, runs);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells[0], (std::vector<std::string>{"Mineral type", "Capacity"}));
  EXPECT_EQ(tables[0].cells[1], (std::vector<std::string>{"", "per kg"}));
  EXPECT_EQ(tables[0].cells[6], (std::vector<std::string>{"humus", "50"}));
  EXPECT_EQ(tables[0].bbox, (std::array<double, 4>{60, 590, 260, 700}));

  // Between rules of one extent: prose broken around formulas, a fraction's terms
  // between short bars, and dot leaders of a form.
  const struct {
    const char* name;
    std::vector<Segment> rules;
    std::vector<TextRun> runs;
  } cases[] = {
      {"prose", {h(700, 60, 400), h(640, 60, 400)},
       {run("From the axioms", 62, 688), run("it follows that", 200, 688), run("0", 90, 674), run("0", 320, 674),
        run("with P and", 75, 660), run("Q fixed.", 240, 660)}},
      {"fraction", {h(700, 60, 90), h(672, 60, 90)},
       {run("z-", 62, 690), run("z", 80, 690), run("1", 62, 680), run("2", 80, 680), run("z3-", 62, 675),
        run("z4", 80, 675)}},
      {"gridlines", {h(700, 60, 400), h(680, 60, 400), h(660, 60, 400), h(640, 60, 400), h(620, 60, 400)},
       {run("22", 100, 690), run("32", 200, 690), run("37", 100, 670), run("20", 200, 670), run("30", 100, 650),
        run("17", 200, 650), run("57", 100, 630), run("46", 200, 630)}},
      {"leaders", {h(700, 60, 400), h(600, 60, 400)},
       {run(".", 62, 680), run(".", 300, 680), run(".", 62, 660), run(".", 300, 660), run(".", 62, 640),
        run(".", 300, 640)}},
  };
  for (const auto& c : cases) EXPECT_TRUE(detect(c.rules, c.runs).empty()) << c.name;
}

TEST(RecoveredTables, ColumnsSetCloseOrAWordSpaceApartPartWhereMostLinesBelowStartThem) {
  // Between a top and a bottom rule, columns at x = 62, 110, 160, 210 and 248: the
  // header's first cells and the units line's last two stand 8 points apart (under a
  // gutter of 10-point text).
  std::vector<TextRun> runs = {run("Interval", 62, 688), run("Outlets", 110, 688), run("Grade", 160, 688),
                               run("Pt val", 210, 674), run("Pt val", 248, 674)};
  for (int i = 0; i < 4; ++i) {
    for (const double x : {62.0, 110.0, 160.0, 210.0, 248.0}) {
      runs.push_back(run("0." + std::to_string(i), x, 660 - 12 * i));
    }
  }
  std::vector<Table> tables = detect({h(700, 60, 300), h(600, 60, 300)}, runs);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells[0], (std::vector<std::string>{"Interval", "Outlets", "Grade", "", ""}));
  EXPECT_EQ(tables[0].cells[1], (std::vector<std::string>{"", "", "", "Pt val", "Pt val"}));
  // Without rules: a header line whose cells stand a word space apart, over columns at
  // x = 72, 97 and 127.
  runs = {run("Type ", 72, 712), run("Count ", 97, 712), run("Price", 127, 712)};
  for (int i = 0; i < 3; ++i) {
    for (const double x : {72.0, 97.0, 127.0}) runs.push_back(run(std::to_string(i), x, 698 - 14 * i));
  }
  tables = detect({}, runs);
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0].cells[0], (std::vector<std::string>{"Type", "Count", "Price"}));
  EXPECT_EQ(tables[0].rows, 4u);

  // A gap under a gutter is cut only where two or more lines, and half of them or more,
  // start a chunk; a word space never.
  const struct {
    double gap;
    std::vector<double> starts;  // of the second chunk of each line below
    std::size_t chunks;
  } cases[] = {{7, {110, 110, 180}, 2}, {7, {110, 180, 180}, 1}, {7, {110, 110, 180, 180, 180, 180, 180}, 1},
               {4, {110, 110, 110}, 1}};
  for (const auto& c : cases) {
    std::vector<TextRun> lines = {run("First", 85 - c.gap, 700), run("second", 110, 700)};
    for (std::size_t i = 0; i < c.starts.size(); ++i) {
      lines.push_back(run("Row", 62, 686 - 14 * static_cast<double>(i)));
      lines.push_back(run("value", c.starts[i], 686 - 14 * static_cast<double>(i)));
    }
    const std::vector<Row> rows = rows_of(pointers(lines), 1.0);
    const std::optional<std::vector<Row>> cut = cut_at_column_starts(rows, 0.6, 2.0);
    // Nothing cut, nothing returned.
    EXPECT_EQ(cut.has_value(), c.chunks == 2) << c.gap << " " << c.starts.size();
    EXPECT_EQ((cut ? *cut : rows)[0].chunks.size(), c.chunks) << c.gap << " " << c.starts.size();
  }
}

TEST(RecoveredTables, RowRulesOrAHeaderRuleAloneFrameATableWithWrappedCells) {
  // Three columns; descriptions (and a price) wrap over two or three lines. Either a
  // rule between each two rows, or only a top, a header and a bottom rule with the
  // rows told by the one-line cells of the first column.
  const struct {
    const char* name;
    std::vector<Segment> rules;
    std::vector<TextRun> runs;
    Cells cells;
  } cases[] = {
      {"row rules",
       {h(700, 60, 460), h(680, 60, 460), h(640, 60, 460), h(600, 60, 460), h(570, 60, 460)},
       {run("Item", 62, 688), run("Description", 160, 688), run("Price", 360, 688), run("Apples", 62, 668),
        run("Crisp red fruit picked", 160, 668), run("from the northern hills", 160, 656), run("2.50", 360, 668),
        run("Pears", 62, 628), run("Soft green fruit", 160, 628), run("sold by the box", 160, 616),
        run("3.10", 360, 628), run("per kg", 360, 616), run("Plums", 62, 588), run("Small and sweet", 160, 588),
        run("1.20", 360, 588)},
       {{"Item", "Description", "Price"},
        {"Apples", "Crisp red fruit picked\nfrom the northern hills", "2.50"},
        {"Pears", "Soft green fruit\nsold by the box", "3.10\nper kg"},
        {"Plums", "Small and sweet", "1.20"}}},
      {"header rule",
       {h(700, 60, 460), h(680, 60, 460), h(585, 60, 460)},
       {run("Item", 62, 688), run("Description", 160, 688), run("Price", 360, 688), run("Apples", 62, 668),
        run("crisp red fruit picked in autumn", 160, 668), run("from the hills of the north", 160, 656),
        run("2.50", 360, 668), run("Pears", 62, 644), run("soft green fruit sold by box", 160, 644),
        run("or by the crate on request", 160, 632), run("3.10", 360, 644), run("Plums", 62, 620),
        run("small and sweet plums of summer", 160, 620), run("picked by hand in the valley", 160, 608),
        run("and sold on the same day", 160, 596), run("1.20", 360, 620)},
       {{"Item", "Description", "Price"},
        {"Apples", "crisp red fruit picked in autumn\nfrom the hills of the north", "2.50"},
        {"Pears", "soft green fruit sold by box\nor by the crate on request", "3.10"},
        {"Plums", "small and sweet plums of summer\npicked by hand in the valley\nand sold on the same day", "1.20"}}},
  };
  for (const auto& c : cases) {
    std::vector<TextRun> runs = c.runs;
    runs.push_back(run("Prose after the table.", 62, 540));
    const std::vector<Table> tables = detect(c.rules, runs);
    ASSERT_EQ(tables.size(), 1u) << c.name;
    EXPECT_EQ(tables[0].cells, c.cells) << c.name;
    EXPECT_EQ(tables[0].bbox, (std::array<double, 4>{60, c.rules.back().at, 460, 700})) << c.name;
    EXPECT_EQ(runs_outside_tables(pointers(runs), tables).size(), 1u) << c.name;
  }
}

TEST(RecoveredTables, HeadingRulesUnderlinesBoxesProseAndFormsBetweenRulesAreNoTables) {
  const auto weak = [](double y, double x0, double x1) { return Segment{true, y, x0, x1, true}; };
  const std::string prose = "A line of prose that runs across the page from margin to margin.";
  std::vector<TextRun> headed = {run("Results", 72, 720), run("Discussion", 72, 604)};
  for (int i = 0; i < 6; ++i) headed.push_back(run(prose, 72, 700 - 12 * i));
  std::vector<TextRun> columns_of_prose;
  std::vector<Segment> row_rules;
  for (int band = 0; band < 4; ++band) {
    row_rules.push_back(h(700 - 50 * band, 60, 560));
    for (int line = 0; line < 3; ++line) {
      for (int c = 0; c < 3; ++c) columns_of_prose.push_back(run("words in a column of prose", 62 + 170 * c, 688 - 50 * band - 12 * line));
    }
  }
  row_rules.push_back(h(500, 60, 560));
  const struct {
    const char* name;
    std::vector<Segment> rules;
    std::vector<TextRun> runs;
  } cases[] = {
      // A rule under each heading, one under a word of the prose between them.
      {"heading rules", {h(716, 72, 540), h(697, 72, 200), h(600, 72, 540)}, headed},
      // A filled box behind prose: its edges frame nothing.
      {"boxed prose", {weak(710, 60, 560), weak(630, 60, 560)}, headed},
      {"three columns of prose between rules", row_rules, columns_of_prose},
      // A form's line numbers and field labels between its rules: stacks of values.
      {"form", {h(700, 60, 460), h(640, 60, 460), h(580, 60, 460), h(540, 60, 460)},
       {run("Wages and salaries", 62, 688), run("7", 250, 688), run("8", 400, 688), run("9a", 400, 676),
        run("9b", 400, 664), run("Interest", 62, 628), run("10", 250, 628), run("11", 400, 628),
        run("12", 400, 616), run("13", 400, 604), run("Dividends", 62, 568), run("14", 250, 568),
        run("15", 400, 568), run("16", 400, 556)}},
      // A chart's tick labels along its gridlines, with an axis title.
      {"tick labels", {h(700, 60, 460), h(660, 60, 460), h(620, 60, 460), h(580, 60, 460), h(540, 60, 460)},
       {run("0.6", 62, 680), run("0.7", 150, 680), run("0.8", 250, 680), run("Rate", 400, 640),
        run("0.6", 62, 600), run("0.7", 150, 600), run("0.8", 250, 600), run("Rate", 400, 560)}},
  };
  for (const auto& c : cases) EXPECT_TRUE(detect(c.rules, c.runs).empty()) << c.name;
}

TEST(RecoveredTables, DenseOrOverlongRulesGiveNoTableAndFinish) {
  // Four thousand rules each way, all crossing: more cells than a table has.
  std::vector<Segment> dense;
  for (int i = 0; i < 4000; ++i) {
    dense.push_back(h(10 + 0.19 * i, 10, 600));
    dense.push_back(v(10 + 0.15 * i, 10, 780));
  }
  EXPECT_TRUE(detect(dense, {run("a", 20, 20), run("b", 300, 300)}).empty());
  // More segments than a page keeps: not searched.
  std::vector<Segment> many;
  for (int i = 0; i < 12000; ++i) many.push_back(h(700 - (i % 3) * 20, 50 + i, 51 + i));
  grid(many, {50, 150, 250}, {700, 680, 660});
  std::vector<TextRun> runs;
  words(runs, {50, 150, 250}, {700, 680, 660}, "w");
  EXPECT_TRUE(detect(many, runs).empty());
}

}  // namespace
}  // namespace folioscan
