// Tests of the three writers and the JSON number form: exact bytes of the
// layouts, the escaping rules and the float and rounding corner cases.
#include "serialize/serialize.h"
#include "serialize/cell_paragraphs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace folioscan {
namespace {

std::string json_number(double value) {
  std::string out;
  append_json_number(out, value);
  return out;
}

struct NumberCase {
  double value;
  const char* text;
};

// Names the parameter by its expected text, so test names are stable and readable.
void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.text; }

class JsonNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(JsonNumber, WritesShortestRoundTripFormInTheExponentWindow) {
  EXPECT_EQ(json_number(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonNumber,
    ::testing::Values(
        NumberCase{612.0, "612.0"}, NumberCase{595.276, "595.276"}, NumberCase{0.1, "0.1"},
        NumberCase{0.00001, "0.00001"}, NumberCase{1e15, "1000000000000000.0"},
        NumberCase{1e16, "1e+16"}, NumberCase{1.2345e20, "1.2345e+20"},
        NumberCase{1e300, "1e+300"}, NumberCase{0.000001, "1e-6"}, NumberCase{1.5e-7, "1.5e-7"},
        NumberCase{0.0, "0.0"}, NumberCase{-0.0, "-0.0"}, NumberCase{-612.5, "-612.5"},
        NumberCase{1.0, "1.0"}, NumberCase{10.0, "10.0"}, NumberCase{123456.789, "123456.789"},
        NumberCase{0.000012345, "0.000012345"}, NumberCase{-0.00001, "-0.00001"},
        NumberCase{9.999999999999998e15, "9999999999999998.0"},
        NumberCase{1.5e15, "1500000000000000.0"}, NumberCase{-1e16, "-1e+16"},
        NumberCase{1e-300, "1e-300"}, NumberCase{5e-324, "5e-324"},
        NumberCase{1.7976931348623157e308, "1.7976931348623157e+308"},
        NumberCase{0.30000000000000004, "0.30000000000000004"},
        NumberCase{1.5e-5, "0.000015"}, NumberCase{9.99e-6, "9.99e-6"}));

TEST(JsonNumber, NonFiniteValuesAreNull) {
  EXPECT_EQ(json_number(std::numeric_limits<double>::quiet_NaN()), "null");
  EXPECT_EQ(json_number(std::numeric_limits<double>::infinity()), "null");
  EXPECT_EQ(json_number(-std::numeric_limits<double>::infinity()), "null");
}

TEST(JsonNumber, AppendsToExistingText) {
  std::string out = "x=";
  append_json_number(out, 2.0);
  EXPECT_EQ(out, "x=2.0");
}

Page empty_page(double width = 612.0, double height = 792.0) {
  Page page;
  page.width = width;
  page.height = height;
  return page;
}

Document single_page_document(Page page) {
  Document doc;
  doc.version = "1.7";
  doc.pages.push_back(std::move(page));
  return doc;
}

// ---------------------------------------------------------------- JSON

TEST(JsonWriter, DocumentWithoutPagesIsFourLinesWithNoTrailingNewline) {
  Document doc;
  doc.version = "1.4";
  EXPECT_EQ(document_to_json(doc), "{\n  \"version\": \"1.4\",\n  \"pages\": []\n}");
}

TEST(JsonWriter, FullPageUsesTwoSpaceIndentationAtEveryLevel) {
  Page page = empty_page();
  page.lines.push_back({"Hello", 72.0, 700.5});
  page.tables.push_back({2, 2, {{"a", "b"}, {}}, {}, {}});
  page.images.push_back({"Im1", ImageFormat::Jpeg2000, 10, 20, 8, "DeviceRGB"});
  const std::string expected =
      "{\n"
      "  \"version\": \"1.7\",\n"
      "  \"pages\": [\n"
      "    {\n"
      "      \"width\": 612.0,\n"
      "      \"height\": 792.0,\n"
      "      \"lines\": [\n"
      "        {\n"
      "          \"text\": \"Hello\",\n"
      "          \"x\": 72.0,\n"
      "          \"y\": 700.5\n"
      "        }\n"
      "      ],\n"
      "      \"needs_ocr\": false,\n"
      "      \"tables\": [\n"
      "        {\n"
      "          \"rows\": 2,\n"
      "          \"cols\": 2,\n"
      "          \"cells\": [\n"
      "            [\n"
      "              \"a\",\n"
      "              \"b\"\n"
      "            ],\n"
      "            []\n"
      "          ]\n"
      "        }\n"
      "      ],\n"
      "      \"images\": [\n"
      "        {\n"
      "          \"name\": \"Im1\",\n"
      "          \"format\": \"Jpeg2000\",\n"
      "          \"width\": 10,\n"
      "          \"height\": 20,\n"
      "          \"bits_per_component\": 8,\n"
      "          \"color_space\": \"DeviceRGB\"\n"
      "        }\n"
      "      ]\n"
      "    }\n"
      "  ]\n"
      "}";
  EXPECT_EQ(document_to_json(single_page_document(page)), expected);
}

TEST(JsonWriter, EmptyPageWritesEmptyArraysAndNeedsOcrBetweenLinesAndTables) {
  Page page = empty_page();
  page.needs_ocr = true;
  const std::string expected =
      "{\n  \"version\": \"1.7\",\n  \"pages\": [\n    {\n"
      "      \"width\": 612.0,\n      \"height\": 792.0,\n      \"lines\": [],\n"
      "      \"needs_ocr\": true,\n      \"tables\": [],\n      \"images\": []\n"
      "    }\n  ]\n}";
  EXPECT_EQ(document_to_json(single_page_document(page)), expected);
}

TEST(JsonWriter, SecondPageFollowsCommaAndLineFeed) {
  Document doc;
  doc.version = "2.0";
  doc.pages = {empty_page(1, 2), empty_page(3, 4)};
  const std::string json = document_to_json(doc);
  EXPECT_NE(json.find("\"images\": []\n    },\n    {\n      \"width\": 3.0,"), std::string::npos)
      << json;
}

TEST(JsonWriter, NonFiniteCoordinatesAreNull) {
  Page page = empty_page(std::numeric_limits<double>::infinity(), 1);
  page.lines.push_back({"x", std::numeric_limits<double>::quiet_NaN(), -0.0});
  const std::string json = document_to_json(single_page_document(page));
  EXPECT_NE(json.find("\"width\": null,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"x\": null,\n          \"y\": -0.0\n"), std::string::npos) << json;
}

std::string json_text_of(std::string text) {
  Document doc;
  doc.version = std::move(text);
  const std::string json = document_to_json(doc);
  const std::string prefix = "{\n  \"version\": ";
  const std::string suffix = ",\n  \"pages\": []\n}";
  return json.substr(prefix.size(), json.size() - prefix.size() - suffix.size());
}

TEST(JsonWriter, EscapesQuoteBackslashAndControlCharacters) {
  EXPECT_EQ(json_text_of("\"\t"), R"("\"\t")");
  EXPECT_EQ(json_text_of("a\\b"), R"("a\\b")");
  EXPECT_EQ(json_text_of("\b\f\n\r"), R"("\b\f\n\r")");
  EXPECT_EQ(json_text_of(std::string("\x00\x01\x1f", 3)), R"("\u0000\u0001\u001f")");
  EXPECT_EQ(json_text_of("\x0b"), R"("\u000b")");
}

TEST(JsonWriter, LeavesSolidusDeleteAndNonAsciiUnescaped) {
  EXPECT_EQ(json_text_of("a/b\x7f"), "\"a/b\x7f\"");
  EXPECT_EQ(json_text_of("caf\xC3\xA9 \xE2\x80\x94"), "\"caf\xC3\xA9 \xE2\x80\x94\"");
}

TEST(JsonWriter, WritesEveryImageFormatByName) {
  const std::vector<std::pair<ImageFormat, std::string>> formats = {
      {ImageFormat::Jpeg, "Jpeg"},   {ImageFormat::Jpeg2000, "Jpeg2000"},
      {ImageFormat::Ccitt, "Ccitt"}, {ImageFormat::Jbig2, "Jbig2"},
      {ImageFormat::Raw, "Raw"}};
  for (const auto& [format, name] : formats) {
    Page page = empty_page();
    page.images.push_back({"I", format, 1, 1, 1, "DeviceGray"});
    const std::string json = document_to_json(single_page_document(page));
    EXPECT_NE(json.find("\"format\": \"" + name + "\","), std::string::npos) << name;
  }
}

// ---------------------------------------------------------------- Markdown

constexpr const char* kOcrMarker = "_[scanned page \xE2\x80\x94 text extraction requires OCR]_";

Page page_with_lines(std::vector<std::string> texts) {
  Page page = empty_page();
  for (auto& text : texts) page.lines.push_back({std::move(text), 0.0, 0.0});
  return page;
}

TEST(MarkdownWriter, DocumentWithoutPagesIsEmpty) {
  EXPECT_EQ(document_to_markdown(Document{}), "");
}

TEST(MarkdownWriter, PageTextJoinsLinesWithOneLineFeed) {
  EXPECT_EQ(document_to_markdown(single_page_document(page_with_lines({"Hello", "World"}))),
            "Hello\nWorld");
}

TEST(MarkdownWriter, TableFollowsTextWithSeparatorRowAfterFirstRow) {
  Page page = page_with_lines({"Hello", "World"});
  page.tables.push_back({2, 2, {{"a", "b"}, {"d", "e"}}, {}, {}});
  EXPECT_EQ(document_to_markdown(single_page_document(page)),
            "Hello\nWorld\n\n| a | b |\n| --- | --- |\n| d | e |");
}

TEST(MarkdownWriter, BarsInCellsAreEscapedAndNothingElseIs) {
  Page page = empty_page();
  page.tables.push_back({1, 1, {{"a|b *c*\nd"}}, {}, {}});
  EXPECT_EQ(document_to_markdown(single_page_document(page)),
            "| a\\|b *c*\nd |\n| --- |");
}

TEST(MarkdownWriter, PageTextIsNotEscaped) {
  EXPECT_EQ(document_to_markdown(single_page_document(page_with_lines({"*a* | _b_ #"}))),
            "*a* | _b_ #");
}

TEST(MarkdownWriter, SeparatorRowHasColsCellsWhateverTheRowWidth) {
  Page page = empty_page();
  page.tables.push_back({1, 3, {{"a", "b"}}, {}, {}});
  EXPECT_EQ(document_to_markdown(single_page_document(page)), "| a | b |\n| --- | --- | --- |");
}

TEST(MarkdownWriter, ZeroRowsOrColsMeansNoSeparatorRow) {
  Page page = empty_page();
  page.tables.push_back({0, 2, {{"a", "b"}}, {}, {}});
  page.tables.push_back({2, 0, {{"c"}}, {}, {}});
  EXPECT_EQ(document_to_markdown(single_page_document(page)), "| a | b |\n\n| c |");
}

TEST(MarkdownWriter, TableWithoutCellsIsOnlyItsSeparatorRow) {
  Page page = page_with_lines({"T"});
  page.tables.push_back({1, 2, {}, {}, {}});
  EXPECT_EQ(document_to_markdown(single_page_document(page)), "T\n\n| --- | --- |");
}

TEST(MarkdownWriter, RowWithoutCellsIsBarSpaceSpaceBar) {
  Page page = empty_page();
  page.tables.push_back({0, 0, {{}, {"x"}}, {}, {}});
  EXPECT_EQ(document_to_markdown(single_page_document(page)), "|  |\n| x |");
}

TEST(MarkdownWriter, EmptyBlocksAreDroppedWithTheirSeparators) {
  Page page = empty_page();
  page.tables.push_back({0, 0, {}, {}, {}});
  page.tables.push_back({0, 1, {{"a"}}, {}, {}});
  page.tables.push_back({3, 0, {}, {}, {}});
  page.tables.push_back({0, 0, {{"b"}}, {}, {}});
  EXPECT_EQ(document_to_markdown(single_page_document(page)), "| a |\n\n| b |");
}

TEST(MarkdownWriter, SingleEmptyLineIsAnEmptyBlockButTwoAreALineFeed) {
  Page one = page_with_lines({""});
  one.tables.push_back({0, 0, {{"a"}}, {}, {}});
  EXPECT_EQ(document_to_markdown(single_page_document(one)), "| a |");

  Page two = page_with_lines({"", ""});
  two.tables.push_back({0, 0, {{"a"}}, {}, {}});
  EXPECT_EQ(document_to_markdown(single_page_document(two)), "\n\n\n| a |");
}

TEST(MarkdownWriter, PageNeedingOcrIsOnlyTheMarker) {
  Page page = empty_page();
  page.needs_ocr = true;
  page.tables.push_back({1, 1, {{"hidden"}}, {}, {}});
  page.images.push_back({"Im0", ImageFormat::Jpeg, 1, 1, 8, "DeviceGray"});
  const std::string markdown = document_to_markdown(single_page_document(page));
  EXPECT_EQ(markdown, kOcrMarker);
  EXPECT_EQ(markdown.size(), 49u);
}

TEST(MarkdownWriter, EveryPageIsAPieceEvenWhenEmpty) {
  Document doc;
  doc.pages = {page_with_lines({"one"}), empty_page()};
  EXPECT_EQ(document_to_markdown(doc), "one\n\n---\n\n");
  doc.pages = {empty_page(), page_with_lines({"two"}), empty_page()};
  EXPECT_EQ(document_to_markdown(doc), "\n\n---\n\ntwo\n\n---\n\n");
}

TEST(MarkdownWriter, PagesAloneJoinIntoTheDocumentEvenWhenATextHoldsTheSeparator) {
  Document doc;
  Page ocr = empty_page();
  ocr.needs_ocr = true;
  Page table = page_with_lines({"x"});
  table.tables.push_back({1, 1, {{"c"}}, {}, {}});
  doc.pages = {page_with_lines({"a", "", "---", "", "b"}), empty_page(), ocr, table};
  const std::vector<std::string> pages = markdown_pages(doc);
  EXPECT_EQ(pages, (std::vector<std::string>{"a\n\n---\n\nb", "", kOcrMarker, "x\n\n| c |\n| --- |"}));
  std::string joined;
  for (std::size_t i = 0; i < pages.size(); ++i) joined += (i == 0 ? "" : "\n\n---\n\n") + pages[i];
  EXPECT_EQ(joined, document_to_markdown(doc));
  EXPECT_TRUE(markdown_pages(Document{}).empty());
}

// ---------------------------------------------------------------- HTML

constexpr const char* kHtmlHead =
    "<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>folioscan</title></head>\n"
    "<body>\n";
constexpr const char* kHtmlTail = "</body>\n</html>\n";

TEST(HtmlWriter, DocumentWithoutPagesIsHeadThenTail) {
  EXPECT_EQ(document_to_html(Document{}), std::string(kHtmlHead) + kHtmlTail);
}

TEST(HtmlWriter, EmptyPageIsSectionSizedLikeThePage) {
  EXPECT_EQ(document_to_html(single_page_document(empty_page())),
            std::string(kHtmlHead) +
                "<section class=\"page\" style=\"width:612px;height:792px\">\n</section>\n" +
                kHtmlTail);
}

TEST(HtmlWriter, OcrAttributeFollowsTheStyleAttribute) {
  Page page = empty_page();
  page.needs_ocr = true;
  EXPECT_EQ(document_to_html(single_page_document(page)),
            std::string(kHtmlHead) +
                "<section class=\"page\" style=\"width:612px;height:792px\" "
                "data-needs-ocr=\"true\">\n</section>\n" +
                kHtmlTail);
}

TEST(HtmlWriter, LinesAndTablesInOrderWithEscapedText) {
  Page page = page_with_lines({"a<b & 'd'", "\"q\" >\x01\xC3\xA9"});
  page.tables.push_back({9, 9, {{"1", "<2>"}, {}, {"3", "4"}}, {}, {}});
  EXPECT_EQ(document_to_html(single_page_document(page)),
            std::string(kHtmlHead) +
                "<section class=\"page\" style=\"width:612px;height:792px\">\n"
                "<p>a&lt;b &amp; &#39;d&#39;</p>\n"
                "<p>&quot;q&quot; &gt;\x01\xC3\xA9</p>\n"
                "<table>\n"
                "<tr><td>1</td><td>&lt;2&gt;</td></tr>\n"
                "<tr></tr>\n"
                "<tr><td>3</td><td>4</td></tr>\n"
                "</table>\n"
                "</section>\n" +
                kHtmlTail);
}

struct DimensionCase {
  double value;
  const char* text;
};

void PrintTo(const DimensionCase& c, std::ostream* os) { *os << c.value << " -> " << c.text; }

class HtmlDimension : public ::testing::TestWithParam<DimensionCase> {};

TEST_P(HtmlDimension, RoundsToNearestWithHalvesToEven) {
  const std::string html = document_to_html(single_page_document(empty_page(GetParam().value, 1)));
  const std::string expected = std::string("style=\"width:") + GetParam().text + "px;height:1px\"";
  EXPECT_NE(html.find(expected), std::string::npos) << html;
}

INSTANTIATE_TEST_SUITE_P(
    Table, HtmlDimension,
    ::testing::Values(DimensionCase{612.0, "612"}, DimensionCase{595.276, "595"},
                      DimensionCase{841.89, "842"}, DimensionCase{0.4, "0"},
                      DimensionCase{612.5, "612"}, DimensionCase{613.5, "614"},
                      DimensionCase{0.5, "0"}, DimensionCase{1.5, "2"},
                      DimensionCase{2.4999999999999996, "2"}, DimensionCase{-0.0, "0"},
                      DimensionCase{1e20, "100000000000000000000"},
                      DimensionCase{std::numeric_limits<double>::infinity(), "0"},
                      DimensionCase{std::numeric_limits<double>::quiet_NaN(), "0"}));

}  // namespace
}  // namespace folioscan

