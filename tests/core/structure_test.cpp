// A recovered page's structure on small synthetic pages: columns, reading order,
// paragraphs and hyphenation, headings and their levels, lists, placed tables.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "layout.h"
#include "shown_runs.h"
#include "structure/blocks.h"
#include "structure/font_face.h"
#include "structure/headings.h"
#include "structure/lists.h"
#include "structure/paragraphs.h"
#include "structure/reading_order.h"

namespace folioscan {
namespace {

constexpr std::array<double, 4> kLetter = {0, 0, 612, 792};

// A run under identity matrices, half an em wide per byte.
TextRun run(std::string text, double x, double y, double size = 10.0, bool bold = false) {
  const double width = 0.5 * size * static_cast<double>(text.size());
  TextRun r{std::move(text), std::make_shared<const std::string>("F1"), x, y, width, size, x + width, size, y};
  r.bold = bold;
  r.ascent = 0.8 * size;
  r.descent = -0.2 * size;
  return r;
}

// Lines of prose starting at (x, y), one run per line, 12 points apart.
void column(std::vector<TextRun>& runs, double x, double y, const std::vector<std::string>& lines,
            double size = 10.0) {
  for (std::size_t i = 0; i < lines.size(); ++i) runs.push_back(run(lines[i], x, y - 12.0 * static_cast<double>(i), size));
}

struct Structured {
  std::vector<TextLine> lines;
  Page page;
};

// The structure of one page as recovery builds it, headings marked as for a document
// of that page alone; with `images_between`, an image block stands before each text
// block when headings are marked, as placed images do.
// `figures` are the boxes of images painted on the page.
Structured structure(const std::vector<TextRun>& runs, std::vector<Table> tables = {}, bool images_between = false,
                     const std::vector<std::array<double, 4>>& figures = {}) {
  const std::vector<const TextRun*> shown = shown_runs(runs, kLetter);
  const std::vector<const TextRun*> flowing = runs_outside_tables(shown, tables);
  const LayoutResult layout = layout_lines_recovering(flowing, kLetter);
  PageStructure built = structure_page(layout, tables, kLetter, figures);
  Structured out;
  out.lines = built.lines;
  out.page.lines = std::move(built.lines);
  out.page.blocks = std::move(built.blocks);
  out.page.tables = std::move(tables);
  if (images_between) {
    std::vector<Block> mixed;
    for (Block& block : *out.page.blocks) {
      Block image;
      image.type = BlockType::Image;
      mixed.push_back(std::move(image));
      mixed.push_back(std::move(block));
    }
    out.page.blocks = std::move(mixed);
  }
  std::vector<Page> pages{out.page};
  std::vector<PageStyles> styles{built.styles};
  mark_headings(pages, styles);
  out.page = std::move(pages.front());
  if (images_between) std::erase_if(*out.page.blocks, [](const Block& b) { return b.type == BlockType::Image; });
  return out;
}

std::vector<std::string> line_texts(const Structured& s) {
  std::vector<std::string> out;
  for (const TextLine& line : s.lines) out.push_back(line.text);
  return out;
}

using Summary = std::vector<std::tuple<BlockType, std::string, unsigned>>;

Summary blocks_of(const Structured& s) {
  Summary out;
  for (const Block& block : *s.page.blocks) out.emplace_back(block.type, block.text, block.level.value_or(0));
  return out;
}

using Texts = std::vector<std::string>;

// Two columns of four lines each under a title that spans both.
std::vector<TextRun> two_columns_under_a_title() {
  std::vector<TextRun> runs;
  runs.push_back(run("A Title Across The Page", 72, 740, 20));
  column(runs, 72, 700, {"left one of the first column", "left two of the first column",
                         "left three of the column", "left four ends here."});
  column(runs, 330, 700, {"right one of the second col", "right two of the second col",
                          "right three of the column", "right four ends it."});
  return runs;
}

TEST(Structure, TwoColumnsUnderATitleReadTitleThenEachColumnWhole) {
  const Structured s = structure(two_columns_under_a_title());
  EXPECT_EQ(line_texts(s), (Texts{"A Title Across The Page", "left one of the first column",
                                  "left two of the first column", "left three of the column",
                                  "left four ends here.", "right one of the second col",
                                  "right two of the second col", "right three of the column",
                                  "right four ends it."}));
  EXPECT_EQ(blocks_of(s),
            (Summary{{BlockType::Heading, "A Title Across The Page", 1},
                     {BlockType::Paragraph,
                      "left one of the first column left two of the first column left three of the column left "
                      "four ends here.",
                      0},
                     {BlockType::Paragraph,
                      "right one of the second col right two of the second col right three of the column right "
                      "four ends it.",
                      0}}));
}

TEST(Structure, AWordHyphenatedAtTheFootOfAColumnJoinsItsHalfAtTheHeadOfTheNext) {
  std::vector<TextRun> runs;
  column(runs, 72, 700, {"the left column runs on and on", "until it breaks a long adip-"});
  column(runs, 330, 700, {"iscing word over the gutter and", "then the paragraph ends here."});
  const Structured s = structure(runs);
  EXPECT_EQ(blocks_of(s), (Summary{{BlockType::Paragraph,
                                    "the left column runs on and on until it breaks a long adipiscing word over "
                                    "the gutter and then the paragraph ends here.",
                                    0}}));
  EXPECT_EQ(s.lines.size(), 4u);
}

TEST(Structure, AFullWidthFooterStaysBelowBothColumnsAndAGapInOneLineIsNoGutter) {
  std::vector<TextRun> runs = two_columns_under_a_title();
  runs.push_back(run("A footer line that runs across the whole width of the page", 72, 600));
  // One line with a wide gap that no line above or below shares: read as one line.
  runs.push_back(run("Name:", 72, 560));
  runs.push_back(run("Value", 300, 560));
  const Structured s = structure(runs);
  const Texts lines = line_texts(s);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[4], "left four ends here.");
  EXPECT_EQ(lines[8], "right four ends it.");
  EXPECT_EQ(lines[9], "A footer line that runs across the whole width of the page");
  EXPECT_EQ(lines[10], "Name: Value");
}

// Two columns of four lines at `top`, the left one's lines starting with `left`, the
// right one's with `right`.
void two_columns(std::vector<TextRun>& runs, double top, const std::string& left, const std::string& right) {
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i + 1);
    runs.push_back(run(left + n + " of this column runs on", 72, top - 12.0 * i));
    runs.push_back(run(right + n + " of that column runs on", 330, top - 12.0 * i));
  }
}

