// Fonts loaded from documents: the font context shared by the pages of one call gives
// the same fonts as loading each page's fonts afresh, and its font cache stays within
// its budget.
#include <gtest/gtest.h>

#include <string>

#include "agl/font_loader.h"
#include "doc.h"
#include "pdf_builder.h"

namespace folioscan {
namespace {

using testing::bytes_of;
using testing::PdfBuilder;

// Two resource dictionaries sharing font 10 (ToUnicode and widths) under different
// names, one with a font written in place, one naming a missing object.
struct Fixture {
  std::string file;
  std::optional<OpenDocument> doc;

  Fixture() {
    PdfBuilder b;
    b.add(1, "<</Pages 2 0 R>>");
    b.add(2, "<</Kids []>>");
    b.add(3, "<</Font <</F1 10 0 R /Direct <</Subtype/Type1 /FirstChar 65 /Widths [250]>>>>>>");
    b.add(4, "<</Font <</G 10 0 R /Gone 99 0 R /Other 12 0 R>>>>");
    b.add(10, "<</Subtype/TrueType /FirstChar 65 /Widths [100 200 300] /ToUnicode 11 0 R>>");
    b.add_stream(11, "",
                 "1 begincodespacerange <00> <FF> endcodespacerange\n"
                 "2 beginbfchar <41> <0078> <42> <00660069> endbfchar\n"
                 "1 beginbfrange <43> <45> <03B1> endbfrange\n");
    b.add(12, "<</Subtype/Type0 /DescendantFonts [<</DW 600>>]>>");
    file = b.build();
    auto opened = open_document(bytes_of(file), {});
    EXPECT_TRUE(opened.has_value());
    doc.emplace(std::move(*opened));
  }

  const Dictionary& resources(std::uint32_t num) { return **doc->resolver.dictionary_view(Object{ObjRef{num, 0}}); }
};

std::string decode(const Font& font, std::string_view shown, double* width = nullptr) {
  std::string out;
  const double w = decode_and_measure(font, ByteView(reinterpret_cast<const std::uint8_t*>(shown.data()), shown.size()),
                                      0.5, 2, 10, 1, out);
  if (width != nullptr) *width = w;
  return out;
}

TEST(FontCache, PagesSharingAFontGetTheSameLoadedFont) {
  Fixture f;
  FontContext context;
  const SharedFontMap first = load_page_fonts(*f.doc, context, f.resources(3));
  const SharedFontMap second = load_page_fonts(*f.doc, context, f.resources(4));
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 2u);  // "Gone" names no object and is left out
  EXPECT_FALSE(second.contains("Gone"));
  EXPECT_EQ(first.at("F1").get(), second.at("G").get());
  // Only fonts reached by reference are kept: 10 and 12, not the one written in place.
  EXPECT_EQ(context.fonts.size(), 2u);
  EXPECT_NE(load_page_fonts(*f.doc, context, f.resources(3)).at("Direct").get(), first.at("Direct").get());
}

TEST(FontCache, CachedFontsDecodeLikeFreshlyLoadedOnes) {
  Fixture f;
  FontContext context;
  (void)load_page_fonts(*f.doc, context, f.resources(3));
  const SharedFontMap shared = load_page_fonts(*f.doc, context, f.resources(4));
  FontContext fresh_context;
  const SharedFontMap fresh = load_page_fonts(*f.doc, fresh_context, f.resources(4));
  ASSERT_EQ(fresh.size(), shared.size());
  for (const auto& [name, font] : fresh) {
    for (std::string_view shown : {"ABCDE Z", "\x01\x41\x42", "\xC3\xA9 "}) {
      double fresh_width = 0;
      double shared_width = 0;
      EXPECT_EQ(decode(*font, shown, &fresh_width), decode(*shared.at(name), shown, &shared_width)) << name;
      EXPECT_EQ(fresh_width, shared_width) << name;
    }
  }
  EXPECT_EQ(decode(*shared.at("G"), "ABCD"), "xfi\xCE\xB1\xCE\xB2");
}

TEST(FontCache, ABudgetTooSmallKeepsNothingButStillLoadsEveryFont) {
  Fixture f;
  FontContext none{FontCache(0)};
  const SharedFontMap fonts = load_page_fonts(*f.doc, none, f.resources(4));
  EXPECT_EQ(fonts.size(), 2u);
  EXPECT_EQ(none.fonts.size(), 0u);
  EXPECT_EQ(decode(*fonts.at("G"), "A"), "x");
}

TEST(FontCache, AFullCacheStartsOverAndEarlierFontsStayUsable) {
  Fixture f;
  // Room for either of the two fonts (each needs well under a kilobyte beyond its own
  // size) but not both.
  FontContext one{FontCache(sizeof(Font) + 1024)};
  const SharedFontMap fonts = load_page_fonts(*f.doc, one, f.resources(4));
  EXPECT_EQ(one.fonts.size(), 1u);
  EXPECT_EQ(decode(*fonts.at("G"), "B"), "fi");
  EXPECT_EQ(decode(*fonts.at("Other"), "\x41"), "");
}

}  // namespace
}  // namespace folioscan