// ---------------------------------------------------------------- recovered tables

namespace folioscan {
namespace {

// A recovered page: a paragraph, a 2 x 2 table (its first cell two wrapped lines, its second
// row one cell spanning both columns), another paragraph.
Page page_with_placed_table() {
  Page page = empty_page();
  page.lines = {{"Above", 72.0, 700.0}, {"Below", 72.0, 600.0}};
  Table table{2, 2, {{"a|b\nc", "d"}, {"wide", ""}}, std::array<double, 4>{72, 620, 300, 690},
              {CellSpan{1, 0, 1, 2}}};
  page.tables.push_back(std::move(table));
  Block table_block{BlockType::Table, "a|b c d\nwide", {72, 620, 300, 690}, std::nullopt, 0u, false};
  page.blocks = std::vector<Block>{{BlockType::Paragraph, "Above", {72, 698, 110, 708}, std::nullopt, std::nullopt, false},
                                   table_block,
                                   {BlockType::Paragraph, "Below", {72, 598, 110, 608}, std::nullopt, std::nullopt, false}};
  return page;
}

TEST(RecoveredTableWriters, MarkdownAndHtmlWriteTheTableWhereItsBlockStands) {
  const Document doc = single_page_document(page_with_placed_table());
  EXPECT_EQ(document_to_markdown(doc), "Above\n\n| a\\|b c | d |\n| --- | --- |\n| wide |  |\n\nBelow");
  const std::string html = document_to_html(doc);
  EXPECT_NE(html.find("<p>Above</p>\n<table>\n<tr><td>a|b c</td><td>d</td></tr>\n"
                      "<tr><td colspan=\"2\">wide</td></tr>\n</table>\n<p>Below</p>\n"),
            std::string::npos)
      << html;
  // A table no block places follows the blocks.
  Page unplaced = page_with_placed_table();
  unplaced.blocks->erase(unplaced.blocks->begin() + 1);
  EXPECT_EQ(document_to_markdown(single_page_document(unplaced)),
            "Above\n\nBelow\n\n| a\\|b c | d |\n| --- | --- |\n| wide |  |");
}

TEST(RecoveredTableWriters, JsonWritesBoxAndSpansOnlyWhenSet) {
  const std::string placed = document_to_json(single_page_document(page_with_placed_table()));
  EXPECT_NE(placed.find("          \"bbox\": [\n            72.0,\n            620.0,\n            300.0,\n"
                        "            690.0\n          ],\n          \"spans\": [\n            {\n"
                        "              \"row\": 1,\n              \"col\": 0,\n              \"rows\": 1,\n"
                        "              \"cols\": 2\n            }\n          ]\n        }"),
            std::string::npos)
      << placed;
  Page plain = page_with_placed_table();
  plain.blocks.reset();
  plain.tables[0].bbox.reset();
  plain.tables[0].spans.clear();
  const std::string json = document_to_json(single_page_document(plain));
  EXPECT_EQ(json.find("bbox"), std::string::npos);
  EXPECT_EQ(json.find("spans"), std::string::npos);
  // A strict table follows the lines and keeps its line feeds.
  EXPECT_EQ(document_to_markdown(single_page_document(plain)),
            "Above\nBelow\n\n| a\\|b\nc | d |\n| --- | --- |\n| wide |  |");
}

// A cell's wrapped lines read as one paragraph; a line that starts a list item starts
// another.
TEST(RecoveredTableWriters, CellLinesReadAsParagraphs) {
  const struct {
    const char* text;
    std::vector<std::string> paragraphs;
  } cases[] = {
      {"one line", {"one line"}},
      {"Prohibition on ownership of\nresidential property", {"Prohibition on ownership of residential property"}},
      {"agricul-\nture lands", {"agriculture lands"}},
      {"\xE2\x97\x8F To reduce\nand reuse\n\xE2\x97\x8F To recycle",
       {"\xE2\x97\x8F To reduce and reuse", "\xE2\x97\x8F To recycle"}},
      {"Steps:\n1. Collect\n2. Sort", {"Steps:", "1. Collect", "2. Sort"}},
  };
  for (const auto& c : cases) EXPECT_EQ(cell_paragraphs(c.text), c.paragraphs) << c.text;
  Page page = page_with_placed_table();
  page.tables[0].cells[0][0] = "- first\nitem\n- second";
  EXPECT_NE(document_to_markdown(single_page_document(page)).find("| - first item<br>- second | d |"),
            std::string::npos);
}

}  // namespace
}  // namespace folioscan