std::vector<std::string> firsts(const Texts& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines) out.push_back(line.substr(0, line.find(' ')));
  return out;
}

TEST(Structure, AFigureAcrossTheGutterPartsTheColumnsAboveItFromThoseBelow) {
  const struct {
    bool label_over_figure;
    Texts order;
  } cases[] = {
      {false, {"a1", "a2", "a3", "a4", "b1", "b2", "b3", "b4", "c1", "c2", "c3", "c4", "d1", "d2", "d3", "d4"}},
      // A figure with text drawn over it (a chart's labels) is read by its text alone:
      // the gutter runs on through it and each column reads whole.
      {true,
       {"a1", "a2", "a3", "a4", "label", "c1", "c2", "c3", "c4", "b1", "b2", "b3", "b4", "d1", "d2", "d3", "d4"}},
  };
  for (const auto& c : cases) {
    std::vector<TextRun> runs;
    two_columns(runs, 700, "a", "b");
    if (c.label_over_figure) runs.push_back(run("label", 100, 540));
    two_columns(runs, 420, "c", "d");
    const Structured s = structure(runs, {}, false, {{72, 450, 540, 640}});
    EXPECT_EQ(firsts(line_texts(s)), c.order) << c.label_over_figure;
  }
}

TEST(Structure, ARunningHeaderOrFooterOverTwoColumnsIsReadOnItsOwn) {
  const struct {
    double y;  // of the page number and title
    Texts lines;
    double x = 0;  // else "12 | Running Title" over one column only, at x
  } cases[] = {
      {750, {"12 Running Title", "a1", "a2", "a3", "a4", "b1", "b2", "b3", "b4"}},
      {600, {"a1", "a2", "a3", "a4", "b1", "b2", "b3", "b4", "12 Running Title"}},
      // Over one column: on its own in the page's margin (its top and bottom 6 %),
      // else the end of its column.
      {770, {"12 | Running Title", "a1", "a2", "a3", "a4", "b1", "b2", "b3", "b4"}, 330},
      {30, {"a1", "a2", "a3", "a4", "b1", "b2", "b3", "b4", "12 | Running Title"}, 72},
      {600, {"a1", "a2", "a3", "a4", "12 | Running Title", "b1", "b2", "b3", "b4"}, 72},
  };
  for (const auto& c : cases) {
    std::vector<TextRun> runs;
    if (c.x == 0) {
      runs.push_back(run("12", 72, c.y));
      runs.push_back(run("Running Title", 470, c.y));
    } else {
      runs.push_back(run("12 | Running Title", c.x, c.y));
    }
    two_columns(runs, 700, "a", "b");
    Texts lines = line_texts(structure(runs));
    for (std::string& line : lines) {
      if (!line.starts_with("12")) line = line.substr(0, line.find(' '));
    }
    EXPECT_EQ(lines, c.lines) << c.y;
  }
  // A heading over the left column, however far above it, heads that column.
  std::vector<TextRun> runs;
  runs.push_back(run("Heading", 72, 750));
  runs.push_back(run("2", 110, 754, 6));
  two_columns(runs, 700, "a", "b");
  EXPECT_EQ(firsts(line_texts(structure(runs)))[1], "a1");
}

TEST(Structure, FootnotesAtTheFootOfAColumnReadAfterTheColumnsBesideIt) {
  const struct {
    const char* note;
    bool text_below;  // body text under the small block in its column
    Texts order;      // first words of the blocks
    double size = 8;  // of the small block, under 10-point text
  } cases[] = {
      {"12 Ibid., a note at the foot.", false, {"a1", "b1", "12"}},
      {"\xE2\x80\xA0 Corresponding author.", false, {"a1", "b1", "\xE2\x80\xA0"}},
      // Small text without a note's mark (a caption), or with body text below it, stays.
      {"Figure 3. A caption below it.", false, {"a1", "Figure", "b1"}},
      {"12 Ibid., a note at the foot.", true, {"a1", "12", "last", "b1"}},
      // Notes set only a little smaller than the text (9 under 9.5 points) are notes;
      // text of nearly the body's size is not.
      {"12 Ibid., a note at the foot.", false, {"a1", "b1", "12"}, 9.5},
      {"12 Ibid., a note at the foot.", false, {"a1", "12", "b1"}, 9.8},
  };
  for (const auto& c : cases) {
    std::vector<TextRun> runs;
    two_columns(runs, 700, "a", "b");
    runs.push_back(run(c.note, 72, 630, c.size));
    if (c.text_below) runs.push_back(run("last line of the column.", 72, 600));
    Texts firsts_of_blocks;
    for (const auto& [type, text, level] : blocks_of(structure(runs))) {
      firsts_of_blocks.push_back(text.substr(0, text.find(' ')));
    }
    EXPECT_EQ(firsts_of_blocks, c.order) << c.note;
  }
}

TEST(Structure, ARaisedNoteMarkStaysInItsLineButASmallLabelWellAboveDoesNot) {
  const struct {
    double raise;  // of the mark's baseline above the line's
    Texts lines;
  } cases[] = {
      {7, {"To get started, consider the visualization1 in Figure 1 below."}},
      {14, {"1", "To get started, consider the visualization in Figure 1 below."}},
  };
  for (const auto& c : cases) {
    std::vector<TextRun> runs;
    runs.push_back(run("To get started, consider the visualization", 72, 700));
    runs.push_back(run("1", 282, 700 + c.raise, 6));
    runs.push_back(run(" in Figure 1 below.", 285, 700));
    const Structured s = structure(runs);
    EXPECT_EQ(line_texts(s), c.lines) << c.raise;
    EXPECT_EQ(s.page.blocks->size(), c.lines.size()) << c.raise;
  }
}

