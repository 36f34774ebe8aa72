// The text interpreter over a walk of the graphics state: runs placed by the text and
// graphics matrices, the text state parameters, and what a save keeps in each reading.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "content_support.h"
#include "pdf_builder.h"

namespace folioscan {
namespace {

using testing::bytes_of;

std::vector<ContentOp> ops_of(const std::string& text) { return tokenize_content(bytes_of(text)); }

Font half_em_font() {
  Font f;
  f.widths[static_cast<std::uint32_t>('H')] = 0.5;
  f.widths[static_cast<std::uint32_t>('i')] = 0.5;
  for (std::uint32_t c = 0; c < 128; ++c) f.encoding[c] = c;
  return f;
}

std::vector<TextRun> run_text(const std::string& content, const FontMap& fonts = {}) {
  return interpret_content(ops_of(content), fonts);
}

TEST(Interpret, TjPlacesRunsAndAdvances) {
  FontMap fonts;
  fonts["F1"] = half_em_font();
  auto runs = run_text("BT /F1 12 Tf 72 700 Td (Hi) Tj (Hi) Tj ET", fonts);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].text, "Hi");
  ASSERT_NE(runs[0].font, nullptr);
  EXPECT_EQ(*runs[0].font, "F1");
  EXPECT_DOUBLE_EQ(runs[0].x, 72);
  EXPECT_DOUBLE_EQ(runs[0].y, 700);
  EXPECT_DOUBLE_EQ(runs[0].width, 12);
  EXPECT_DOUBLE_EQ(runs[0].font_size, 12);
  EXPECT_DOUBLE_EQ(runs[1].x, 84);
}

TEST(Interpret, CtmScalesPositionsButNotWidths) {
  FontMap fonts;
  fonts["F1"] = half_em_font();
  auto runs = run_text("2 0 0 2 100 100 cm BT /F1 12 Tf 72 700 Td (Hi) Tj ET", fonts);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_DOUBLE_EQ(runs[0].x, 244);
  EXPECT_DOUBLE_EQ(runs[0].y, 1500);
  EXPECT_DOUBLE_EQ(runs[0].width, 12);
  EXPECT_DOUBLE_EQ(runs[0].font_size, 12);
  // The page-space end and size carry both matrices.
  EXPECT_DOUBLE_EQ(runs[0].end_x, 268);
  EXPECT_DOUBLE_EQ(runs[0].page_size, 24);
  // Under "1 Tf" a slanted text matrix does the scaling: the size is the length of its
  // vertical axis, the rise moves the origin along it, Tz shortens the advance.
  runs = run_text("BT /F1 10 Tf 50 Tz 2 Ts 1 0 0.5 1 50 600 Tm (Hi) Tj ET", fonts);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_DOUBLE_EQ(runs[0].x, 51);
  EXPECT_DOUBLE_EQ(runs[0].end_x, 56);
  EXPECT_DOUBLE_EQ(runs[0].page_size, 10 * std::hypot(0.5, 1));
}

TEST(Interpret, TjArrayNumbersShiftTheTextMatrix) {
  auto runs = run_text("BT /F9 10 Tf [(A) -1000 (B)] TJ ET");
  ASSERT_EQ(runs.size(), 2u);
  // Unknown font: each byte is 0.5 em; A advances 5, the number shifts by +10.
  EXPECT_DOUBLE_EQ(runs[1].x, 15);
}

TEST(Interpret, RiseAndHorizontalScaling) {
  auto runs = run_text("BT /X 10 Tf 5 Ts 50 Tz (ab) Tj (c) Tj ET");
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_DOUBLE_EQ(runs[0].y, 5);
  EXPECT_DOUBLE_EQ(runs[0].width, 5);  // 2 × 0.5 × 10 × 0.5
  EXPECT_DOUBLE_EQ(runs[1].x, 5);
}

TEST(Interpret, GraphicsStateSavesOnlyTheCtm) {
  auto runs = run_text("q 1 0 0 1 50 50 cm 20 TL Q Q BT T* (x) Tj ET");
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_DOUBLE_EQ(runs[0].x, 0);
  EXPECT_DOUBLE_EQ(runs[0].y, -20);
}

TEST(Interpret, QuoteOperatorsMoveLinesAndSetSpacing) {
  auto runs = run_text("BT /X 10 Tf 12 TL 0 100 Td (a) ' 3 1 (b c) \" ET");
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_DOUBLE_EQ(runs[0].y, 88);
  EXPECT_DOUBLE_EQ(runs[1].y, 76);
  // "b c": 3 bytes × (5 + Tc 1) plus Tw 3 for the space.
  EXPECT_DOUBLE_EQ(runs[1].width, 21);
}

