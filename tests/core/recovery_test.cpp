// Recovery: partial decoding, pages and page-tree kids that cannot be read, damaged
// headers and cross-reference data, and the strict reading left as it was.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "cos/parser.h"
#include "extract.h"
#include "filter/filter.h"
#include "filter/inflate.h"
#include "filter/lzw.h"
#include "lex.h"
#include "pdf_builder.h"

namespace folioscan {
namespace {

using testing::bytes_of;
using testing::PdfBuilder;

Bytes fixture(const std::string& name) {
  std::ifstream file(std::string(FOLIOSCAN_FIXTURES) + "/deflate/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

TEST(PartialInflate, TruncatedDataGivesAPrefixOfTheWholeOutput) {
  const Bytes zz = fixture("text_medium_l6.zz");
  const ByteView raw = ByteView(zz).subspan(2);  // past the zlib header
  const Bytes whole = *inflate(raw);
  std::size_t previous = 0;
  // Held output of 64 KiB makes the 80,000-byte stream take the two-pass path too.
  for (const std::uint64_t held : {limits::kMaxInflateHeldBytes, std::uint64_t{64} << 10}) {
    for (const std::size_t cut : {raw.size() / 4, raw.size() / 2, raw.size() - 9}) {
      const auto partial = inflate_partial(raw.first(cut), limits::kMaxDecodedBytes, held);
      ASSERT_TRUE(partial.has_value());
      ASSERT_TRUE(partial->fault.has_value());
      EXPECT_EQ(partial->fault->display(), inflate(raw.first(cut)).error().display());
      ASSERT_LE(partial->data.size(), whole.size());
      EXPECT_TRUE(std::equal(partial->data.begin(), partial->data.end(), whole.begin()));
      EXPECT_GE(partial->data.size(), cut == raw.size() / 4 ? 1u : previous);
      previous = partial->data.size();
    }
    const auto full = inflate_partial(raw, limits::kMaxDecodedBytes, held);
    ASSERT_TRUE(full.has_value());
    EXPECT_FALSE(full->fault.has_value());
    EXPECT_EQ(full->data, whole);
  }
}

TEST(PartialInflate, ATruncatedStoredBlockKeepsItsBytesAndABombStillFails) {
  const std::string stored = std::string("\x01\x0a\x00\xf5\xff", 5) + "Hello";  // 10 bytes promised, 5 there
  const auto partial = inflate_partial(bytes_of(stored));
  ASSERT_TRUE(partial.has_value());
  ASSERT_TRUE(partial->fault.has_value());
  EXPECT_EQ(partial->fault->display(), inflate(bytes_of(stored)).error().display());
  EXPECT_EQ(std::string(partial->data.begin(), partial->data.end()), "Hello");
  // Output past the bound is no partial result.
  const Bytes zz = fixture("zeros_l9.zz");
  const auto bomb = inflate_partial(ByteView(zz).subspan(2), 1000);
  ASSERT_FALSE(bomb.has_value());
  EXPECT_EQ(bomb.error().display(), "BadStream: corrupt DEFLATE data");
}

TEST(PartialLzw, ACodeBeyondTheTableEndsTheOutputThere) {
  // 9-bit codes: 'A' (65), a clear code, then 300, which cannot be decoded after a clear.
  const std::string data("\x20\xc0\x25\x80", 4);
  const auto strict = lzw_decode(bytes_of(data), true);
  ASSERT_FALSE(strict.has_value());
  const auto partial = lzw_decode_partial(bytes_of(data), true);
  ASSERT_TRUE(partial.has_value());
  ASSERT_TRUE(partial->fault.has_value());
  EXPECT_EQ(partial->fault->display(), strict.error().display());
  EXPECT_EQ(std::string(partial->data.begin(), partial->data.end()), "A");
}

Dictionary filter_dict(const std::string& filters) {
  Dictionary dict;
  Lexer lexer(bytes_of(filters));
  dict.entries.push_back(DictEntry{"Filter", *parse_object(lexer)});
  return dict;
}

TEST(RecoveringDecode, FaultsKeepWhatTheyCanAndSayWhatStrictWouldSay) {
  const std::string stored = std::string("\x78\x01\x01\x0a\x00\xf5\xff", 7) + "Hello";
  struct Case {
    std::string filters;
    std::string raw;
    std::string data;
    std::string fault;
  } cases[] = {
      {"/FlateDecode", stored, "Hello", "BadStream: corrupt DEFLATE data"},
      {"[/ASCIIHexDecode /FlateDecode]", "78010105", "", "BadStream: corrupt DEFLATE data"},
      {"/JBIG9Decode", "abc", "", "Unsupported: unsupported filter: JBIG9Decode"},
      {"[/FlateDecode /Nope]", stored, "", "BadStream: corrupt DEFLATE data"},
      {"/ASCIIHexDecode", "414243>", "ABC", ""},
      {"/DCTDecode", "\xff\xd8", "\xff\xd8", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filters);
    const RecoveredBytes out = decode_stream_recovering(filter_dict(c.filters), bytes_of(c.raw));
    EXPECT_EQ(std::string(out.data.begin(), out.data.end()), c.data);
    EXPECT_EQ(out.fault ? out.fault->display() : "", c.fault);
  }
}

struct Outcome {
  std::string error;  // empty when the document was extracted
  Document doc;
};

Outcome extract_with(const std::string& file, bool recover) {
  auto doc = parse_document(bytes_of(file), {}, ExtractOptions{.recover = recover});
  if (!doc) return {doc.error().display(), {}};
  return {"", std::move(*doc)};
}

std::string text_of(const Page& page) { return page_text(page); }

// Three pages showing "one", "two", "three"; `second` replaces the middle page's content.
PdfBuilder three_pages(const std::string& second_contents = "6 0 R") {
  PdfBuilder b;
  b.add(1, "<</Type/Catalog /Pages 2 0 R>>");
  b.add(2, "<</Type/Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3>>");
  const std::string res = " /Resources <</Font <</F1 9 0 R>>>> /MediaBox [0 0 300 400]";
  b.add(3, "<</Type/Page /Parent 2 0 R /Contents 7 0 R" + res + ">>");
  b.add(4, "<</Type/Page /Parent 2 0 R /Contents " + second_contents + res + ">>");
  b.add(5, "<</Type/Page /Parent 2 0 R /Contents 8 0 R" + res + ">>");
  b.add_stream(6, "", "BT /F1 12 Tf 72 300 Td (two) Tj ET");
  b.add_stream(7, "", "BT /F1 12 Tf 72 300 Td (one) Tj ET");
  b.add_stream(8, "", "BT /F1 12 Tf 72 300 Td (three) Tj ET");
  b.add(9, "<</Type/Font /Subtype/Type1 /BaseFont/Helvetica>>");
  return b;
}

TEST(RecoveringExtraction, AnUnreadablePageComesOutEmptyWithItsSizeAndAWarning) {
  const std::string file = three_pages("99 0 R").build();
  EXPECT_EQ(extract_with(file, false).error, "ObjectNotFound: no such object");
  const Outcome out = extract_with(file, true);
  ASSERT_EQ(out.error, "");
  ASSERT_EQ(out.doc.pages.size(), 3u);
  EXPECT_EQ(text_of(out.doc.pages[0]), "one");
  EXPECT_EQ(text_of(out.doc.pages[1]), "");
  EXPECT_EQ(out.doc.pages[1].width, 300.0);
  EXPECT_EQ(out.doc.pages[1].height, 400.0);
  EXPECT_EQ(text_of(out.doc.pages[2]), "three");
  ASSERT_TRUE(out.doc.warnings.has_value());
  ASSERT_EQ(out.doc.warnings->size(), 1u);
  EXPECT_EQ(out.doc.warnings->at(0).page, 1u);
  EXPECT_EQ(out.doc.warnings->at(0).message, "ObjectNotFound: no such object");
}

TEST(RecoveringExtraction, CorruptAndUnknownStreamsKeepThePageGoing) {
  PdfBuilder b = three_pages();
  // The middle page's content: a stored block cut short, then a page with an unknown filter.
  const std::string cut = std::string("\x78\x01\x01\x40\x00\xbf\xff", 7) + "BT /F1 12 Tf 72 300 Td (tw) Tj ET";
  b.add_stream(6, "/Filter /FlateDecode", cut);
  b.add_stream(8, "/Filter /Nope", "BT ET");
  const std::string file = b.build();
  EXPECT_EQ(extract_with(file, false).error, "BadStream: corrupt DEFLATE data");
  const Outcome out = extract_with(file, true);
  ASSERT_EQ(out.error, "");
  EXPECT_EQ(text_of(out.doc.pages[1]), "tw");
  EXPECT_EQ(text_of(out.doc.pages[2]), "");
  ASSERT_EQ(out.doc.warnings->size(), 2u);
  EXPECT_EQ(out.doc.warnings->at(0).page, 1u);
  EXPECT_EQ(out.doc.warnings->at(0).message, "BadStream: corrupt DEFLATE data");
  EXPECT_EQ(out.doc.warnings->at(1).page, 2u);
  EXPECT_EQ(out.doc.warnings->at(1).message, "Unsupported: unsupported filter: Nope");
}

TEST(RecoveringExtraction, ABrokenKidIsSkippedAndASoundFileHasNoWarnings) {
  PdfBuilder b = three_pages();
  b.add(2, "<</Type/Pages /Kids [3 0 R 98 0 R 4 0 R 10 0 R 5 0 R] /Count 3>>");
  b.add(10, "<</Type/Pages /Kids 5>>");
  const std::string file = b.build();
  EXPECT_EQ(extract_with(file, false).error, "ObjectNotFound: no such object");
  const Outcome out = extract_with(file, true);
  ASSERT_EQ(out.error, "");
  ASSERT_EQ(out.doc.pages.size(), 3u);
  EXPECT_EQ(text_of(out.doc.pages[2]), "three");
  ASSERT_EQ(out.doc.warnings->size(), 2u);
  EXPECT_FALSE(out.doc.warnings->at(0).page.has_value());
  EXPECT_EQ(out.doc.warnings->at(1).message, "InvalidObject: /Kids not array");

  const Outcome sound = extract_with(three_pages().build(), true);
  ASSERT_TRUE(sound.doc.warnings.has_value());
  EXPECT_TRUE(sound.doc.warnings->empty());
  EXPECT_FALSE(extract_with(three_pages().build(), false).doc.warnings.has_value());
}

std::string shift_offsets(std::string file, std::size_t by) {
  // Every object moves `by` bytes later; the table still names the old offsets.
  const std::size_t first = file.find("1 0 obj");
  file.insert(first, std::string(by, ' '));
  return file;
}

TEST(RecoveringExtraction, DamagedHeadersAndCrossReferencesAreRebuiltFromTheFile) {
  const std::string sound = three_pages().build();
  struct Case {
    const char* name;
    std::string file;
    std::string strict_error;
    std::string version;
  } cases[] = {
      {"garbage before the header", std::string(3000, '#') + sound, "InvalidHeader: no %PDF- header", "1.4"},
      {"no header", sound.substr(sound.find('\n') + 1), "InvalidHeader: no %PDF- header", "1.4"},
      {"no startxref", sound.substr(0, sound.rfind("startxref")), "InvalidXref: no startxref", "1.4"},
      {"startxref pointing nowhere", sound.substr(0, sound.rfind("startxref")) + "startxref\n7\n%%EOF\n",
       "", "1.4"},
      {"offsets shifted", shift_offsets(sound, 7), "", "1.4"},
      {"no xref table or trailer", sound.substr(0, sound.find("xref\n0 ")), "InvalidXref: no startxref", "1.4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome strict = extract_with(c.file, false);
    EXPECT_NE(strict.error, "");
    if (!c.strict_error.empty()) {
      EXPECT_EQ(strict.error, c.strict_error);
    }
    const Outcome out = extract_with(c.file, true);
    ASSERT_EQ(out.error, "");
    EXPECT_EQ(out.doc.version, c.version);
    ASSERT_EQ(out.doc.pages.size(), 3u);
    EXPECT_EQ(text_of(out.doc.pages[0]), "one");
    EXPECT_EQ(text_of(out.doc.pages[2]), "three");
    EXPECT_FALSE(out.doc.warnings->empty());
  }
}

TEST(RecoveringExtraction, APageTreeThatCannotBeReadLeavesNoPages) {
  PdfBuilder b = three_pages();
  b.add(1, "<</Type/Catalog /Pages 77 0 R>>");
  EXPECT_EQ(extract_with(b.build(), false).error, "ObjectNotFound: no such object");
  const Outcome out = extract_with(b.build(), true);
  ASSERT_EQ(out.error, "");
  EXPECT_TRUE(out.doc.pages.empty());
  ASSERT_EQ(out.doc.warnings->size(), 1u);
  EXPECT_EQ(out.doc.warnings->at(0).message, "ObjectNotFound: no such object");
}

TEST(RecoveringExtraction, AFileWithoutHeaderTakesTheCatalogVersion) {
  PdfBuilder b = three_pages();
  b.add(1, "<</Type/Catalog /Pages 2 0 R /Version /1.6>>");
  b.header = "";
  const Outcome out = extract_with(b.build(), true);
  ASSERT_EQ(out.error, "");
  EXPECT_EQ(out.doc.version, "1.6");
  EXPECT_EQ(out.doc.warnings->at(0).message, "InvalidHeader: no %PDF- header");
}

}  // namespace
}  // namespace folioscan