TEST(Structure, RaisedMarksRunningOnPastALinesEndJoinItUnlessASpaceStandsBefore) {
  const struct {
    const char* line;  // at 72, 5 points a character
    std::vector<std::pair<const char*, double>> marks;  // text, x; a comma is 2 wide
    Texts lines;
  } cases[] = {
      // Marks "1,2" whose comma the line holds: the "2" ends past the line's end.
      {"heuristics.", {{"1", 125}, {",", 128}, {"2", 130.5}}, {"heuristics.1,2"}},
      {"averse).", {{"10", 112.5}}, {"averse).10"}},
      {"Heading ", {{"10", 109.5}}, {"Heading ", "10"}},  // in the space's advance
  };
  for (const auto& c : cases) {
    std::vector<TextRun> runs;
    runs.push_back(run(c.line, 72, 700));
    for (const auto& [text, x] : c.marks) {
      runs.push_back(std::string(text) == "," ? run(text, x, 700, 4) : run(text, x, 706, 6));
    }
    EXPECT_EQ(line_texts(structure(runs)), c.lines) << c.line;
  }
}

TEST(Structure, ARightToLeftPageReadsItsColumnsRightToLeft) {
  // Hebrew words ("shalom", "olam"), two lines per column.
  const std::string shalom = "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D";
  const std::string olam = "\xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D";
  std::vector<TextRun> runs;
  for (int i = 0; i < 3; ++i) {
    runs.push_back(run(olam + " " + olam + " " + olam + " " + olam + " " + olam, 72, 700 - 12.0 * i));
    runs.push_back(run(shalom + " " + shalom + " " + shalom + " " + shalom, 330, 700 - 12.0 * i));
  }
  const Structured s = structure(runs);
  ASSERT_EQ(s.lines.size(), 6u);
  const std::string shin = "\xD7\xA9";  // only in the right column
  for (int i = 0; i < 6; ++i) EXPECT_EQ(s.lines[i].text.find(shin) != std::string::npos, i < 3) << i;
}

class HeadingLevels : public ::testing::TestWithParam<bool> {};

// The same headings whether or not image blocks stand among the text blocks.
TEST_P(HeadingLevels, FollowTheDistinctHeadingSizesLargestFirst) {
  std::vector<TextRun> runs;
  runs.push_back(run("Report Title", 72, 740, 24));
  runs.push_back(run("1 Introduction", 72, 700, 16));
  column(runs, 72, 680, {"Body text of the introduction that goes on for a while and more.",
                         "It has a second line of body text that ends the paragraph."});
  runs.push_back(run("1.1 Background", 72, 640, 12, true));
  column(runs, 72, 620, {"Body text of the background section, long enough to be prose.",
                         "Another line of the same paragraph follows here in the body."});
  runs.push_back(run("2 Methods", 72, 580, 16));
  column(runs, 72, 560, {"Methods are described in the body text of this section here."});
  const Structured s = structure(runs, {}, GetParam());
  Summary headings;
  for (const auto& block : blocks_of(s)) {
    if (std::get<0>(block) == BlockType::Heading) headings.push_back(block);
  }
  EXPECT_EQ(headings, (Summary{{BlockType::Heading, "Report Title", 1},
                               {BlockType::Heading, "1 Introduction", 2},
                               {BlockType::Heading, "1.1 Background", 3},
                               {BlockType::Heading, "2 Methods", 2}}));
  EXPECT_EQ(s.page.blocks->size(), 7u);
}

INSTANTIATE_TEST_SUITE_P(Structure, HeadingLevels, ::testing::Bool());

TEST(Structure, RunningHeadersPageNumbersAndSentencesAreNoHeadings) {
  std::vector<TextRun> runs;
  runs.push_back(run("Journal of Examples", 72, 770, 12, true));  // top margin band
  column(runs, 72, 700, {"Body text that fills the page with a paragraph of ordinary prose.",
                         "More body text on the second line of the ordinary paragraph."});
  runs.push_back(run("A bold sentence at body size ends with a stop.", 72, 660, 10, true));
  runs.push_back(run("12", 300, 30, 14));  // page number, bottom margin band
  runs.push_back(run("Running Footer | 12", 72, 80, 12, true));  // near the bottom, a page number
  runs.push_back(run("10.5 N/A", 72, 400, 14));                  // a cell's value, no title
  const Structured s = structure(runs);
  for (const Block& block : *s.page.blocks) EXPECT_NE(block.type, BlockType::Heading) << block.text;
}

TEST(Structure, ALargerTitleMayEndWithAFullStopAndASectionNumberNearTheTopIsNoPageNumber) {
  std::vector<TextRun> runs;
  runs.push_back(run("1 Introduction", 72, 730, 16));
  column(runs, 72, 700, {"Body text that fills the page with a paragraph of ordinary prose.",
                         "More body text on the second line of the ordinary paragraph."});
  runs.push_back(run("Observations from space.", 72, 650, 14));
  column(runs, 72, 630, {"Body text that fills the page with a paragraph of ordinary prose."});
  const Structured s = structure(runs);
  EXPECT_EQ((*s.page.blocks)[0].type, BlockType::Heading);
  EXPECT_EQ((*s.page.blocks)[2].type, BlockType::Heading);
}

// The blocks of `runs` that read as headings, with their levels.
Summary headings_of(const std::vector<TextRun>& runs, std::vector<Table> tables = {}) {
  Summary out;
  for (const auto& block : blocks_of(structure(runs, std::move(tables)))) {
    if (std::get<0>(block) == BlockType::Heading) out.push_back(block);
  }
  return out;
}