TEST(Interpret, TdTdAndTmMoveTheLine) {
  auto runs = run_text("BT 10 20 TD T* (a) Tj 1 0 0 1 300 400 Tm (b) Tj ET");
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_DOUBLE_EQ(runs[0].x, 10);
  EXPECT_DOUBLE_EQ(runs[0].y, 40);  // TD sets TL to -20, so T* moves up by 20
  EXPECT_DOUBLE_EQ(runs[1].x, 300);
  EXPECT_DOUBLE_EQ(runs[1].y, 400);
}

TEST(Interpret, UnknownFontDecodesLatin1) {
  auto runs = run_text("BT /Nope 10 Tf <E9> Tj () Tj ET");
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].text, "\xC3\xA9");
  EXPECT_EQ(runs[1].text, "");
  EXPECT_DOUBLE_EQ(runs[1].x, 5);
}

TEST(Interpret, TfWithoutSizeZeroesGlyphAdvances) {
  FontMap fonts;
  fonts["F1"] = half_em_font();
  auto runs = run_text("BT /F1 Tf 2 Tc (Hi) Tj ET", fonts);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_DOUBLE_EQ(runs[0].font_size, 0);
  EXPECT_DOUBLE_EQ(runs[0].width, 4);
}

TEST(Interpret, ManyUnbalancedSavesStayBounded) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "q ";
  text += "1 0 0 1 5 5 cm ";
  for (int i = 0; i < 20000; ++i) text += "Q ";
  text += "BT (a) Tj ET";
  auto runs = run_text(text);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_DOUBLE_EQ(runs[0].x, 0);
}

// A page holds each font name once: runs naming it, set again or after another font,
// share that one copy; a run shown before any "Tf" names none.
TEST(Interpret, RunsShareOneCopyOfEachFontName) {
  const auto runs = run_text("BT (a) Tj /F1 9 Tf (b) Tj /F2 9 Tf (c) Tj /F1 9 Tf (d) Tj /F1 7 Tf (e) Tj ET");
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_EQ(runs[0].font, nullptr);
  EXPECT_EQ(*runs[1].font, "F1");
  EXPECT_EQ(*runs[2].font, "F2");
  EXPECT_EQ(runs[1].font.get(), runs[3].font.get());
  EXPECT_EQ(runs[1].font.get(), runs[4].font.get());
  EXPECT_NE(runs[1].font.get(), runs[2].font.get());
}

TEST(Interpret, HugeNumbersDoNotFail) {
  auto runs = run_text("1e308 0 0 1e308 1e308 1e308 cm BT /X 1e308 Tf 1e308 0 Td (a) Tj ET");
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_FALSE(std::isfinite(runs[0].x));
}

TEST(Walker, RecoverySavesTheTextStateWithTheCtmAndStrictOnlyTheCtm) {
  const SharedFontMap fonts;
  const auto ops = ops_of("/F1 10 Tf q 2 0 0 2 0 0 cm /F2 12 Tf Q BT (a) Tj ET");
  for (const bool full : {false, true}) {
    GraphicsWalker walker(full);
    TextInterpreter text(fonts);
    for (const ContentOp& op : ops) walker.apply(op, text);
    const auto runs = text.take_runs();
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_NE(runs[0].font, nullptr);
    EXPECT_EQ(*runs[0].font, full ? "F1" : "F2");
    EXPECT_EQ(runs[0].font_size, full ? 10.0 : 12.0);
    EXPECT_EQ(walker.state().ctm.a, 1.0);  // the CTM comes back either way
  }
}

}  // namespace
}  // namespace folioscan

namespace folioscan {
namespace {

// The runs of `content`, read strictly or, with `keep` (glyph starts kept), as recovery.
std::vector<TextRun> interpreted(const std::string& content, const SharedFontMap& fonts, bool keep) {
  GraphicsWalker walker;
  TextInterpreter interpreter(fonts);
  interpreter.keep_glyph_starts(keep);
  for (const ContentOp& op : ops_of(content)) walker.apply(op, interpreter);
  return interpreter.take_runs();
}


TEST(Interpret, GlyphsWithoutTextAreCountedPerFontWhenGlyphsAreKept) {
  FontMap fonts;
  Font f = half_em_font();  // codes 128 and up have no text
  for (const std::uint32_t code : {0x80u, 0x81u, 0x90u}) f.widths[code] = 0.05;
  fonts["F1"] = f;
  fonts["F2"] = half_em_font();
  const auto ops = ops_of("BT /F1 12 Tf (H\x80i\x81) Tj /F2 9 Tf (ok) Tj /F1 12 Tf [(\x90) 20 (i)] TJ ET");
  const SharedFontMap shared = borrow_fonts(fonts);
  for (const bool keep : {false, true}) {
    GraphicsWalker walker;
    TextInterpreter interpreter(shared);
    interpreter.keep_glyph_starts(keep);
    for (const ContentOp& op : ops) walker.apply(op, interpreter);
    const auto runs = interpreter.take_runs();
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].text, "Hi");  // left out, not written as blanks
    using Counts = std::vector<std::pair<std::string, std::size_t>>;
    const Counts expected = keep ? Counts{{"F1", 3}} : Counts{};
    EXPECT_EQ(interpreter.glyphs_without_text(), expected) << keep;
  }
}

