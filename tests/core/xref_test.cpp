#include <gtest/gtest.h>

#include "lex.h"
#include "pdf_builder.h"
#include "xref.h"

namespace folioscan {
namespace {

using testing::bytes_of;

Result<XrefSection> classic(const std::string& text) {
  Lexer lexer(bytes_of(text));
  lexer.skip_whitespace();
  EXPECT_TRUE(lexer.match_keyword("xref"));
  return read_classic_section(lexer);
}

TEST(XrefClassic, ReadsSeveralSubsections) {
  const std::string text =
      "xref\n0 3\n0000000000 65535 f \n0000000015 00000 n \n0000000099 00002 n \n"
      "5 1\n0000000200 00000 n \ntrailer\n<</Size 6>>";
  auto section = classic(text);
  ASSERT_TRUE(section) << section.error().display();
  ASSERT_EQ(section->table.size(), 4u);
  EXPECT_EQ(section->table.at(0).kind, XrefKind::Free);
  EXPECT_EQ(section->table.at(1).offset, 15u);
  EXPECT_EQ(section->table.at(2).generation, 2u);
  EXPECT_EQ(section->table.at(5).offset, 200u);
  EXPECT_TRUE(section->trailer.lookup("Size"));
}

TEST(XrefClassic, EntriesNeedNotBeTwentyBytes) {
  auto section = classic("xref 1 2 0000000009 00000 n 0000000074 00000 n trailer <<>>");
  ASSERT_TRUE(section);
  EXPECT_EQ(section->table.at(2).offset, 74u);
}

TEST(XrefClassic, FirstEntryForANumberWinsWithinASection) {
  auto section = classic("xref 3 1 0000000010 00000 n 3 1 0000000020 00000 n trailer <<>>");
  ASSERT_TRUE(section);
  EXPECT_EQ(section->table.at(3).offset, 10u);
}

TEST(XrefClassic, ErrorsCarryTheirMessages) {
  struct Case {
    const char* text;
    const char* display;
  } cases[] = {
      {"xref 0 1 0000000000 65535 x trailer <<>>", "InvalidXref: bad xref entry type"},
      {"xref 0 1 0000000000 65535 nn trailer <<>>", "InvalidXref: bad xref entry type"},
      {"xref 0 1 0000000000 65535 n", "InvalidXref: expected integer"},
      {"xref 0 2 0000000000 65535 n", "InvalidXref: expected integer"},
      {"xref 0 -1", "InvalidXref: bad integer"},
      {"xref 0 1 0 0 n trailer [1 2]", "InvalidXref: trailer is not a dictionary"},
      {"xref 0 0 trailer <</A", "UnexpectedEof: input ended mid-object"},
  };
  for (const auto& c : cases) {
    auto section = classic(c.text);
    ASSERT_FALSE(section) << c.text;
    EXPECT_EQ(section.error().display(), c.display) << c.text;
  }
}

// A file whose newest section (at the end) marks object 4 free while the older one
// has it in use, chained through /Prev.
TEST(XrefChain, NewerSectionsWinIncludingFreeEntries) {
  std::string file = "%PDF-1.4\n";
  const std::size_t old_at = file.size();
  file += "xref\n0 5\n0000000000 65535 f \n0000000001 00000 n \n0000000002 00000 n \n"
          "0000000003 00000 n \n0000000004 00000 n \ntrailer\n<</Root 1 0 R /Size 5>>\n";
  const std::size_t new_at = file.size();
  file += "xref\n3 2\n0000000033 00000 n \n0000000000 00000 f \ntrailer\n<</Size 5 /Prev " +
          std::to_string(old_at) + ">>\n";
  auto chain = load_xref_chain(bytes_of(file), new_at);
  ASSERT_TRUE(chain) << chain.error().display();
  EXPECT_EQ(chain->table.at(3).offset, 33u);
  EXPECT_EQ(chain->table.at(4).kind, XrefKind::Free);
  EXPECT_EQ(chain->table.at(1).offset, 1u);
  // The newest trailer is chosen as a whole, without /Root from the older one.
  EXPECT_EQ(chain->trailer.lookup("Root"), nullptr);
}

TEST(XrefChain, PrevLoopsAndUnusablePrevEndTheChainQuietly) {
  for (const std::string prev : {"0", "-1", "12.0", "(x)"}) {
    std::string file = "xref\n0 1\n0000000000 65535 f \ntrailer\n<</Prev " + prev + ">>\n";
    auto chain = load_xref_chain(bytes_of(file), 0);
    ASSERT_TRUE(chain) << prev;
    EXPECT_EQ(chain->table.size(), 1u);
  }
}

TEST(XrefChain, OffsetAtNeitherTableNorStreamFailsWithObjectHeaderError) {
  const std::string file = "%PDF-1.4\nhello world";
  auto chain = load_xref_chain(bytes_of(file), 9);
  ASSERT_FALSE(chain);
  EXPECT_EQ(chain.error().display(), "InvalidObject: bad integer");
  auto past_end = load_xref_chain(bytes_of(file), 1000000);
  ASSERT_FALSE(past_end);
  EXPECT_EQ(past_end.error().display(), "InvalidObject: expected integer");
}

std::string xref_stream_object(const std::string& keys, const std::string& data) {
  return "7 0 obj\n<<" + keys + " /Length " + std::to_string(data.size()) + ">>\nstream\n" + data +
         "\nendstream\nendobj\n";
}

TEST(XrefStream, DecodesTypedRecords) {
  // /W [1 2 1]: free 0; in file at 0x0102 gen 3; compressed in stream 5 index 2; type 3 skipped.
  const std::string data("\x00\x00\x00\x00\x01\x01\x02\x03\x02\x00\x05\x02\x03\x00\x00\x00", 16);
  const std::string file = xref_stream_object("/Type/XRef /W [1 2 1] /Size 4", data);
  auto section = read_xref_stream(bytes_of(file), 0);
  ASSERT_TRUE(section) << section.error().display();
  ASSERT_EQ(section->table.size(), 3u);
  EXPECT_EQ(section->table.at(0).kind, XrefKind::Free);
  EXPECT_EQ(section->table.at(1).kind, XrefKind::InFile);
  EXPECT_EQ(section->table.at(1).offset, 0x0102u);
  EXPECT_EQ(section->table.at(1).generation, 3u);
  EXPECT_EQ(section->table.at(2).kind, XrefKind::Compressed);
  EXPECT_EQ(section->table.at(2).stream, 5u);
  EXPECT_EQ(section->table.at(2).offset, 2u);
  EXPECT_TRUE(section->trailer.lookup("Type"));
}

TEST(XrefStream, ZeroWidthTypeFieldMeansInFile) {
  const std::string file = xref_stream_object("/W [0 2 0] /Size 2", std::string("\x00\x10\x00\x20", 4));
  auto section = read_xref_stream(bytes_of(file), 0);
  ASSERT_TRUE(section);
  EXPECT_EQ(section->table.at(1).kind, XrefKind::InFile);
  EXPECT_EQ(section->table.at(1).offset, 0x20u);
}

TEST(XrefStream, IndexPairsChooseObjectNumbers) {
  std::string data;
  for (int i = 0; i < 5; ++i) data += std::string("\x01\x00", 2) + static_cast<char>(i + 1);
  const std::string file = xref_stream_object("/W [1 2 0] /Index [0 2 10 3]", data);
  auto section = read_xref_stream(bytes_of(file), 0);
  ASSERT_TRUE(section);
  std::vector<std::uint32_t> nums;
  for (const auto& [n, e] : section->table) nums.push_back(n);
  EXPECT_EQ(nums, (std::vector<std::uint32_t>{0, 1, 10, 11, 12}));
  EXPECT_EQ(section->table.at(12).offset, 5u);
}

TEST(XrefStream, ErrorsCarryTheirMessages) {
  const std::string three(12, '\x01');
  struct Case {
    std::string keys;
    std::string data;
    const char* display;
  } cases[] = {
      {"/Size 3", three, "InvalidXref: xref /W missing"},
      {"/W 5 /Size 3", three, "InvalidXref: xref /W missing"},
      {"/W [1 2] /Size 3", three, "InvalidXref: xref /W must have three widths"},
      {"/W [1 2 1 0] /Size 3", three, "InvalidXref: xref /W must have three widths"},
      {"/W [0 0 0] /Size 3", three, "InvalidXref: xref stream zero-width records"},
      {"/W [1 2 1]", three, "InvalidXref: xref /Size missing"},
      {"/W [1 2 1] /Size 2.0", three, "InvalidXref: xref /Size missing"},
      {"/W [1 2 1] /Size -1", three, "InvalidXref: bad /Size"},
      {"/W [1 2 1] /Size 3", three.substr(1), "InvalidXref: xref stream truncated"},
      {"/W [1 99999999999 1] /Size 3", three, "InvalidXref: xref stream truncated"},
      {"/W [1 2 1] /Size 3 /Filter /Bogus", three, "InvalidXref: xref decode"},
      {"/W [1 0 0] /Index [0 4294967295 0 4294967295]", three, "InvalidXref: xref stream truncated"},
      // Enough one-byte records for them all, but more than any file may have.
      {"/W [1 0 0] /Size 8388609", std::string(8388609, '\x00'), "InvalidXref: too many xref entries"},
  };
  for (const auto& c : cases) {
    const std::string file = xref_stream_object(c.keys, c.data);
    auto section = read_xref_stream(bytes_of(file), 0);
    ASSERT_FALSE(section) << c.keys;
    EXPECT_EQ(section.error().display(), c.display) << c.keys;
  }
  const std::string not_stream = "7 0 obj\n<</W [1 2 1]>>\nendobj\n";
  auto section = read_xref_stream(bytes_of(not_stream), 0);
  ASSERT_FALSE(section);
  EXPECT_EQ(section.error().display(), "InvalidXref: xref stream is not a stream");
}

TEST(XrefStream, WidthListSkipsNonIntegers) {
  const std::string file = xref_stream_object("/W [1 /X 2 1] /Size 1", std::string("\x01\x00\x09\x00", 4));
  auto section = read_xref_stream(bytes_of(file), 0);
  ASSERT_TRUE(section);
  EXPECT_EQ(section->table.at(0).offset, 9u);
}

TEST(XrefChain, DamagedHybridStreamIsIgnored) {
  std::string file = "%PDF-1.4\n";
  const std::size_t xref_at = file.size();
  file += "xref\n0 1\n0000000000 65535 f \ntrailer\n<</Root 1 0 R /XRefStm 3>>\n";
  auto chain = load_xref_chain(bytes_of(file), xref_at);
  ASSERT_TRUE(chain) << chain.error().display();
  EXPECT_EQ(chain->table.size(), 1u);
}

}  // namespace
}  // namespace folioscan