TEST(Structure, ABoldLeadInRunsOnAsItsParagraphButABoldLineAboveAParagraphIsAHeading) {
  std::vector<TextRun> runs;
  column(runs, 72, 740, {"Body text that fills the page with a paragraph of ordinary prose.",
                         "More body text on the second line of the ordinary paragraph."});
  // A bold lead-in, then the paragraph in the body face from the same line on.
  runs.push_back(run("Ablation on models.", 72, 700, 10, true));
  runs.push_back(run(" When the method is ap-", 72 + 95 + 3, 700));
  column(runs, 72, 688, {"plied to the body text, it goes on and on for a line or two.",
                         "The lead-in paragraph ends on its third line here."});
  // A bold title above a paragraph that itself opens with a bold lead-in.
  runs.push_back(run("4.3.1 Instruction Tuning", 72, 640, 10, true));
  runs.push_back(run("Datasets.", 72, 628, 10, true));
  runs.push_back(run(" We present ablations of the datasets in this line.", 72 + 45 + 3, 628));
  column(runs, 72, 616, {"It goes on in the body face for one more line of text."});
  const Structured s = structure(runs);
  ASSERT_EQ(s.page.blocks->size(), 4u);
  EXPECT_EQ((*s.page.blocks)[1].type, BlockType::Paragraph);
  EXPECT_EQ((*s.page.blocks)[1].text,
            "Ablation on models. When the method is applied to the body text, it goes on and on for a line or two. "
            "The lead-in paragraph ends on its third line here.");
  EXPECT_EQ((*s.page.blocks)[2].type, BlockType::Heading);
  EXPECT_EQ((*s.page.blocks)[2].text, "4.3.1 Instruction Tuning");
  EXPECT_EQ((*s.page.blocks)[3].type, BlockType::Paragraph);
}

// Lines at body size, bold or numbered, set apart like headings but read as something
// else: a caption, a contents entry, a running header, a list of numbered lines.
TEST(Structure, CaptionsContentsEntriesRunningHeadersAndNumberedListsAreNoHeadings) {
  std::vector<TextRun> runs;
  runs.push_back(run("16 Franco and Laguna", 72, 735));  // running header under the margin band
  column(runs, 72, 700, {"Body text that fills the page with a paragraph of ordinary prose.",
                         "More body text on the second line of the ordinary paragraph."});
  runs.push_back(run("Figure 3.1: Status of operations", 72, 660, 10, true));
  column(runs, 72, 636, {"Body text that fills the page with a paragraph of ordinary prose."});
  runs.push_back(run("Cell Biology .............................. 32", 72, 600, 10, true));
  runs.push_back(run("Microscopy \xE2\x80\xA6\xE2\x80\xA6\xE2\x80\xA6\xE2\x80\xA6 34", 72, 576, 10, true));
  runs.push_back(run("1. Overview of the product", 72, 540));
  runs.push_back(run("2. Services and key features", 72, 512));
  runs.push_back(run("3. Integration policy", 72, 484));
  column(runs, 72, 450, {"Body text that fills the page with a paragraph of ordinary prose."});
  EXPECT_EQ(headings_of(runs), Summary{});
  // One numbered line set apart between paragraphs stays a heading.
  std::vector<TextRun> single;
  column(single, 72, 700, {"Body text that fills the page with a paragraph of ordinary prose.",
                           "More body text on the second line of the ordinary paragraph."});
  single.push_back(run("2. Services and key features", 72, 660));
  column(single, 72, 636, {"Body text that fills the page with a paragraph of ordinary prose."});
  EXPECT_EQ(headings_of(single), (Summary{{BlockType::Heading, "2. Services and key features", 1}}));
}

TEST(Structure, AChapterNumberSetLargeAboveItsTitleIsAHeading) {
  std::vector<TextRun> runs;
  runs.push_back(run("2", 72, 660, 30));
  runs.push_back(run("The Lost Homeland", 72, 610, 24, true));
  column(runs, 72, 570, {"Body text that fills the page with a paragraph of ordinary prose.",
                         "More body text on the second line of the ordinary paragraph."});
  runs.push_back(run("7", 72, 500, 14));  // a number at a little more than body size is none
  column(runs, 72, 480, {"Body text that fills the page with a paragraph of ordinary prose."});
  EXPECT_EQ(headings_of(runs),
            (Summary{{BlockType::Heading, "2", 1}, {BlockType::Heading, "The Lost Homeland", 2}}));
}

TEST(Structure, APlacedTablesTextCountsTowardsTheBodySize) {
  // Little running text at 20 points, a table of much text at 9: the 20-point line
  // above the table is larger than the page's body text.
  std::vector<TextRun> runs;
  runs.push_back(run("Packs that process unstructured data", 72, 700, 20));
  runs.push_back(run("and make an impact on your business", 72, 676, 20));
  Table table;
  table.bbox = std::array<double, 4>{60, 300, 560, 600};
  for (int i = 0; i < 12; ++i) {
    runs.push_back(run("cell text of the table in its row number " + std::to_string(i), 72, 580 - 20.0 * i, 9));
  }
  table.rows = 1;
  table.cols = 1;
  table.cells = {{"cell"}};
  const std::vector<const TextRun*> shown = shown_runs(runs, kLetter);
  const std::vector<Table> tables{table};
  const std::vector<const TextRun*> flowing = runs_outside_tables(shown, tables);
  ASSERT_EQ(flowing.size(), 2u);
  PageStyles styles;
  count_size(styles.sizes, 20, 60);
  count_table_text(styles.sizes, shown, flowing);
  EXPECT_EQ(body_size(styles.sizes), 9.0);
}