TEST(Interpret, WideGlyphsWithoutTextBreakWordsInRecovery) {
  FontMap fonts;
  Font f = half_em_font();
  f.encoding[' '] = 0;  // a space glyph the font's maps leave out
  f.widths[static_cast<std::uint32_t>(' ')] = 0.25;
  f.widths[0x80] = 0.05;  // a narrow glyph without text
  fonts["F1"] = f;
  const struct {
    std::string content, strict, recovered;
  } cases[] = {
      // Before, between and after words: one space each (0.25 em of 12 is a word gap).
      {"BT /F1 12 Tf 100 700 Td (Hi Hi) Tj ET", "HiHi", "Hi Hi"},
      {"BT /F1 12 Tf 100 700 Td (  Hi) Tj ET", "Hi", " Hi"},
      {"BT /F1 12 Tf 100 700 Td (Hi  ) Tj ET", "Hi", "Hi "},
      {"BT /F1 12 Tf 100 700 Td (H  i) Tj ET", "Hi", "H i"},
      // Narrow, or a run with no text at all: nothing.
      {"BT /F1 12 Tf 100 700 Td (H\x80i) Tj ET", "Hi", "Hi"},
      {"BT /F1 12 Tf 100 700 Td (   ) Tj ET", "", ""},
  };
  const SharedFontMap shared = borrow_fonts(fonts);
  for (const auto& c : cases) {
    for (const bool keep : {false, true}) {
      const auto runs = interpreted(c.content, shared, keep);
      ASSERT_EQ(runs.size(), 1u);
      EXPECT_EQ(runs[0].text, keep ? c.recovered : c.strict) << c.content;
      EXPECT_DOUBLE_EQ(runs[0].x, 100) << c.content;
    }
  }
}

TEST(Interpret, RecoverySpacesOutLettersAndDropsSpacesThatTakeNoRoom) {
  FontMap fonts;
  Font f = half_em_font();
  f.widths[static_cast<std::uint32_t>(' ')] = 0.25;
  f.widths[0x81] = 0.0;  // a zero-width mark that the maps call a space
  f.encoding[0x81] = ' ';
  fonts["F1"] = f;
  f.vertical_advance = -1.0;
  fonts["F2"] = f;
  const struct {
    std::string content;
    std::vector<std::string> strict, recovered;
  } cases[] = {
      // Spacing of 0.25 em parts the letters (a space glyph stays one); 0.125 em does not.
      {"BT /F1 12 Tf 3 Tc (Hi Hi) Tj ET", {"Hi Hi"}, {"H i H i"}},
      {"BT /F1 12 Tf 1.5 Tc (Hi) Tj ET", {"Hi"}, {"Hi"}},
      // Mirrored glyphs part at negative spacing, and so do glyphs that advance down a
      // column: there a positive Tc draws them closer.
      {"BT /F1 -12 Tf -3 Tc (Hi) Tj ET", {"Hi"}, {"H i"}},
      {"BT /F2 12 Tf 3 Tc (Hi) Tj ET", {"Hi"}, {"Hi"}},
      {"BT /F2 12 Tf -3 Tc (Hi) Tj ET", {"Hi"}, {"H i"}},
      {"BT /F2 12 Tf -1.5 Tc (Hi) Tj ET", {"Hi"}, {"Hi"}},
      // A space that takes no room is no run; one that Tc widens is.
      {"BT /F1 12 Tf [(H) (\\201) (i)] TJ ET", {"H", " ", "i"}, {"H", "i"}},
      {"BT /F1 12 Tf 1 Tc [(H) (\\201) (i)] TJ ET", {"H", " ", "i"}, {"H", " ", "i"}},
  };
  const SharedFontMap shared = borrow_fonts(fonts);
  for (const auto& c : cases) {
    for (const bool keep : {false, true}) {
      std::vector<std::string> texts;
      for (const TextRun& run : interpreted(c.content, shared, keep)) texts.push_back(run.text);
      EXPECT_EQ(texts, keep ? c.recovered : c.strict) << c.content;
    }
  }
}

}  // namespace
}  // namespace folioscan
