// Predefined CMaps and CID -> Unicode: real strings of the Japanese, Chinese and Korean
// encodings read code by code, vertical CMaps, the rule for bytes outside every
// codespace range, the text of Unicode CMap codes, and the shape of every generated map.
#include "cmap/predefined.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cmap/cid_unicode.h"
#include "cmap/code_map.h"

namespace folioscan::cmap {
namespace {

ByteView bytes_of(std::string_view s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

struct Decoded {
  std::vector<CharCode> codes;
  std::vector<std::uint32_t> cids;
  std::string text;
};

// What a font with this CMap and ordering shows for `s`, code by code.
Decoded decode(const CodeMap& map, Ordering ordering, std::string_view s) {
  Decoded out;
  const ByteView bytes = bytes_of(s);
  for (std::size_t pos = 0; pos < bytes.size();) {
    const CharCode code = next_code(map, bytes, pos);
    EXPECT_GT(code.bytes, 0);
    pos += code.bytes;
    out.codes.push_back(code);
    const std::uint32_t cid = glyph_cid(map, code);
    out.cids.push_back(cid);
    cid_to_unicode(ordering, cid, out.text);
  }
  return out;
}

CodeMap predefined(std::string_view name) {
  auto map = predefined_cmap(name);
  EXPECT_TRUE(map.has_value()) << name;
  return map ? std::move(*map) : CodeMap{};
}

TEST(PredefinedCMap, StringsOfEachEncodingReadAsTheirText) {
  struct Case {
    std::string_view cmap;
    Ordering ordering;
    std::string_view bytes;
    std::vector<std::uint32_t> cids;
    std::string_view text;
  };
  const Case cases[] = {
      // noembed-sjis.pdf and noembed-eucjp.pdf show "あいうえお" like this.
      {"90ms-RKSJ-H", Ordering::Japan1, "\x82\xA0\x82\xA2\x82\xA4\x82\xA6\x82\xA8", {843, 845, 847, 849, 851},
       "あいうえお"},
      {"EUC-H", Ordering::Japan1, "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA", {843, 845, 847, 849, 851}, "あいうえお"},
      // Shift-JIS mixes one-byte Latin and half-width katakana with two-byte kana.
      {"90ms-RKSJ-H", Ordering::Japan1, "A\x82\xA0\xB1\x82\xA2", {264, 843, 343, 845}, "Aあｱい"},
      {"EUC-H", Ordering::Japan1, "A\x8E\xB1\xA4\xA2", {264, 343, 843}, "Aｱあ"},
      // UTF-16: a surrogate pair is one four-byte code.
      {"UniGB-UTF16-H", Ordering::GB1, "\x4E\x2D\xD8\x40\xDC\x87", {4559, 22048}, "中\xF0\xA0\x82\x87"},
      {"UniJIS-UCS2-H", Ordering::Japan1, "\x30\x42\x4E\x2D", {843, 2980}, "あ中"},
      {"UniJIS-UTF8-H", Ordering::Japan1, "A\xE3\x81\x82", {34, 843}, "Aあ"},
      {"UniKS-UTF16-H", Ordering::Korea1, std::string_view("\xD5\x5C\xAE\x00", 4), {3296, 1238}, "한글"},
      {"KSCms-UHC-H", Ordering::Korea1, "\xC7\xD1\xB1\xDB", {3296, 1238}, "한글"},
      {"GBK-EUC-H", Ordering::GB1, "\xD6\xD0\xCE\xC4", {4559, 3795}, "中文"},
      {"B5pc-H", Ordering::CNS1, "\xA4\xA4\xA4\xE5", {661, 726}, "中文"},
      {"ETen-B5-H", Ordering::CNS1, "\xA4\xA4", {661}, "中"},
      {"Identity-H", Ordering::Japan1, "\x03\x4B", {843}, "あ"},
  };
  for (const Case& c : cases) {
    const Decoded d = decode(predefined(c.cmap), c.ordering, c.bytes);
    EXPECT_EQ(d.cids, c.cids) << c.cmap;
    EXPECT_EQ(d.text, c.text) << c.cmap;
  }
}

TEST(PredefinedCMap, VerticalCMapsSayWModeOneAndTakeVerticalGlyphs) {
  const CodeMap h = predefined("90ms-RKSJ-H");
  const CodeMap v = predefined("90ms-RKSJ-V");
  EXPECT_FALSE(h.vertical);
  EXPECT_TRUE(v.vertical);
  // The ideographic comma has a vertical form; kana the two share.
  const Decoded dh = decode(h, Ordering::Japan1, "\x81\x41\x82\xA0");
  const Decoded dv = decode(v, Ordering::Japan1, "\x81\x41\x82\xA0");
  EXPECT_EQ(dh.cids, (std::vector<std::uint32_t>{634, 843}));
  EXPECT_EQ(dv.cids, (std::vector<std::uint32_t>{7887, 843}));
  EXPECT_EQ(dh.text, "、あ");
  EXPECT_EQ(dv.text, "、あ");
  for (std::string_view name : {"Identity-V", "UniJIS-UTF16-V", "EUC-V", "UniGB-UCS2-V", "KSCms-UHC-V", "B5pc-V"}) {
    EXPECT_TRUE(predefined(name).vertical) << name;
    EXPECT_TRUE(predefined_cmap_info(name)->vertical) << name;
  }
}

TEST(PredefinedCMap, VariantsOverrideTheMapTheyUseInEveryCodeForm) {
  struct Case {
    std::string_view cmap;
    std::string_view bytes;
    std::uint32_t cid;
  };
  // U+3001 "、": 634 written horizontally, 7887 (its vertical form) in every -V map,
  // whether its entries come from the CMap it uses, a shared Unicode table or its own.
  const Case cases[] = {
      {"UniJIS-UTF8-H", "\xE3\x80\x81", 634},   {"UniJIS-UTF8-V", "\xE3\x80\x81", 7887},
      {"UniJIS-UTF16-V", "\x30\x01", 7887},      {"UniJIS-UTF32-V", std::string_view("\0\0\x30\x01", 4), 7887},
      {"UniJIS-UCS2-V", "\x30\x01", 7887},       {"UniJIS-UCS2-HW-V", "\x30\x01", 7887},
      {"EUC-H", "\xA1\xA2", 634},                {"EUC-V", "\xA1\xA2", 7887},
      {"UniGB-UTF8-H", "\xE3\x80\x81", 97},     {"UniGB-UTF8-V", "\xE3\x80\x81", 575},
      // Half-width Latin over the proportional forms of the map it uses.
      {"UniJIS-UCS2-H", std::string_view("\0A", 2), 34}, {"UniJIS-UCS2-HW-H", std::string_view("\0A", 2), 264},
      {"UniJIS2004-UTF16-H", "\x4E\x2D", 2980},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decode(predefined(c.cmap), Ordering::Japan1, c.bytes).cids, std::vector<std::uint32_t>{c.cid}) << c.cmap;
  }
}

TEST(PredefinedCMap, BytesOutsideTheCodespaceTakeTheShortestPartialMatch) {
  struct Case {
    std::string_view cmap;
    std::string_view bytes;
    std::vector<CharCode> codes;
  };
  const Case cases[] = {
      // A lead byte with a bad trail byte is one invalid two-byte code.
      {"90ms-RKSJ-H", "\x81\x20" "A", {{0x8120, 2}, {0x41, 1}}},
      // No range takes FD's first byte: the shortest range, one byte.
      {"90ms-RKSJ-H", "\xFD\x82\xA0", {{0xFD, 1}, {0x82A0, 2}}},
      // A lead byte at the end is a one-byte code.
      {"90ms-RKSJ-H", "A\x82", {{0x41, 1}, {0x82, 1}}},
      // A lone high surrogate starts only the four-byte range.
      {"UniGB-UTF16-H", std::string_view("\xD8\x00\x00\x41\x00\x41", 6), {{0xD8000041, 4}, {0x41, 2}}},
      {"Identity-H", "\x01\x02\x03", {{0x0102, 2}, {0x03, 1}}},
      {"UniJIS-UTF8-H", "\xFF" "a", {{0xFF, 1}, {0x61, 1}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decode(predefined(c.cmap), Ordering::Japan1, c.bytes).codes, c.codes) << c.cmap;
  }
  // An invalid code has no CID of its own; its glyph is the notdef of its range or 0.
  const CodeMap sjis = predefined("90ms-RKSJ-H");
  EXPECT_FALSE(cid_for(sjis, {0x8120, 2}).has_value());
  EXPECT_EQ(glyph_cid(sjis, {0x05, 1}), 231u);  // notdef range <00> <1f> 231
  EXPECT_EQ(next_code(sjis, bytes_of("A"), 1), CharCode{});
}

TEST(PredefinedCMap, EveryMapBuildsWithItsCollectionAndCodespace) {
  std::set<std::string_view> names;
  for (std::size_t i = 0; i < predefined_cmap_count(); ++i) {
    const PredefinedInfo info = predefined_cmap_at(i);
    EXPECT_TRUE(names.insert(info.name).second) << info.name;
    const auto map = predefined_cmap(info.name);
    ASSERT_TRUE(map.has_value()) << info.name;
    EXPECT_EQ(map->name, info.name);
    EXPECT_EQ(map->vertical, info.vertical) << info.name;
    EXPECT_EQ(map->system.ordering, ordering_name(info.ordering)) << info.name;
    EXPECT_FALSE(map->codespace.empty()) << info.name;
    std::size_t ranges = 0;
    for (const auto& by_length : map->cids) {
      ranges += by_length.size();
      for (std::size_t k = 1; k < by_length.size(); ++k) EXPECT_LT(by_length[k - 1].high, by_length[k].low) << info.name;
    }
    EXPECT_GT(ranges, 0u) << info.name;
  }
  for (std::string_view name : {"90ms-RKSJ-H", "90ms-RKSJ-V", "90msp-RKSJ-H", "83pv-RKSJ-H", "EUC-H", "H", "V",
                                "GBK-EUC-H", "GBKp-EUC-H", "GBK2K-H", "GB-EUC-H", "UniGB-UTF16-H", "UniGB-UCS2-H",
                                "UniJIS-UCS2-H", "UniJIS-UCS2-HW-H", "UniJIS-UTF16-H", "UniJIS-UTF32-H",
                                "UniJIS2004-UTF16-H", "KSCms-UHC-H", "KSCms-UHC-HW-H", "KSC-EUC-H", "UniKS-UTF16-H",
                                "UniAKR-UTF16-H", "B5pc-H", "ETen-B5-H", "HKscs-B5-H", "CNS-EUC-H", "UniCNS-UTF16-H",
                                "Identity-H", "Identity-V"}) {
    EXPECT_EQ(names.count(name), 1u) << name;
  }
  for (std::string_view name : {"", "90ms-RKSJ", "Adobe-Japan1-UCS2", "identity-h", "UniJIS-UCS2-H "}) {
    EXPECT_FALSE(predefined_cmap(name).has_value()) << name;
    EXPECT_FALSE(predefined_cmap_info(name).has_value()) << name;
  }
}

TEST(PredefinedCMap, UnicodeCMapsOfOneCollectionAgreeAcrossCodeForms) {
  // One mapping shared in three code forms: U+2000B (𠀋) and U+4E2D (中).
  struct Case {
    std::string_view cmap;
    std::string_view bytes;
  };
  std::vector<std::uint32_t> expected;
  for (const Case& c : {Case{"UniJIS-UTF32-H", std::string_view("\x00\x02\x00\x0B\x00\x00\x4E\x2D", 8)},
                        Case{"UniJIS-UTF16-H", "\xD8\x40\xDC\x0B\x4E\x2D"},
                        Case{"UniJIS-UTF8-H", "\xF0\xA0\x80\x8B\xE4\xB8\xAD"}}) {
    const CodeMap map = predefined(c.cmap);
    const Decoded d = decode(map, Ordering::Japan1, c.bytes);
    std::string text;
    for (const CharCode code : d.codes) EXPECT_TRUE(append_code_text(map.code_text, code, text)) << c.cmap;
    EXPECT_EQ(text, "\xF0\xA0\x80\x8B中") << c.cmap;
    if (expected.empty()) expected = d.cids;
    EXPECT_EQ(d.cids, expected) << c.cmap;
    EXPECT_EQ(d.text, text) << c.cmap;
  }
}

TEST(CodeText, OnlyWellFormedCodesOfTheFormHaveText) {
  struct Case {
    CodeText form;
    CharCode code;
    std::string_view text;  // empty: none
  };
  const Case cases[] = {
      {CodeText::Ucs2, {0x3042, 2}, "あ"},          {CodeText::Ucs2, {0xD800, 2}, ""},
      {CodeText::Ucs2, {0x41, 1}, ""},               {CodeText::Utf16, {0xD83DDE00, 4}, "\xF0\x9F\x98\x80"},
      {CodeText::Utf16, {0xDE00D83D, 4}, ""},        {CodeText::Utf16, {0x0000, 2}, ""},
      {CodeText::Utf32, {0x1F600, 4}, "\xF0\x9F\x98\x80"}, {CodeText::Utf32, {0x110000, 4}, ""},
      {CodeText::Utf8, {0xE38182, 3}, "あ"},         {CodeText::Utf8, {0xC0C1, 2}, ""},  // overlong
      {CodeText::Utf8, {0xEDA080, 3}, ""},  // a surrogate
      {CodeText::Utf8, {0xE3, 1}, ""},               {CodeText::None, {0x41, 1}, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(append_code_text(c.form, c.code, out), !c.text.empty()) << c.code.value;
    EXPECT_EQ(out, c.text) << c.code.value;
  }
}

TEST(CidToUnicode, CollectionsGiveCharactersSequencesAndNothing) {
  struct Case {
    Ordering ordering;
    std::uint32_t cid;
    std::string_view text;  // empty: none
  };
  const Case cases[] = {
      {Ordering::Japan1, 843, "あ"},
      {Ordering::Japan1, 1, " "},
      {Ordering::Japan1, 8321, "有限会社"},  // one glyph for a word
      {Ordering::Japan1, 230, "0"},          // a variant zero: the selector is dropped
      {Ordering::Japan1, 0, ""},
      {Ordering::Japan1, 23060, ""},         // past the collection
      {Ordering::GB1, 22048, "\xF0\xA0\x82\x87"},
      {Ordering::CNS1, 661, "中"},
      {Ordering::Korea1, 3296, "한"},
      {Ordering::KR, 0, ""},                 // U+FFFD in the collection's table
      {Ordering::Japan2, 0, ""},
      {Ordering::Identity, 843, ""},
      {Ordering::Japan1, 0xFFFFFFFF, ""},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    EXPECT_EQ(cid_to_unicode(c.ordering, c.cid, out), !c.text.empty()) << c.cid;
    EXPECT_EQ(out, "x" + std::string(c.text)) << c.cid;
  }
  // Japan2's table is the inverse of UniHojo-UTF32-H: a code point comes back.
  const CodeMap hojo = predefined("UniHojo-UTF32-H");
  const auto cid = cid_for(hojo, {0x4E02, 4});
  ASSERT_TRUE(cid.has_value());
  std::string out;
  EXPECT_TRUE(cid_to_unicode(Ordering::Japan2, *cid, out));
  EXPECT_EQ(out, "丂");
}

TEST(CidToUnicode, CollectionsAreNamedByRegistryAndOrdering) {
  EXPECT_EQ(ordering_named("Adobe", "Japan1"), Ordering::Japan1);
  EXPECT_EQ(ordering_named("Adobe", "KR"), Ordering::KR);
  EXPECT_EQ(ordering_named("Adobe", "Identity"), Ordering::Identity);
  EXPECT_FALSE(ordering_named("Adobe", "japan1").has_value());
  EXPECT_FALSE(ordering_named("Foo", "Japan1").has_value());
  EXPECT_EQ(ucs2_cmap_ordering("Adobe-Japan1-UCS2"), Ordering::Japan1);
  EXPECT_EQ(ucs2_cmap_ordering("Adobe-Korea1-UCS2"), Ordering::Korea1);
  for (std::string_view name : {"Adobe-Identity-UCS2", "Adobe--UCS2", "Adobe-UCS2", "Adobe-Japan1", "UniJIS-UCS2-H"}) {
    EXPECT_FALSE(ucs2_cmap_ordering(name).has_value()) << name;
  }
}

}  // namespace
}  // namespace folioscan::cmap