TEST(Structure, TextDrawnOverTextIsNeverInterleavedAndRecoveryPartsWordsAtNarrowerGaps) {
  std::vector<TextRun> runs;
  runs.push_back(run("Dummy PDF file", 72, 700));
  runs.push_back(run("PDF file", 80, 702));  // over it, two points higher
  // Words set apart by 0.17 em: a word space for recovery, none for the strict layout.
  runs.push_back(run("word", 72, 600));
  runs.push_back(run("next", 72 + 20 + 1.7, 600));
  const Structured s = structure(runs);
  EXPECT_EQ(line_texts(s), (Texts{"Dummy PDF file PDF file", "word next"}));
  EXPECT_EQ(layout_lines(runs, kLetter).lines.back().text, "wordnext");
}

// Spaces drawn alone at the left edge of the right column, on the baselines of the
// left column's lines, join those lines; they must not bridge the gutter. A blank that
// ends where the next word starts holds that word's place and stays in the line.
TEST(Structure, ASpaceDrawnAloneAcrossTheGutterLeavesTheColumnsApart) {
  std::vector<TextRun> runs;
  const Texts left{"left one of the first column", "left two of the first column", "left three of the column",
                   "left four ends here."};
  const Texts right{"right one of the second column", "right two of the second column",
                    "right three of the column", "right four ends it here."};
  for (std::size_t i = 0; i < left.size(); ++i) {
    const double y = 700 - 12.0 * static_cast<double>(i);
    runs.push_back(run(left[i], 72, y));
    runs.push_back(run(" ", 300, y + 1.0));
    runs.push_back(run(right[i], 320, y + 1.5));
  }
  // Below them, a blank as wide as the gutter that ends where the next word starts.
  runs.push_back(run("held", 72, 600));
  runs.push_back(run(std::string(44, ' '), 100, 600));
  runs.push_back(run("place", 320, 600));
  const Structured s = structure(runs);
  Texts expected;
  for (const std::string& line : left) expected.push_back(line + " ");
  expected.insert(expected.end(), right.begin(), right.end());
  expected.push_back("held" + std::string(44, ' ') + "place");
  EXPECT_EQ(line_texts(s), expected);
}

TEST(Structure, ColumnsOfATableWithoutRulesReadRowByRow) {
  std::vector<TextRun> runs;
  for (int i = 0; i < 4; ++i) {
    const double y = 700 - 12.0 * i;
    runs.push_back(run("Model " + std::to_string(i), 72, y));
    runs.push_back(run(std::to_string(70 + i) + ".5", 200, y));
    runs.push_back(run(std::to_string(80 + i) + ".1", 260, y));
  }
  const Structured s = structure(runs);
  EXPECT_EQ(line_texts(s), (Texts{"Model 0 70.5 80.1", "Model 1 71.5 81.1", "Model 2 72.5 82.1",
                                  "Model 3 73.5 83.1"}));
}

TEST(Structure, NestedListItemsKeepTheirWrappedLines) {
  std::vector<TextRun> runs;
  runs.push_back(run("\xE2\x80\xA2 first item that wraps onto", 72, 700));
  runs.push_back(run("a second line", 82, 688));
  runs.push_back(run("\xE2\x97\xA6 nested item", 92, 676));
  runs.push_back(run("\xE2\x97\xA6 another nested item", 92, 664));
  runs.push_back(run("\xE2\x80\xA2 back out", 72, 652));
  runs.push_back(run("1. numbered item", 72, 640));
  const Structured s = structure(runs);
  EXPECT_EQ(blocks_of(s), (Summary{{BlockType::ListItem, "first item that wraps onto a second line", 1},
                                   {BlockType::ListItem, "nested item", 2},
                                   {BlockType::ListItem, "another nested item", 2},
                                   {BlockType::ListItem, "back out", 1},
                                   {BlockType::ListItem, "1. numbered item", 1}}));
  EXPECT_FALSE((*s.page.blocks)[0].ordered);
  EXPECT_TRUE((*s.page.blocks)[4].ordered);
}

TEST(Structure, AnIndentOrAShortLastLineStartsANewParagraph) {
  std::vector<TextRun> runs;
  column(runs, 72, 700, {"The first paragraph is long enough to fill its column line.",
                         "It ends on a short line."});
  runs.push_back(run("The second one follows right below without extra space,", 72, 676));
  runs.push_back(run("then goes on for one more line of the paragraph text.", 72, 664));
  runs.push_back(run("An indented first line opens the third paragraph here.", 92, 652));
  runs.push_back(run("and its second line starts flush with the left edge again.", 72, 640));
  const Structured s = structure(runs);
  ASSERT_EQ(s.page.blocks->size(), 3u);
  EXPECT_EQ((*s.page.blocks)[0].text,
            "The first paragraph is long enough to fill its column line. It ends on a short line.");
  EXPECT_EQ((*s.page.blocks)[2].text,
            "An indented first line opens the third paragraph here. and its second line starts flush with the "
            "left edge again.");
}

// Items whose bullet the font gives as "!", each item's first line hanging left of its
// wrapped lines: each item a paragraph of its own, the wrapped lines in it.
TEST(Structure, AMarkHangingBeforeEachItemStartsAParagraph) {
  std::vector<TextRun> runs;
  for (int i = 0; i < 2; ++i) {
    const double y = 700.0 - 36 * i;
    runs.push_back(run("!", 72, y));
    runs.push_back(run(i == 0 ? "Title I, the first act of the law," : "Title II, the second act of it,", 90, y));
    runs.push_back(run("implements the treaties of the year", 90, y - 12));
    runs.push_back(run("and more of the treaties of the", 90, y - 24));
  }
  const Structured s = structure(runs);
  EXPECT_EQ(blocks_of(s), (Summary{{BlockType::Paragraph,
                                    "! Title I, the first act of the law, implements the treaties of the year and more "
                                    "of the treaties of the",
                                    0},
                                   {BlockType::Paragraph,
                                    "! Title II, the second act of it, implements the treaties of the year and more of "
                                    "the treaties of the",
                                    0}}));
}

