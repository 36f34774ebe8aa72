#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pdf_builder.h"
#include "doc.h"
#include "repair.h"

namespace folioscan {
namespace {

using testing::bytes_of;
using testing::PdfBuilder;

std::string three_objects() {
  PdfBuilder b;
  b.add(1, "<</Type/Catalog /Pages 2 0 R>>");
  b.add(2, "<</Type/Pages /Kids [] /Count 0>>");
  b.add(3, "(three)");
  return b.build();
}

std::string replaced(std::string s, std::string_view from, std::string_view to) {
  return s.replace(s.find(from), from.size(), to);
}

struct DamageCase {
  const char* name;
  std::function<std::string(std::string)> damage;
};

class RebuildDamaged : public ::testing::TestWithParam<DamageCase> {};

TEST_P(RebuildDamaged, FindsEveryObjectAtItsHeaderAndTheTrailer) {
  const std::string file = GetParam().damage(three_objects());
  auto rebuilt = rebuild_xref(bytes_of(file));
  ASSERT_TRUE(rebuilt) << rebuilt.error().display();
  ASSERT_EQ(rebuilt->table.size(), 3u);
  for (std::uint32_t n = 1; n <= 3; ++n) {
    EXPECT_EQ(rebuilt->table.at(n).offset, file.find(std::to_string(n) + " 0 obj")) << n;
  }
  EXPECT_EQ(*rebuilt->trailer.lookup("Root"), Object(ObjRef{1, 0}));
  Resolver resolver(bytes_of(file), rebuilt->table, rebuilt->trailer);
  auto three = resolver.get(3);
  ASSERT_TRUE(three) << three.error().display();
  EXPECT_EQ(three->as_string()->bytes, Bytes({'t', 'h', 'r', 'e', 'e'}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RebuildDamaged,
    ::testing::Values(
        DamageCase{"StartxrefPointsNowhere", [](std::string f) { return f.substr(0, f.rfind("startxref")) + "startxref\n99999\n%%EOF"; }},
        DamageCase{"OffsetsShifted", [](std::string f) { return replaced(f, "%PDF-1.4\n", "%PDF-1.4\n%shift\n"); }},
        DamageCase{"NoXrefTable", [](std::string f) { return f.erase(f.find("xref\n"), f.find("trailer") - f.find("xref\n")); }},
        DamageCase{"GarbageBeforeHeader", [](std::string f) { return std::string(3000, '#') + f; }},
        DamageCase{"CatalogFallbackWithoutTrailer", [](std::string f) { return f.substr(0, f.find("xref\n")); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Rebuild, LastDefinitionWinsWhateverItsGenerationAndStreamDataIsSkippedWhenConfirmed) {
  std::string file = three_objects();
  // A confirmed /Length hides the header in the data; a wrong one does not.
  file += "4 0 obj <</Length 23>> stream\n6 0 obj (hidden) endobj\nendstream endobj\n";
  file += "5 0 obj <</Length 3>> stream\n3 0 obj (in data) endobj\nendstream endobj\n";
  file += "3 7 obj (new) endobj9 0 obj (x 8 0 obj) endobj\n";  // no line end before 9
  auto rebuilt = rebuild_xref(bytes_of(file));
  ASSERT_TRUE(rebuilt) << rebuilt.error().display();
  EXPECT_FALSE(rebuilt->table.contains(6));
  EXPECT_EQ(rebuilt->table.at(5).offset, file.find("5 0 obj"));
  EXPECT_EQ(rebuilt->table.at(3).offset, file.find("3 7 obj"));
  EXPECT_EQ(rebuilt->table.at(3).generation, 7);
  EXPECT_EQ(rebuilt->table.at(9).offset, file.find("9 0 obj"));
  EXPECT_TRUE(rebuilt->table.contains(8));  // a header inside a string is taken as one
  EXPECT_NE(rebuilt->trailer.lookup("Size"), nullptr);  // the trailer keyword's dictionary
}

TEST(Rebuild, TrailerComesFromAnXrefStreamOrTheCatalogWhenNoTrailerHasRoot) {
  const std::string body = "%PDF-1.5\n1 0 obj <</Type/Catalog>> endobj\n";
  const std::string xref_stream =
      "5 0 obj <</Type/XRef /Root 1 0 R /ID [(a)] /W [1 2 1] /Size 6 /Length 0>> stream\n\nendstream endobj\n";
  auto from_stream = rebuild_xref(bytes_of(body + xref_stream + "trailer <</Size 6>>"));
  ASSERT_TRUE(from_stream) << from_stream.error().display();
  EXPECT_EQ(from_stream->trailer.size(), 2u);  // /Root and /ID only
  EXPECT_NE(from_stream->trailer.lookup("ID"), nullptr);

  auto from_catalog = rebuild_xref(bytes_of(body + "trailer <</Size 2 /Encrypt 4 0 R>>"));
  ASSERT_TRUE(from_catalog) << from_catalog.error().display();
  EXPECT_EQ(*from_catalog->trailer.lookup("Root"), Object(ObjRef{1, 0}));
  EXPECT_EQ(*from_catalog->trailer.lookup("Encrypt"), Object(ObjRef{4, 0}));

  // A later redefinition that is no catalog leaves nothing to point /Root at.
  auto none = rebuild_xref(bytes_of(body + "1 0 obj 5 endobj trailer <</Size 2>>"));
  EXPECT_EQ(none.error().display(), "InvalidXref: no trailer found");
}

TEST(Rebuild, ObjectStreamEntriesYieldToInFileObjectsAndLaterStreams) {
  PdfBuilder b;
  b.add(1, "<</Type/Catalog>>");
  b.add(3, "(in file)");
  b.add_stream(5, "/Type/ObjStm /N 3 /First 13", "2 0 3 6 5 11 (two) (xx) (me)");
  b.add_stream(6, "/Type/ObjStm /N 1 /First 4", "7 0 (seven)");
  b.add_stream(8, "/Type/ObjStm /N 1 /First 4", "7 0 (later)");
  const std::string file = b.build();
  auto rebuilt = rebuild_xref(bytes_of(file));
  ASSERT_TRUE(rebuilt) << rebuilt.error().display();
  EXPECT_EQ(rebuilt->object_streams, (std::vector<std::uint32_t>{5, 6, 8}));
  Resolver resolver(bytes_of(file), rebuilt->table, rebuilt->trailer);
  resolver.adopt_object_streams(rebuilt->object_streams);
  EXPECT_TRUE(resolver.take_repairs().empty());
  const auto text = [&](std::uint32_t n) {
    auto obj = resolver.get(n);
    if (!obj || obj->as_string() == nullptr) return std::string("(not a string)");
    return std::string(obj->as_string()->bytes.begin(), obj->as_string()->bytes.end());
  };
  EXPECT_EQ(text(2), "two");
  EXPECT_EQ(text(3), "in file");
  EXPECT_EQ(text(7), "later");
  EXPECT_EQ(resolver.xref().at(5).kind, XrefKind::InFile);
}

TEST(Rebuild, ObjectStreamsNeverEndUpInsideThemselves) {
  XrefTable table;
  table[6] = XrefEntry{XrefKind::Compressed, 0, 7, 0};  // stream 6 is held by stream 7
  ObjectStream parsed;
  parsed.numbers = {6, 7, 8};
  parsed.offsets = {0, 0, 0};
  add_object_stream_entries(table, 6, parsed);
  EXPECT_EQ(table.at(6).stream, 7u);
  EXPECT_FALSE(table.contains(7));
  EXPECT_EQ(table.at(8).stream, 6u);
  EXPECT_EQ(table.at(8).offset, 2u);
}

// A catalog, object 7 reading "outer", then stream 5 whose data hold other definitions
// of 7, with /Length `length`; `after` follows the stream, then the trailer.
std::string seven_behind_a_stream(const std::string& length, const std::string& data, const std::string& after,
                                  bool endstream = true) {
  return "%PDF-1.4\n1 0 obj\n<</Type/Catalog /Pages 2 0 R>>\nendobj\n7 0 obj\n(outer)\nendobj\n"
         "5 0 obj\n<</Length " + length + ">>\nstream\n" + data + (endstream ? "\nendstream\nendobj\n" : "\n") +
         after + "trailer\n<</Root 1 0 R>>\n";
}

TEST(Rebuild, StreamDataAreSkippedByTheirLengthElseToTheFirstEndstream) {
  // The second definition lies after an "endstream" inside the data: only the length
  // passes over it.
  const std::string nested = "7 0 obj (inner) endobj endstream 7 0 obj (nested) endobj";
  const std::string plain = "7 0 obj (inner) endobj";
  const std::string n = std::to_string(nested.size());
  struct Case {
    const char* name;
    std::string file;
    const char* seven;
  };
  const Case cases[] = {
      {"direct length", seven_behind_a_stream(n, nested, ""), "outer"},
      {"length in an object after the stream", seven_behind_a_stream("6 0 R", nested, "6 0 obj " + n + " endobj\n"),
       "outer"},
      {"length in an object before the stream",
       "%PDF-1.4\n6 0 obj " + n + " endobj\n" + seven_behind_a_stream("6 0 R", nested, "").substr(9), "outer"},
      {"length object that is wrong", seven_behind_a_stream("6 0 R", nested, "6 0 obj 3 endobj\n"), "nested"},
      {"length object that is not an integer", seven_behind_a_stream("6 0 R", plain, "6 0 obj (x) endobj\n"), "outer"},
      {"length naming no object", seven_behind_a_stream("99 0 R", plain, ""), "outer"},
      {"wrong direct length", seven_behind_a_stream("3", plain, ""), "outer"},
      {"no endstream anywhere after", seven_behind_a_stream("99 0 R", plain, "", false), "inner"},
      // Its "endstream" lost: the next one ends another stream, which is not skipped to.
      {"endstream lost before another stream",
       seven_behind_a_stream("3", plain, "7 0 obj (after) endobj 8 0 obj <</Length 2>> stream\nxx\nendstream endobj\n",
                             false),
       "after"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto rebuilt = rebuild_xref(bytes_of(c.file));
    ASSERT_TRUE(rebuilt) << rebuilt.error().display();
    Resolver resolver(bytes_of(c.file), rebuilt->table, rebuilt->trailer);
    auto seven = resolver.get(7);
    ASSERT_TRUE(seven) << seven.error().display();
    ASSERT_NE(seven->as_string(), nullptr);
    EXPECT_EQ(std::string(seven->as_string()->bytes.begin(), seven->as_string()->bytes.end()), c.seven);
  }
}

TEST(Rebuild, ObjectStreamsAreDecodedOnlyWhenAnObjectTheFileLacksIsAskedFor) {
  PdfBuilder b;
  b.add(1, "<</Type/Catalog>>");
  b.add(3, "(in file)");
  b.add_stream(5, "/Type/ObjStm /N 1 /First 4 /Filter /FlateDecode", "not deflate data");
  b.add_stream(6, "/Type/ObjStm /N 1 /First 4", "7 0 (seven)");
  const std::string file = b.build();
  auto rebuilt = rebuild_xref(bytes_of(file));
  ASSERT_TRUE(rebuilt) << rebuilt.error().display();
  Resolver resolver(bytes_of(file), rebuilt->table, rebuilt->trailer);
  resolver.enable_recovery();
  resolver.adopt_object_streams(rebuilt->object_streams);
  ASSERT_TRUE(resolver.get(3));
  EXPECT_FALSE(resolver.xref().contains(7));
  // 7 is in the last stream: the broken one before it is not reached.
  ASSERT_TRUE(resolver.get(7));
  EXPECT_TRUE(resolver.take_repairs().empty());
  // A number no stream holds reads them all, the broken one noted; once.
  EXPECT_EQ(resolver.get(8).error().display(), "ObjectNotFound: no such object");
  EXPECT_FALSE(resolver.take_repairs().empty());
  EXPECT_EQ(resolver.get(9).error().display(), "ObjectNotFound: no such object");
  EXPECT_TRUE(resolver.take_repairs().empty());
}

TEST(Rebuild, HostileInputsEndWithTheirErrors) {
  // Each header and keyword is looked at once and each dictionary parse stays before
  // the next mark, so these finish in linear time; without the windows every one of
  // the unterminated strings would be read to the end of the file.
  const auto repeat = [](std::string_view unit) {
    std::string s;
    while (s.size() < (2u << 20)) s += unit;
    return s;
  };
  const std::pair<std::string, const char*> cases[] = {
      {repeat("1 0 obj "), "no trailer found"},
      {std::string(2u << 20, '7'), "no objects found"},
      {repeat("1 0 obj <</A ("), "no trailer found"},
      {repeat("trailer <<("), "no objects found"},
      {"", "no objects found"},
  };
  for (const auto& [file, message] : cases) {
    auto rebuilt = rebuild_xref(bytes_of(file));
    ASSERT_FALSE(rebuilt);
    EXPECT_EQ(rebuilt.error().message, message);
  }
}

TEST(FindHeaderAnywhere, FindsTheFirstMarkerAnywhere) {
  const std::string far = std::string(5000, 'x') + "%PDF-2.0\n%PDF-1.1";
  const std::pair<std::string, std::optional<Header>> cases[] = {
      {"junk%PDF-1.7\r\n", Header{4, "1.7"}}, {far, Header{5000, "2.0"}}, {"no marker", std::nullopt},
      {"", std::nullopt}, {"%PDF-\n", Header{0, ""}}};
  for (const auto& [file, expected] : cases) {
    const std::optional<Header> h = find_header_anywhere(bytes_of(file));
    ASSERT_EQ(h.has_value(), expected.has_value()) << file;
    if (!h) continue;
    EXPECT_EQ(h->offset, expected->offset);
    EXPECT_EQ(h->version, expected->version);
  }
}

TEST(ShouldRebuildAfter, OnlyTheCausesOfMissingTheHeaderWhateverTheMessage) {
  constexpr auto kObj = ParseErrorKind::InvalidObject;
  const std::pair<ParseError, bool> cases[] = {
      {{"any text", kObj, ParseErrorCause::NoObjectHeader}, true},
      {{"any text", kObj, ParseErrorCause::ObjectNumberMismatch}, true},
      {{"xref stream truncated", ParseErrorKind::InvalidXref}, true},
      {{"missing obj keyword", kObj, ParseErrorCause::Other}, false},
      {{"object number mismatch", kObj}, false},
      {{"circular object reference", kObj, ParseErrorCause::CircularReference}, false},
      {{"input ended mid-object", ParseErrorKind::UnexpectedEof}, false},
      {{"no such object", ParseErrorKind::ObjectNotFound}, false},
  };
  for (const auto& [error, expected] : cases) EXPECT_EQ(should_rebuild_after(error), expected) << error.message;
}

}  // namespace
}  // namespace folioscan
