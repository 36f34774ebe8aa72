// Painting a page through one walker: its rules both ways, and in recovery Form
// XObjects, vertical writing and /ActualText.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "input_limits.h"
#include "page_fixture.h"
#include "utf8.h"

namespace folioscan {
namespace {

using testing::extract;
using testing::one_page;
using testing::PdfBuilder;

bool warned(const Document& doc, const std::string& message) {
  return doc.warnings && std::any_of(doc.warnings->begin(), doc.warnings->end(),
                                     [&](const Warning& w) { return w.message == message; });
}

TEST(Walker, OnlyPaintedPathsMakeRulesInRecovery) {
  // A 2 x 2 grid with a word in each cell: recovery's least table.
  const std::string text =
      " BT /F1 10 Tf 110 520 Td (a) Tj 100 0 Td (b) Tj 0 50 Td (c) Tj -100 0 Td (d) Tj ET";
  const std::string grid =
      "100 500 m 300 500 l 100 550 m 300 550 l 100 600 m 300 600 l "
      "100 500 m 100 600 l 200 500 m 200 600 l 300 500 m 300 600 l ";
  const std::string bars =
      "100 499.5 200 1 re 100 549.5 200 1 re 100 599.5 200 1 re "
      "99.5 500 1 100 re 199.5 500 1 100 re 299.5 500 1 100 re ";
  struct Case {
    std::string content;
    std::size_t strict_tables, recovered_tables;
  } cases[] = {
      {"0 0 612 792 re W n" + text, 1, 0},  // the page's clip rectangle
      {grid + "S" + text, 1, 1},
      {grid + "n" + text, 1, 0},
      {grid + text, 1, 0},  // never painted
      {"100 500 200 100 re f" + text, 1, 0},  // a filled box is a background, not a grid
      {bars + "f" + text, 1, 1},              // rules drawn as filled bars
  };
  for (const Case& c : cases) {
    PdfBuilder b = one_page(c.content, "/Font <</F1 <</Type/Font /Subtype/Type1 /BaseFont/Helvetica>>>>");
    EXPECT_EQ(extract(b, false).pages[0].tables.size(), c.strict_tables) << c.content;
    EXPECT_EQ(extract(b, true).pages[0].tables.size(), c.recovered_tables) << c.content;
  }
}

TEST(Walker, APathOfManyRectanglesKeepsBoundedSegmentsInRecovery) {
  std::string content;
  content.reserve(3'000'000);
  for (int i = 0; i < 200'000; ++i) content += "1 1 9 9 re ";
  content += "S 1 1 9 9 re f BT /F1 10 Tf 2 2 Td (x) Tj ET";
  PdfBuilder b = one_page(content, "/Font <</F1 <</Type/Font /Subtype/Type1 /BaseFont/Helvetica>>>>");
  const Document recovered = extract(b, true);
  ASSERT_EQ(recovered.pages.size(), 1u);
  EXPECT_TRUE(recovered.pages[0].tables.empty());
  EXPECT_EQ(recovered.pages[0].lines.size(), 1u);
}

TEST(Forms, NestedFormsPaintWithTheirMatricesAndResourcesOnlyInRecovery) {
  PdfBuilder b = one_page("1 0 0 1 100 100 cm /Fa Do BT 72 600 Td (page) Tj ET", "/XObject <</Fa 10 0 R>>");
  b.add_stream(10, "/Type/XObject /Subtype/Form /BBox [0 0 500 500] /Matrix [1 0 0 1 10 20] "
                   "/Resources <</XObject <</Fb 11 0 R>>>>",
               "BT 0 0 Td (outer) Tj ET 2 0 0 2 0 0 cm /Fb Do BT 0 100 Td (after) Tj ET");
  b.add_stream(11, "/Subtype/Form /BBox [0 0 100 100]", "BT 5 5 Td (inner) Tj ET");
  const Document strict = extract(b, false);
  EXPECT_EQ(page_text(strict.pages[0]), "page");
  const Document recovered = extract(b, true);
  const auto& lines = recovered.pages[0].lines;
  ASSERT_EQ(lines.size(), 4u);
  auto at = [&](const std::string& text) {
    const auto it = std::find_if(lines.begin(), lines.end(), [&](const TextLine& l) { return l.text == text; });
    return it == lines.end() ? std::pair{-1.0, -1.0} : std::pair{it->x, it->y};
  };
  EXPECT_EQ(at("page"), (std::pair{172.0, 700.0}));  // the form's state is gone after it
  EXPECT_EQ(at("outer"), (std::pair{110.0, 120.0}));
  EXPECT_EQ(at("inner"), (std::pair{120.0, 130.0}));
  EXPECT_EQ(at("after"), (std::pair{110.0, 320.0}));
  EXPECT_TRUE(recovered.warnings->empty());
}

TEST(Forms, SelfPaintingDeepChainsAndUndecodableFormsStop) {
  // A form painting itself through another, once per chain.
  PdfBuilder cycle = one_page("/Fa Do", "/XObject <</Fa 10 0 R /Fb 11 0 R>>");
  cycle.add_stream(10, "/Subtype/Form /BBox [0 0 9 9]", "BT 0 0 Td (a) Tj ET /Fb Do");
  cycle.add_stream(11, "/Subtype/Form /BBox [0 0 9 9]", "BT 0 50 Td (b) Tj ET /Fa Do /Fb Do");
  Document doc = extract(cycle, true);
  EXPECT_EQ(page_text(doc.pages[0]), "b\na");
  EXPECT_TRUE(warned(doc, "BadStream: form paints itself"));

  // 10,000 distinct forms, each painting the next: only the first levels are painted.
  PdfBuilder chain = one_page("/F Do", "/XObject <</F 10 0 R>>");
  for (std::uint32_t n = 10; n < 10'010; ++n) {
    chain.add_stream(n, "/Subtype/Form /BBox [0 0 9 9] /Resources <</XObject <</F " + std::to_string(n + 1) + " 0 R>>>>",
                     "BT 0 " + std::to_string((n - 10) * 20) + " Td (x) Tj ET /F Do");
  }
  doc = extract(chain, true);
  EXPECT_EQ(doc.pages[0].lines.size(), limits::kMaxFormDepth);
  EXPECT_TRUE(warned(doc, "BadStream: forms nested too deep"));

  PdfBuilder broken = one_page("/F Do BT 0 0 Td (still) Tj ET", "/XObject <</F 10 0 R>>");
  broken.add_stream(10, "/Subtype/Form /BBox [0 0 9 9] /Filter /Nope", "BT (lost) Tj ET");
  doc = extract(broken, true);
  EXPECT_EQ(page_text(doc.pages[0]), "still");
  EXPECT_TRUE(warned(doc, "Unsupported: unsupported filter: Nope"));
}

TEST(Forms, ImagesPaintedByFormsAreListedOnceAndCountForTheScannedPageRule) {
  const std::string image = "/Subtype/Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray";
  // A scanned page wrapped in a form, painted twice.
  PdfBuilder scan = one_page("/Scan Do /Scan Do", "/XObject <</Scan 10 0 R>>");
  scan.add_stream(10, "/Subtype/Form /BBox [0 0 612 792] /Resources <</XObject <</Im0 11 0 R>>>>",
                  "q 612 0 0 792 0 0 cm /Im0 Do Q /Im0 Do");
  scan.add_stream(11, image, "\xff");
  EXPECT_FALSE(extract(scan, false).pages[0].needs_ocr);
  const Document doc = extract(scan, true);
  ASSERT_EQ(doc.pages[0].images.size(), 1u);
  EXPECT_EQ(doc.pages[0].images[0].name, "Im0");
  EXPECT_TRUE(doc.pages[0].needs_ocr);

  // An image the page lists itself is not listed again when a form paints it.
  PdfBuilder both = one_page("/Im Do /F Do", "/XObject <</Im 11 0 R /F 10 0 R>>");
  both.add_stream(10, "/Subtype/Form /BBox [0 0 9 9] /Resources <</XObject <</Other 11 0 R>>>>", "/Other Do");
  both.add_stream(11, image, "\xff");
  EXPECT_EQ(extract(both, true).pages[0].images.size(), 1u);
}

TEST(VerticalWriting, AVerticalFontsColumnsReadTopToBottomRightColumnFirst) {
  // Two columns of a vertical font (advance 1 em down the page) and a horizontal word
  // after them; strict reads every glyph as advancing right.
  PdfBuilder b = one_page(
      "BT /V 10 Tf 300 700 Td <00010002> Tj <0003> Tj 1 0 0 1 280 700 Tm [<0004> 500 <0005>] TJ "
      "/H 10 Tf 1 0 0 1 100 500 Tm <0001> Tj ET",
      "/Font <</V 10 0 R /H 11 0 R>>");
  const std::string descendant = " /DescendantFonts [<</Subtype/CIDFontType0 /DW 1000>>] /ToUnicode 12 0 R>>";
  b.add(10, "<</Type/Font /Subtype/Type0 /Encoding/Identity-V" + descendant);
  b.add(11, "<</Type/Font /Subtype/Type0 /Encoding/Identity-H" + descendant);
  b.add_stream(12, "", "1 begincodespacerange <0000> <FFFF> endcodespacerange "
                       "1 beginbfrange <0001> <0005> <0061> endbfrange");
  const auto texts = [](const Document& doc) {
    std::vector<std::tuple<std::string, double, double>> out;
    for (const TextLine& line : doc.pages[0].lines) out.emplace_back(line.text, line.x, line.y);
    return out;
  };
  using Lines = std::vector<std::tuple<std::string, double, double>>;
  EXPECT_EQ(texts(extract(b, true)), (Lines{{"a", 100, 500}, {"abc", 300, 700}, {"d e", 280, 700}}));
  EXPECT_EQ(texts(extract(b, false)), (Lines{{"de abc", 280, 700}, {"a", 100, 500}}));
}

TEST(ActualText, MarkedContentReplacesTheTextOfItsRuns) {
  struct Case {
    std::string content;
    std::string expected;
  } cases[] = {
      {"BT 72 700 Td /Span <</ActualText (fi)>> BDC (X) Tj (Y) Tj EMC ( Z) Tj ET", "fi Z"},
      {"/Span /P0 BDC BT 72 700 Td (X) Tj ET EMC", "named"},
      {"/Span <</ActualText <FEFF00E9D83DDE00>>> BDC BT 72 700 Td (X) Tj ET EMC", "\xc3\xa9\xf0\x9f\x98\x80"},
      {"/Span <</ActualText (\\223)>> BDC BT 72 700 Td (X) Tj ET EMC", "\xef\xac\x81"},  // PDFDocEncoding
      // Nesting: the outer replacement covers the inner one and ends at its own EMC.
      {"BT 72 700 Td /Span <</ActualText (out)>> BDC /P BMC /Span <</ActualText (in)>> BDC (X) Tj EMC EMC "
       "(Y) Tj EMC ( W) Tj ET",
       "out W"},
      {"/Span <</ActualText ()>> BDC BT 72 700 Td (-) Tj ET EMC BT 72 700 Td (V) Tj ET", "V"},
      {"/Span <</ActualText (none)>> BDC EMC BT 72 700 Td (V) Tj ET", "V"},
  };
  for (const Case& c : cases) {
    PdfBuilder b = one_page(c.content, "/Properties <</P0 <</ActualText (named)>>>>");
    EXPECT_EQ(page_text(extract(b, true).pages[0]), c.expected) << c.content;
  }
  PdfBuilder strict = one_page(cases[0].content);
  EXPECT_EQ(page_text(extract(strict, false).pages[0]), "XY Z");
}

}  // namespace
}  // namespace folioscan