// Items set with a paragraph's indent whose wrapped lines go back to the column's edge:
// the wrapped lines stay in the item, the items on one level, and the paragraph after a
// short item is no part of it.
TEST(Structure, ListItemsMayWrapBackToTheColumnsEdge) {
  std::vector<TextRun> runs;
  runs.push_back(run("- Federal Portal: go to the site at the", 90, 700));
  runs.push_back(run("regulations.gov and follow the steps the", 72, 688));
  runs.push_back(run("then more of the same long text. It is", 72, 676));
  runs.push_back(run("- Fax: 202.", 90, 664));
  runs.push_back(run("For more, contact the office of the agency at once", 72, 652));
  const Structured s = structure(runs);
  EXPECT_EQ(blocks_of(s), (Summary{{BlockType::ListItem,
                                    "Federal Portal: go to the site at the regulations.gov and follow the steps the "
                                    "then more of the same long text. It is",
                                    1},
                                   {BlockType::ListItem, "Fax: 202.", 1},
                                   {BlockType::Paragraph, "For more, contact the office of the agency at once", 0}}));
}

TEST(Structure, APlacedTableStandsWhereItIsAndItsTextLeavesTheLines) {
  std::vector<TextRun> runs;
  column(runs, 72, 700, {"Text above the table."});
  runs.push_back(run("cell a", 72, 660));
  runs.push_back(run("cell b", 200, 660));
  column(runs, 72, 600, {"Text below the table."});
  Table table;
  table.rows = 1;
  table.cols = 2;
  table.cells = {{"cell a", "cell b"}};
  table.bbox = std::array<double, 4>{70, 650, 260, 675};
  const Structured s = structure(runs, {table});
  EXPECT_EQ(line_texts(s), (Texts{"Text above the table.", "Text below the table."}));
  ASSERT_EQ(s.page.blocks->size(), 3u);
  EXPECT_EQ((*s.page.blocks)[1].type, BlockType::Table);
  EXPECT_EQ((*s.page.blocks)[1].table, 0u);
  EXPECT_EQ((*s.page.blocks)[1].bbox, (std::array<double, 4>{70, 650, 260, 675}));
}

struct JoinCase {
  const char* first;
  const char* second;
  const char* joined;
};

class ParagraphJoin : public testing::TestWithParam<JoinCase> {};

