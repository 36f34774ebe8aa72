// Recovery's use of embedded font programs, through load_font and the extraction
// driver: the order of precedence, composite and simple fonts of each program kind,
// one reading per program, and a strict reading that never reads the program.
#include "font/embedded.h"

#include <gtest/gtest.h>

#include <string>

#include "agl/font_loader.h"
#include "doc.h"
#include "extract.h"
#include "font_fixtures.h"
#include "pdf_builder.h"

namespace folioscan {
namespace {

using testing::bytes_of;
using testing::font_fixture;
using testing::PdfBuilder;

std::string as_string(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// A document whose object 10 is the font under test, with its descriptor 11 naming the
// program in object 12 under `file_key`; more objects may be added.
struct FontDoc {
  PdfBuilder builder;
  std::string file;
  std::optional<OpenDocument> doc;
  FontContext fonts;

  FontDoc(const std::string& font, const std::string& file_key, const std::string& program,
          const std::string& program_keys = "") {
    builder.add(1, "<</Type/Catalog /Pages 2 0 R>>");
    builder.add(2, "<</Type/Pages /Kids [] /Count 0>>");
    builder.add(10, font);
    builder.add(11, "<</Type/FontDescriptor /FontName /F /" + file_key + " 12 0 R>>");
    builder.add_stream(12, program_keys, program);
  }

  Font load(bool recover) {
    file = builder.build();
    auto opened = open_document(bytes_of(file), {});
    EXPECT_TRUE(opened.has_value());
    doc.emplace(std::move(*opened));
    doc->options.recover = recover;
    fonts = FontContext{};
    return load_font(*doc, fonts, **doc->resolver.dictionary_view(Object{ObjRef{10, 0}}));
  }
};

std::string decode(const Font& font, const std::string& shown) {
  std::string out;
  decode_and_measure(font, ByteView(reinterpret_cast<const std::uint8_t*>(shown.data()), shown.size()), 0, 0, 1, 1,
                     out);
  return out;
}

constexpr const char* kIdentityFont =
    "<</Type/Font /Subtype/Type0 /Encoding/Identity-H /DescendantFonts [13 0 R]>>";

TEST(EmbeddedPrograms, PrecedenceIsToUnicodeThenPdfEncodingThenProgramThenStrict) {
  // custom.pfa's encoding: 65 B, 66 A, 128 Euro (no value in the glyph-name table), 200
  // eacute. The PDF maps 0x41 by ToUnicode and 0x42 by /Differences.
  FontDoc d("<</Type/Font /Subtype/Type1 /FontDescriptor 11 0 R /ToUnicode 14 0 R "
            "/Encoding <</Differences [66 /C]>>>>",
            "FontFile", as_string(font_fixture("custom.pfa")));
  d.builder.add_stream(14, "", "1 beginbfchar <41> <0078> endbfchar");
  const std::string shown = "\x41\x42\xC8\x80\x43";
  EXPECT_EQ(decode(d.load(true), shown), "xC\xC3\xA9\xE2\x82\xAC" "C");   // x C é € C
  EXPECT_EQ(decode(d.load(false), shown), "xC\xC3\x88\xE2\x82\xAC" "C");  // x C È € C
}

TEST(EmbeddedPrograms, AnExplicitBaseEncodingWinsOverTheProgram) {
  FontDoc d("<</Type/Font /Subtype/Type1 /FontDescriptor 11 0 R /Encoding/WinAnsiEncoding>>", "FontFile",
            as_string(font_fixture("custom.pfa")));
  EXPECT_EQ(decode(d.load(true), "AB"), "AB");
  EXPECT_TRUE(d.fonts.programs.by_object.empty());  // nothing asked for the program
}

struct SimpleCase {
  const char* name;
  const char* file_key;
  const char* program;
  const char* program_keys;
  std::string shown;
  std::string recovered;
  std::string strict;
};

TEST(EmbeddedPrograms, SimpleFontsWithoutEncodingTakeTheProgramsCodes) {
  const SimpleCase cases[] = {
      // The symbol subtable maps 0x62 to glyph "a"; the strict default table says b.
      {"TrueType symbol subtable", "FontFile2", "symbol.ttf", "", "ab", "aa", "ab"},
      // The CFF built-in encoding: 0x41 is glyph B, 0x61 glyph A; 0x42 has no glyph.
      {"CFF built-in encoding", "FontFile3", "simple.cff", "/Subtype/Type1C", "AaB", "BAB", "AaB"},
      {"CFF standard encoding", "FontFile3", "standard.cff", "/Subtype/Type1C", "'\xA1", "\xE2\x80\x99\xC2\xA1",
       "'\xC2\xA1"},
      {"Type 1 standard encoding", "FontFile", "standard.pfa", "", "'", "\xE2\x80\x99", "'"},
      // Code 0x61's glyph is U+F061 alone (private use): the strict letter stays.
      {"private-use program text", "FontFile2", "pua.ttf", "", "ab", "ay", "ab"},
  };
  for (const SimpleCase& c : cases) {
    SCOPED_TRACE(c.name);
    FontDoc d("<</Type/Font /Subtype/Type1 /FontDescriptor 11 0 R>>", c.file_key, as_string(font_fixture(c.program)),
              c.program_keys);
    EXPECT_EQ(decode(d.load(true), c.shown), c.recovered);
    EXPECT_EQ(decode(d.load(false), c.shown), c.strict);
  }
}

TEST(EmbeddedPrograms, DifferencesNamesWithoutValueFindTheirGlyphInTheProgram) {
  // unicode.ttf's glyph "glyph4" is U+00E9 by its cmap alone.
  FontDoc d("<</Type/Font /Subtype/TrueType /FontDescriptor 11 0 R "
            "/Encoding <</BaseEncoding/WinAnsiEncoding /Differences [65 /glyph4 /nosuchglyph]>>>>",
            "FontFile2", as_string(font_fixture("unicode.ttf")));
  EXPECT_EQ(decode(d.load(true), "ABC"), "\xC3\xA9" "BC");
  EXPECT_EQ(decode(d.load(false), "ABC"), "ABC");
}

struct CompositeCase {
  const char* name;
  std::string descendant;
  const char* file_key;
  const char* program;
  const char* program_keys;
  std::string shown;
  std::string recovered;
};

TEST(EmbeddedPrograms, IdentityCompositeFontsReadTextFromTheProgram) {
  const CompositeCase cases[] = {
      // Glyphs space A B glyph4 uni20AC privateA puaonly emoji are 1 to 8.
      {"TrueType, Identity CIDToGIDMap", "<</Subtype/CIDFontType2 /FontDescriptor 11 0 R>>", "FontFile2",
       "unicode.ttf", "", std::string("\0\2\0\3\0\4\0\5\0\6\0\1\0\x63", 14),
       "AB\xC3\xA9\xE2\x82\xAC" "C "},
      {"TrueType, CIDToGIDMap stream", "<</Subtype/CIDFontType2 /FontDescriptor 11 0 R /CIDToGIDMap 15 0 R>>",
       "FontFile2", "unicode.ttf", "", std::string("\0\0\0\1\0\2", 6), "BAB"},
      // CIDs 5, 7 and 300 are glyphs 1 to 3, which the OpenType cmap names A, B, C.
      {"CID-keyed CFF in OpenType", "<</Subtype/CIDFontType0 /FontDescriptor 11 0 R>>", "FontFile3", "cid.otf",
       "/Subtype/OpenType", std::string("\0\5\1\x2C\0\7\0\1", 8), "ACB"},
      // A bare CID-keyed CFF has no text for its CIDs.
      {"bare CID-keyed CFF", "<</Subtype/CIDFontType0 /FontDescriptor 11 0 R>>", "FontFile3", "cid.cff",
       "/Subtype/CIDFontType0C", std::string("\0\5", 2), ""},
  };
  for (const CompositeCase& c : cases) {
    SCOPED_TRACE(c.name);
    FontDoc d(kIdentityFont, c.file_key, as_string(font_fixture(c.program)), c.program_keys);
    d.builder.add(13, c.descendant);
    d.builder.add_stream(15, "", std::string("\0\3\0\2\0\3", 6));  // CID 0 -> 3, 1 -> 2, 2 -> 3
    EXPECT_EQ(decode(d.load(true), c.shown), c.recovered);
    EXPECT_EQ(decode(d.load(false), c.shown), "");
  }
}

TEST(EmbeddedPrograms, ACompositeToUnicodeMapIsCompletedOnlyWhereItLacksACode) {
  const auto with_map = [](const std::string& widths) {
    FontDoc d("<</Type/Font /Subtype/Type0 /Encoding/Identity-H /DescendantFonts [13 0 R] /ToUnicode 14 0 R>>",
              "FontFile2", as_string(font_fixture("unicode.ttf")));
    d.builder.add(13, "<</Subtype/CIDFontType2 /FontDescriptor 11 0 R /W [" + widths + "]>>");
    d.builder.add_stream(14, "", "1 beginbfchar <0002> <0078> endbfchar");
    return d;
  };
  FontDoc covered = with_map("2 [500]");
  EXPECT_EQ(decode(covered.load(true), std::string("\0\2\0\3", 4)), "x");
  EXPECT_TRUE(covered.fonts.programs.by_object.empty());
  FontDoc lacking = with_map("2 3 500");
  EXPECT_EQ(decode(lacking.load(true), std::string("\0\2\0\3", 4)), "xB");
}

TEST(EmbeddedPrograms, UnreadableProgramsKeepTheStrictText) {
  const std::string garbage[] = {"", "not a font", std::string("\0\1\0\0\0\xFF", 6), std::string("\1\0\4\4\xFF\xFF", 6)};
  for (const std::string& program : garbage) {
    for (const char* key : {"FontFile", "FontFile2", "FontFile3"}) {
      FontDoc simple("<</Type/Font /Subtype/TrueType /FontDescriptor 11 0 R>>", key, program);
      EXPECT_EQ(decode(simple.load(true), "Ab"), "Ab");
      FontDoc composite(kIdentityFont, key, program);
      composite.builder.add(13, "<</Subtype/CIDFontType2 /FontDescriptor 11 0 R>>");
      EXPECT_EQ(decode(composite.load(true), std::string("\0\2", 2)), "");
    }
  }
  // A program that is not a stream, or a filter that fails.
  FontDoc not_stream("<</Type/Font /Subtype/TrueType /FontDescriptor 11 0 R>>", "FontFile2", "");
  not_stream.builder.add(12, "[1 2 3]");
  EXPECT_EQ(decode(not_stream.load(true), "A"), "A");
  FontDoc bad_filter("<</Type/Font /Subtype/TrueType /FontDescriptor 11 0 R>>", "FontFile2", "xx",
                     "/Filter/FlateDecode");
  EXPECT_EQ(decode(bad_filter.load(true), "A"), "A");
}

TEST(EmbeddedPrograms, AProgramSharedByFontsAndPagesIsReadOncePerCall) {
  PdfBuilder b;
  b.add(1, "<</Type/Catalog /Pages 2 0 R>>");
  b.add(2, "<</Type/Pages /Kids [3 0 R 4 0 R] /Count 2>>");
  const std::string page = "<</Type/Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 5 0 R "
                           "/Resources <</Font <</F1 10 0 R /F2 20 0 R>>>>>>";
  b.add(3, page);
  b.add(4, page);
  b.add_stream(5, "", std::string("BT /F1 10 Tf 10 100 Td <00020003> Tj ET BT /F2 10 Tf 10 50 Td <0004> Tj ET"));
  b.add(10, "<</Type/Font /Subtype/Type0 /Encoding/Identity-H /DescendantFonts [13 0 R]>>");
  b.add(20, "<</Type/Font /Subtype/Type0 /Encoding/Identity-H /DescendantFonts [23 0 R]>>");
  b.add(13, "<</Subtype/CIDFontType2 /FontDescriptor 11 0 R>>");
  b.add(23, "<</Subtype/CIDFontType2 /FontDescriptor 21 0 R>>");
  b.add(11, "<</Type/FontDescriptor /FontFile2 12 0 R>>");
  b.add(21, "<</Type/FontDescriptor /FontFile2 12 0 R>>");
  b.add_stream(12, "", as_string(font_fixture("unicode.ttf")));
  const std::string file = b.build();
  for (const bool recover : {true, false}) {
    auto doc = open_document(bytes_of(file), {});
    ASSERT_TRUE(doc.has_value());
    doc->options.recover = recover;
    const auto result = extract_document(*doc);
    ASSERT_TRUE(result.has_value());
    ASSERT_EQ(result->pages.size(), 2u);
    for (const Page& p : result->pages) EXPECT_EQ(page_text(p), recover ? "AB\n\xC3\xA9" : "\n");
    // The two pages' fonts loaded as the driver loads them, through one font context.
    FontContext fonts;
    for (const std::uint32_t page_object : {3u, 4u}) {
      const Dictionary& page_dict = **doc->resolver.dictionary_view(Object{ObjRef{page_object, 0}});
      (void)load_page_fonts(*doc, fonts, *page_dict.lookup("Resources")->as_dict());
    }
    EXPECT_EQ(fonts.programs.by_object.size(), recover ? 1u : 0u);
  }
}

}  // namespace
}  // namespace folioscan
