// Annotations in recovery: which are shown, appearances placed by /Rect, and form fields
// drawn from their values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "page_fixture.h"

namespace folioscan {
namespace {

using testing::extract;
using testing::one_page;
using testing::PdfBuilder;

TEST(Annotations, NormalAppearancesArePlacedByRectAndSkippedWhenHiddenOrNotForView) {
  struct Case {
    std::string annotation;  // keys besides /Rect and /AP
    std::string expected;
  } cases[] = {
      {"/Subtype/FreeText", "note"},
      {"/Subtype/FreeText /F 4", "note"},  // Print alone still shows
      {"/Subtype/FreeText /F 2", ""},
      {"/Subtype/FreeText /F 32", ""},
      {"/Subtype/Popup", ""},
      {"/Subtype/Link", ""},
  };
  for (const Case& c : cases) {
    PdfBuilder b = one_page("", "", "/Annots [10 0 R]");
    b.add(10, "<</Type/Annot " + c.annotation + " /Rect [100 100 200 150] /AP <</N 11 0 R>>>>");
    b.add_stream(11, "/Subtype/Form /BBox [0 0 50 25]", "BT 10 5 Td (note) Tj ET");
    EXPECT_EQ(page_text(extract(b, true).pages[0]), c.expected) << c.annotation;
    EXPECT_EQ(page_text(extract(b, false).pages[0]), "");
  }

  // The /AS state of a state dictionary; BBox [0 0 50 25] maps onto the Rect (scale 2),
  // and a rotating Matrix turns the BBox before it is fitted.
  PdfBuilder b = one_page("", "", "/Annots [10 0 R 12 0 R]");
  b.add(10, "<</Subtype/Widget /Rect [100 100 200 150] /AS /On /AP <</N <</Off 13 0 R /On 11 0 R>>>>>>");
  b.add_stream(11, "/Subtype/Form /BBox [0 0 50 25]", "BT 10 5 Td (on) Tj ET");
  b.add(12, "<</Subtype/Stamp /Rect [100 300 200 350] /AP <</N 14 0 R>>>>");
  b.add_stream(13, "/Subtype/Form /BBox [0 0 50 25]", "BT 10 5 Td (off) Tj ET");
  b.add_stream(14, "/Subtype/Form /BBox [0 0 50 25] /Matrix [0 1 -1 0 0 0]", "BT 10 5 Td (turned) Tj ET");
  const auto lines = extract(b, true).pages[0].lines;
  ASSERT_EQ(lines.size(), 2u);  // upright text first, then text turned up
  EXPECT_EQ(lines[0].text, "on");
  EXPECT_EQ(lines[0].x, 120.0);
  EXPECT_EQ(lines[0].y, 110.0);
  EXPECT_EQ(lines[1].text, "turned");
  EXPECT_EQ(lines[1].x, 180.0);
  EXPECT_EQ(lines[1].y, 310.0);
}

TEST(Annotations, FieldsAreDrawnFromTheirValuesWhenTheFormNeedsAppearances) {
  struct Case {
    std::string form;    // the catalog's /AcroForm
    std::string widget;  // keys besides /Rect and /AP
    std::vector<std::string> lines;
  } cases[] = {
      {"<</NeedAppearances true>>", "/FT/Tx /V (Alice) /DA (/F3 11 Tf)", {"Alice"}},
      // Type and value inherited from the parent field; a multi-line value.
      {"<</NeedAppearances true>>", "/Parent 12 0 R", {"one", "two"}},
      {"<</NeedAppearances true>>", "/FT/Ch /V <feff0042006f0062>", {"Bob"}},
      // No value, a push button, or a form that does not ask: the appearance.
      {"<</NeedAppearances true>>", "/FT/Tx", {"stale"}},
      {"<</NeedAppearances true>>", "/FT/Btn /V (Off)", {"stale"}},
      {"<<>>", "/FT/Tx /V (Alice)", {"stale"}},
  };
  for (const Case& c : cases) {
    PdfBuilder b = one_page("", "", "/Annots [10 0 R]");
    b.add(1, "<</Type/Catalog /Pages 2 0 R /AcroForm " + c.form + ">>");
    b.add(10, "<</Subtype/Widget " + c.widget + " /Rect [100 100 200 150] /AP <</N 11 0 R>>>>");
    b.add_stream(11, "/Subtype/Form /BBox [0 0 100 50]", "BT 10 5 Td (stale) Tj ET");
    b.add(12, "<</FT/Tx /V (one\rtwo) /Parent 12 0 R>>");  // a parent loop ends too
    const Document doc = extract(b, true);
    std::vector<std::string> got;
    for (const TextLine& line : doc.pages[0].lines) got.push_back(line.text);
    EXPECT_EQ(got, c.lines) << c.widget;
  }
}

}  // namespace
}  // namespace folioscan