TEST_P(ParagraphJoin, JoinsLinesAndHyphenatedWords) {
  std::string text = GetParam().first;
  append_paragraph_line(text, GetParam().second);
  EXPECT_EQ(text, GetParam().joined);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParagraphJoin,
    testing::Values(JoinCase{"lorem ipsum", "dolor", "lorem ipsum dolor"},
                    JoinCase{"lorem adip-", "iscing elit", "lorem adipiscing elit"},
                    JoinCase{"named Ja-", "cob here", "named Jacob here"},  // accepted imperfection
                    JoinCase{"the Franco-", "German border", "the Franco-German border"},
                    JoinCase{"our long-", "term goals", "our long-term goals"},
                    JoinCase{"a Well-", "known name", "a Well-known name"},
                    JoinCase{"spoke short-", "ly after", "spoke shortly after"},
                    JoinCase{"rose high-", "er still", "rose higher still"},
                    JoinCase{"the along-", "side path", "the alongside path"},  // "long" inside a word
                    JoinCase{"a self-", "aware", "a self-aware"},
                    JoinCase{"State-of-", "the-art models", "State-of-the-art models"},
                    JoinCase{"mass-pro-", "duced", "mass-produced"},
                    JoinCase{"Thirty-", "seventh", "Thirty-seventh"},
                    JoinCase{"a task-", "oriented model", "a task-oriented model"},
                    JoinCase{"was un-", "aware", "was unaware"},
                    JoinCase{"the Mann\xE2\x80\x93", "Whitney test", "the Mann\xE2\x80\x93Whitney test"},
                    JoinCase{"a pause \xE2\x80\x94", "then", "a pause \xE2\x80\x94 then"},
                    JoinCase{"in 2019-", "2020 it", "in 2019-2020 it"},
                    JoinCase{"a dash -", "then more", "a dash - then more"},
                    JoinCase{"soft\xC2\xAD", "ly spoken", "softly spoken"},
                    JoinCase{"", "in\xC2\xAD side  ", "in side"},
                    JoinCase{"\xE6\x97\xA5\xE6\x9C\xAC", "\xE8\xAA\x9E", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
                    JoinCase{"trailing   ", "  next", "trailing next"},
                    JoinCase{"", "7\tVariants", "7 Variants"}));

struct MarkerCase {
  const char* text;
  MarkerKind kind;
  std::size_t length;
};

class ListMarkers : public testing::TestWithParam<MarkerCase> {};

TEST_P(ListMarkers, RecognisesBulletsAndEnumerators) {
  const ListMarker marker = list_marker(GetParam().text);
  EXPECT_EQ(marker.kind, GetParam().kind);
  EXPECT_EQ(marker.length, GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Cases, ListMarkers,
                         testing::Values(MarkerCase{"\xE2\x80\xA2 item", MarkerKind::Bullet, 4},
                                         MarkerCase{"\xE2\x80\xA2item", MarkerKind::Bullet, 3},
                                         MarkerCase{"\xEF\x82\xB7  item", MarkerKind::Bullet, 5},
                                         MarkerCase{"- item", MarkerKind::Bullet, 2},
                                         MarkerCase{"* item", MarkerKind::Bullet, 2},
                                         MarkerCase{"-5 degrees", MarkerKind::None, 0},
                                         MarkerCase{"\xE2\x80\x93$5,000 lost", MarkerKind::None, 0},
                                         MarkerCase{"\xE2\x80\x93 item", MarkerKind::Bullet, 4},
                                         MarkerCase{"\xE2\x80\xA2", MarkerKind::None, 0},
                                         MarkerCase{"1. item", MarkerKind::Enumerator, 3},
                                         MarkerCase{"12) item", MarkerKind::Enumerator, 4},
                                         MarkerCase{"a. item", MarkerKind::Enumerator, 3},
                                         MarkerCase{"(b) item", MarkerKind::Enumerator, 4},
                                         MarkerCase{"iv. item", MarkerKind::Enumerator, 4},
                                         MarkerCase{"(3) item", MarkerKind::Enumerator, 4},
                                         MarkerCase{"2.3 Section", MarkerKind::None, 0},
                                         MarkerCase{"word. next", MarkerKind::None, 0},
                                         MarkerCase{"1.", MarkerKind::None, 0}));

struct FaceCase {
  const char* name;
  bool bold;
  bool italic;
};

class FontFaces : public testing::TestWithParam<FaceCase> {};

TEST_P(FontFaces, ReadsStyleFromTheBaseFontName) {
  const FontFace face = face_from_name(GetParam().name);
  EXPECT_EQ(face.bold, GetParam().bold);
  EXPECT_EQ(face.italic, GetParam().italic);
}

INSTANTIATE_TEST_SUITE_P(Cases, FontFaces,
                         testing::Values(FaceCase{"Helvetica", false, false}, FaceCase{"Helvetica-Bold", true, false},
                                         FaceCase{"ABCDEF+Lato-Semibold", true, false},
                                         FaceCase{"Times-BlackItalic", true, true},
                                         FaceCase{"Arial,BoldItalic", true, true},
                                         FaceCase{"Helvetica-Oblique", false, true},
                                         FaceCase{"Calibri-BI", true, true},
                                         FaceCase{"NimbusRomNo9L-Medi", true, false},
                                         FaceCase{"Roboto-Medium", false, false}));

TEST(FontFaces, TheDescriptorAddsFlagsWeightAndPlausibleMetrics) {
  FontFace face;
  apply_descriptor(face, 1LL << 6, 700.0, 900.0, -210.0);
  EXPECT_TRUE(face.bold);
  EXPECT_TRUE(face.italic);
  EXPECT_DOUBLE_EQ(face.ascent, 0.9);
  EXPECT_DOUBLE_EQ(face.descent, -0.21);
  FontFace odd;
  apply_descriptor(odd, 1LL << 18, 400.0, 0.0, 2048.0);  // force bold; metrics out of range
  EXPECT_TRUE(odd.bold);
  EXPECT_FALSE(odd.italic);
  EXPECT_DOUBLE_EQ(odd.ascent, 0.8);
  EXPECT_DOUBLE_EQ(odd.descent, -0.2);
}

TEST(ReadingOrder, NarrowPiecesJoinTheirNeighbourAndNonFiniteBoxesReadLast) {
  // A list's bullets stand in a narrow column of their own: no cut there.
  const std::vector<CutBox> boxes = {{72, 700, 78, 707},    {90, 700, 400, 707}, {72, 688, 78, 695},
                                     {90, 688, 400, 695},   {NAN, 0, 1, 1}};
  const std::vector<ReadingPlace> order = reading_order(boxes, 10.0, false);
  std::vector<std::uint32_t> items;
  for (const ReadingPlace& place : order) items.push_back(place.item);
  EXPECT_EQ(items, (std::vector<std::uint32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(order[0].row, order[1].row);
  EXPECT_NE(order[1].row, order[2].row);
}

TEST(ReadingOrder, LeadInsBetweenFormulasAndAJustifiedLinesWordSpacesAreNoColumnsButOffsetColumnsAre) {
  const auto items_of = [](const std::vector<CutBox>& boxes) {
    std::vector<std::uint32_t> items;
    for (const ReadingPlace& place : reading_order(boxes, 10.0, false)) items.push_back(place.item);
    return items;
  };
  // "such that" and "this means that" at the left, each above a formula set centred.
  const std::vector<CutBox> formulas = {{72, 700, 150, 707}, {200, 680, 400, 687}, {200, 668, 400, 675},
                                        {72, 650, 160, 657}, {200, 630, 400, 637}};
  EXPECT_EQ(items_of(formulas), (std::vector<std::uint32_t>{0, 1, 2, 3, 4}));
  // Two columns whose lines never share a row (the right one set half a line lower)
  // are still columns: their lines stand a line apart.
  std::vector<CutBox> offset;
  for (int i = 0; i < 4; ++i) {
    offset.push_back({72, 700.0 - 12 * i, 280, 705.0 - 12 * i});
    offset.push_back({320, 694.0 - 12 * i, 540, 699.0 - 12 * i});
  }
  EXPECT_EQ(items_of(offset), (std::vector<std::uint32_t>{0, 2, 4, 6, 1, 3, 5, 7}));
  // A justified line's wide word spaces over the paragraph's short last line: no columns.
  const std::vector<CutBox> justified = {{54, 341, 560, 348}, {54, 326, 388, 333}, {400, 326, 529, 333},
                                         {538, 326, 560, 333}, {54, 311, 189, 318}};
  EXPECT_EQ(items_of(justified), (std::vector<std::uint32_t>{0, 1, 2, 3, 4}));
  // A justified line cut at each of its wide word spaces over two short lines: the
  // words beyond the short lines' end make no column of one row.
  std::vector<CutBox> words;
  for (int i = 0; i < 8; ++i) words.push_back({56.0 + 40 * i, 317, 90.0 + 40 * i, 325});
  words.push_back({56, 302, 118, 310});
  words.push_back({56, 274, 292, 281});
  EXPECT_EQ(items_of(words), (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  // A short heading centred over the left column, beside the right column's first line,
  // then a line of the right column only: the columns are read one after the other.
  std::vector<CutBox> heading = {{160, 700, 205, 707}, {313, 700, 540, 707}, {313, 688, 540, 695}};
  for (int i = 0; i < 3; ++i) {
    heading.push_back({94, 676.0 - 12 * i, 277, 683.0 - 12 * i});
    heading.push_back({313, 676.0 - 12 * i, 540, 683.0 - 12 * i});
  }
  EXPECT_EQ(items_of(heading), (std::vector<std::uint32_t>{0, 3, 5, 7, 1, 2, 4, 6, 8}));
  // A display formula centred over a line's last word at the left and the next line:
  // the gap beside both is no gutter.
  const std::vector<CutBox> display = {{72, 720, 500, 727}, {200, 700, 420, 707}, {90, 686, 105, 693},
                                       {72, 672, 300, 679}};
  EXPECT_EQ(items_of(display), (std::vector<std::uint32_t>{0, 1, 2, 3}));
}

// Two wide columns of three rows of two-line cells ("102": row 1, column 0, line 2;
// the last cell has one line; each line two runs a word space apart) drawn in the
// order `before` sets: the first words of the lines as read.
using CellOrder = bool (*)(const std::string&, const std::string&);
Texts drawn_table_order(CellOrder before) {
  Texts cells = {"001", "002", "011", "012", "101", "102", "111", "112", "201", "202", "211"};
  std::stable_sort(cells.begin(), cells.end(), before);
  std::vector<TextRun> runs;
  for (const std::string& c : cells) {
    const double x = c[1] == '0' ? 72 : 320;
    const double y = 712.0 - 36 * (c[0] - '0') - 12 * (c[2] - '0');
    runs.push_back(run(c + " of the cell that runs", x, y));
    runs.push_back(run("on and on", x + 131, y));
  }
  return firsts(line_texts(structure(runs)));
}

TEST(ReadingOrder, ColumnsDrawnCellByCellRowAfterRowReadAsDrawnOthersColumnByColumn) {
  const CellOrder by_column = [](const std::string& a, const std::string& b) { return a[1] < b[1]; };
  const CellOrder across = [](const std::string& a, const std::string& b) {
    return std::pair(a[0], a[2]) < std::pair(b[0], b[2]);
  };
  Texts columns = drawn_table_order([](const std::string&, const std::string&) { return false; });
  EXPECT_EQ(columns, (Texts{"001", "002", "011", "012", "101", "102", "111", "112", "201", "202", "211"}));
  // Text columns drawn one after the other step back up once; a page drawn line by
  // line across never does: both are read as columns.
  std::stable_sort(columns.begin(), columns.end(), by_column);
  EXPECT_EQ(drawn_table_order(by_column), columns);
  EXPECT_EQ(drawn_table_order(across), columns);
  // Columns of twenty lines drawn one after the other, then captions over them drawn
  // last, each higher than the one before: a few steps back up among many lines.
  std::vector<CutBox> boxes;
  for (std::uint32_t i = 0; i < 40; ++i) {
    const double x = i < 20 ? 72 : 320;
    boxes.push_back({x, 700.0 - 12 * (i % 20), x + 208, 707.0 - 12 * (i % 20), false, i});
  }
  for (std::uint32_t i = 0; i < 3; ++i) {
    const double x = i == 1 ? 320 : 72;
    boxes.push_back({x, 724.0 + 12 * i, x + 208, 731.0 + 12 * i, false, 40 + i});
  }
  const std::vector<ReadingPlace> order = reading_order(boxes, 10.0, false);
  EXPECT_EQ(order[0].item, 42u);
  EXPECT_EQ(order[22].item, 41u);  // heads the right column, after the left's lines
}

// Two text columns `gap` units apart with `rows` rows: a column cut only through three
// rows or more.
std::vector<std::uint32_t> narrow_gutter_order(int rows, double gap = 0.6) {
  std::vector<CutBox> boxes;
  for (int i = 0; i < rows; ++i) {
    const double y = 700 - 12.0 * i;
    boxes.push_back({72, y, 300, y + 7});
    boxes.push_back({300 + 10.0 * gap, y, 530, y + 7});
  }
  std::vector<std::uint32_t> items;
  for (const ReadingPlace& place : reading_order(boxes, 10.0, false)) items.push_back(place.item);
  return items;
}

TEST(ReadingOrder, AWideRowAboveManyRowsAndALineOfManyBaselinesStayBounded) {
  // One row of 4000 boxes a gutter apart above 4000 rows of one box each: every row
  // is compared with a bounded set of free stretches.
  std::vector<CutBox> boxes;
  for (int i = 0; i < 4000; ++i) boxes.push_back({20.0 * i, 700, 20.0 * i + 10, 707});
  for (int i = 0; i < 4000; ++i) boxes.push_back({0, 690.0 - 0.1 * i, 5, 690.05 - 0.1 * i});
  EXPECT_EQ(reading_order(boxes, 10.0, false).size(), boxes.size());
  // A huge run puts a thousand baselines in one layout line.
  std::vector<TextRun> runs{run("big", 0, 400, 5000)};
  std::size_t expected = 3;
  for (int i = 0; i < 1000; ++i) {
    runs.push_back(run("w" + std::to_string(i), 400 - 0.4 * i, 399 - 0.3 * i));
    expected += runs.back().text.size();
  }
  const Structured s = structure(runs);
  std::size_t characters = 0;
  for (const TextLine& line : s.lines) {
    for (const char c : line.text) characters += c != ' ';
  }
  EXPECT_EQ(characters, expected);
}

TEST(ReadingOrder, ANarrowGutterCountsThroughThreeRowsOrMore) {
  EXPECT_EQ(narrow_gutter_order(3), (std::vector<std::uint32_t>{0, 2, 4, 1, 3, 5}));
  EXPECT_EQ(narrow_gutter_order(2), (std::vector<std::uint32_t>{0, 1, 2, 3}));
  // A gutter under half a unit wide (a heading that reaches close to the next column)
  // still parts columns; a word space's width does not.
  EXPECT_EQ(narrow_gutter_order(3, 0.42), (std::vector<std::uint32_t>{0, 2, 4, 1, 3, 5}));
  EXPECT_EQ(narrow_gutter_order(3, 0.3), (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5}));
}

}  // namespace
}  // namespace folioscan
