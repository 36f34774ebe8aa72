// Composite fonts with CMaps, loaded from documents in both readings: codes of one to
// four bytes, widths by CID, text from Unicode CMaps, character collections and a used
// UCS2 CMap in ToUnicode, and hostile CMap streams (loops, five-byte codespaces, a
// million ranges) that must stay bounded.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "agl/font_loader.h"
#include "doc.h"
#include "font_support.h"
#include "pdf_builder.h"

namespace folioscan {
namespace {

using testing::bytes_of;
using testing::PdfBuilder;

constexpr const char* kJapan1 = "/CIDSystemInfo <</Registry (Adobe) /Ordering (Japan1) /Supplement 2>>";

struct Shown {
  std::string text;
  double width = 0;
  std::size_t codes = 0;
};

// Font 10 with `encoding` and descendant keys, plus extra objects; what `shown` gives.
Shown show(bool recover, const std::string& font_keys, const std::string& descendant_keys,
           const std::vector<std::pair<std::uint32_t, std::string>>& streams, const std::string& shown) {
  PdfBuilder b;
  b.add(1, "<</Pages 2 0 R>>");
  b.add(2, "<</Kids []>>");
  b.add(3, "<</Font <</F 10 0 R>>>>");
  b.add(10, "<</Subtype/Type0 " + font_keys + " /DescendantFonts [11 0 R]>>");
  b.add(11, "<</Subtype/CIDFontType0 /DW 1000 " + descendant_keys + ">>");
  for (const auto& [num, body] : streams) {
    const std::size_t split = body.find('|');
    b.add_stream(num, body.substr(0, split), body.substr(split + 1));
  }
  Shown out;
  const ByteView bytes(reinterpret_cast<const std::uint8_t*>(shown.data()), shown.size());
  testing::with_font_f(b.build(), recover, [&](const Font& font) {
    out.width = decode_and_measure(font, bytes, 0, 0, 1, 1, out.text);
    out.codes = count_codes(font, bytes);
  });
  return out;
}

struct Case {
  const char* name;
  std::string font_keys;
  std::string descendant_keys;
  std::vector<std::pair<std::uint32_t, std::string>> streams;
  std::string shown;
  std::string recovered;  // text in the recovery reading
  double width;           // recovery reading
  std::size_t codes;      // recovery reading
};

class CMapFonts : public ::testing::TestWithParam<Case> {};

TEST_P(CMapFonts, RecoveryReadsTheTextAndTheStrictReadingIsUnchanged) {
  const Case& c = GetParam();
  const Shown recovered = show(true, c.font_keys, c.descendant_keys, c.streams, c.shown);
  EXPECT_EQ(recovered.text, c.recovered);
  EXPECT_DOUBLE_EQ(recovered.width, c.width);
  EXPECT_EQ(recovered.codes, c.codes);
  // The strict reading: two-byte codes with no text (no ToUnicode map gives any here).
  const Shown strict = show(false, c.font_keys, c.descendant_keys, c.streams, c.shown);
  EXPECT_EQ(strict.text, "");
  EXPECT_DOUBLE_EQ(strict.width, static_cast<double>((c.shown.size() + 1) / 2));
}

const std::string kHiraganaA = "\xE3\x81\x82";  // あ
const std::string kHiraganaI = "\xE3\x81\x84";  // い

INSTANTIATE_TEST_SUITE_P(
    Fonts, CMapFonts,
    ::testing::Values(
        // Shift-JIS mixes one- and two-byte codes; widths go by CID (A is CID 264 here).
        Case{"ShiftJis", "/Encoding /90ms-RKSJ-H", std::string(kJapan1) + " /W [264 [500]]", {},
             "\x82\xA0" "A\x82\xA2", kHiraganaA + "A" + kHiraganaI, 2.5, 3},
        Case{"EucJp", "/Encoding /EUC-H", kJapan1, {}, "\xA4\xA2\xA4\xA4", kHiraganaA + kHiraganaI, 2.0, 2},
        // Unicode CMaps give text from the code, a surrogate pair as one character.
        Case{"Ucs2", "/Encoding /UniJIS-UCS2-H", kJapan1, {}, "\x30\x42", kHiraganaA, 1.0, 1},
        Case{"Utf16SurrogatePair", "/Encoding /UniJIS-UTF16-H", kJapan1, {}, "\xD8\x42\xDF\xB7",
             "\xF0\xA0\xAE\xB7", 1.0, 1},
        // Identity-H without ToUnicode or program: CIDs through the collection.
        Case{"IdentityThroughCollection", "/Encoding /Identity-H", kJapan1, {}, std::string("\x03\x4B", 2),
             kHiraganaA, 1.0, 1},
        // A TrueType program that says nothing leaves the collection as the last source
        // (arial_unicode_en_cidfont.pdf: Japan1's CIDs 1-95 are its ASCII).
        Case{"IdentityTrueTypeWithoutProgramTextUsesCollection", "/Encoding /Identity-H",
             std::string(kJapan1) + " /Subtype/CIDFontType2 /FontDescriptor <</FontFile2 12 0 R>>",
             {{12, "|not a font program"}}, std::string("\x03\x4B", 2), kHiraganaA, 1.0, 1},
        // "/ToUnicode /Identity-H": the codes are UTF-16 units; surrogates give nothing.
        Case{"ToUnicodeIdentityName", "/Encoding /Identity-H /ToUnicode /Identity-H", "", {},
             std::string("\x01\x1B\x00\x41\xD8\x00", 6), "\xC4\x9B" "A", 3.0, 3},
        // A TrueType CIDFont nothing else serves: CIDs below 258 read in the standard
        // Macintosh glyph order when the font is not embedded (3 space, 54 S, 68 a) ...
        Case{"StandardOrderWithoutProgram", "/Encoding /Identity-H", "/Subtype/CIDFontType2", {},
             std::string("\x00\x36\x00\x03\x00\x44\x01\x02", 8), "S a", 4.0, 4},
        // ... or when a CIDToGIDMap stream maps them onto an embedded subset's glyphs,
        Case{"StandardOrderThroughCIDToGIDMap", "/Encoding /Identity-H",
             "/Subtype/CIDFontType2 /CIDToGIDMap 13 0 R /FontDescriptor <</FontFile2 12 0 R>>",
             {{12, "|not a font program"}, {13, "|\x00\x00\x00\x01"}}, std::string("\x00\x36", 2), "S", 1.0, 1},
        // ... but not for a subset whose own glyph numbers are the CIDs.
        Case{"NoStandardOrderForSubsetGlyphs", "/Encoding /Identity-H",
             "/Subtype/CIDFontType2 /FontDescriptor <</FontFile2 12 0 R>>", {{12, "|not a font program"}},
             std::string("\x00\x36", 2), "", 1.0, 1},
        // ... nor for a subset whose /W cites glyphs past the standard ones as often.
        Case{"NoStandardOrderForManyHighCids", "/Encoding /Identity-H",
             "/Subtype/CIDFontType2 /CIDToGIDMap 13 0 R /FontDescriptor <</FontFile2 12 0 R>> /W [300 [1000 1000]]",
             {{12, "|not a font program"}, {13, "|\x00\x00\x00\x01"}}, std::string("\x00\x36", 2), "", 1.0, 1},
        // ToUnicode using a collection's UCS2 CMap (issue5010.pdf): CID 34 of Korea1 is A.
        Case{"ToUnicodeUsesUcs2CMap", "/Encoding /Identity-H /ToUnicode 12 0 R", "",
             {{12, "|/CIDInit /ProcSet findresource begin begincmap /Adobe-Korea1-UCS2 usecmap endcmap"}},
             std::string("\x00\x22", 2), "A", 1.0, 1},
        // An embedded CMap stream with one- and two-byte codes over a used predefined one.
        Case{"EmbeddedStream", "/Encoding 12 0 R", std::string(kJapan1) + " /W [100 [250]]",
             {{12, "/Type/CMap|/EUC-H usecmap 2 begincodespacerange <00> <7F> <8E00> <FEFE> endcodespacerange "
                   "1 begincidchar <41> 100 endcidchar"}},
             "A\xA4\xA2", "~" + kHiraganaA, 1.25, 2},
        // /UseCMap streams naming each other: read once each, the loop cut.
        Case{"UseCMapLoop", "/Encoding 12 0 R", kJapan1,
             {{12, "/Type/CMap /UseCMap 13 0 R|1 begincodespacerange <00> <FF> endcodespacerange "
                   "1 begincidrange <41> <42> 34 endcidrange"},
              {13, "/Type/CMap /UseCMap 12 0 R|1 begincodespacerange <0000> <FFFF> endcodespacerange"}},
             "AB", "AB", 2.0, 2},
        // A five-byte codespace range is no code length: the map has none and reads pairs.
        Case{"FiveByteCodespace", "/Encoding 12 0 R", kJapan1,
             {{12, "/Type/CMap|1 begincodespacerange <0000000000> <FFFFFFFFFF> endcodespacerange"}}, "ABCD", "",
             2.0, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CMapFonts, AMillionRangesAreReadOnlyUpToTheEntryLimitInBothReadings) {
  std::string cmap = "1 begincodespacerange <0000> <FFFF> endcodespacerange\n";
  cmap.reserve(std::size_t{24} << 20);
  for (std::uint32_t i = 0; i < 1000000; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "<%04X> <%04X> %u\n", i & 0xFFFF, i & 0xFFFF, 100 + (i & 0xFFFF) % 50000);
    cmap += "1 begincidrange ";
    cmap += line;
    cmap += "endcidrange\n";
  }
  for (const bool recover : {true, false}) {
    const Shown shown = show(recover, "/Encoding 12 0 R", kJapan1, {{12, "/Type/CMap|" + cmap}},
                             std::string("\x00\x01", 2));
    EXPECT_EQ(shown.codes, 1u);
    EXPECT_DOUBLE_EQ(shown.width, 1.0);
  }
}

}  // namespace
}  // namespace folioscan
