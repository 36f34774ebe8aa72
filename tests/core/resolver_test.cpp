#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "doc.h"
#include "input_limits.h"
#include "lex.h"
#include "pages.h"
#include "pdf_builder.h"
#include "resolver.h"

namespace folioscan {
namespace {

using testing::bytes_of;
using testing::PdfBuilder;

Resolver resolver_for(const std::string& file) {
  Lexer lexer(bytes_of(file));
  auto chain = load_xref_chain(bytes_of(file), file.rfind("\nxref") + 1);
  EXPECT_TRUE(chain) << chain.error().display();
  return Resolver(bytes_of(file), std::move(chain->table), std::move(chain->trailer));
}

TEST(Resolver, MissingAndFreeObjectsAreNotFound) {
  PdfBuilder b;
  b.add(1, "<</Type/Catalog>>");
  b.add(3, "42");
  const std::string file = b.build();  // object 2 is written as a free entry
  Resolver r = resolver_for(file);
  for (std::uint32_t n : {2u, 9u}) {
    auto obj = r.get(n);
    ASSERT_FALSE(obj);
    EXPECT_EQ(obj.error().display(), "ObjectNotFound: no such object");
  }
  auto ok = r.get(3);
  ASSERT_TRUE(ok);
  EXPECT_EQ(*ok->as_integer(), 42);
}

TEST(Resolver, HeaderNumberMustMatchButGenerationIsIgnored) {
  std::string file = "%PDF-1.4\n7 0 obj 1 endobj\n8 3 obj 2 endobj\n";
  XrefTable table;
  table[8] = XrefEntry{XrefKind::InFile, 0, 0, 9};  // points at object 7
  table[9] = XrefEntry{XrefKind::InFile, 0, 0, file.find("8 3 obj")};
  table[10] = XrefEntry{XrefKind::InFile, 0, 0, 100000};
  Resolver r(bytes_of(file), table, {});
  EXPECT_EQ(r.get(8).error().display(), "InvalidObject: object number mismatch");
  EXPECT_EQ(r.get(10).error().display(), "InvalidObject: expected integer");
  table[8].offset = file.find("8 3 obj");
  Resolver r2(bytes_of(file), table, {});
  EXPECT_EQ(*r2.get(8)->as_integer(), 2);
}

TEST(Resolver, IndirectLengthIsFollowedAndMissingLengthFallsBackToSearch) {
  PdfBuilder b;
  b.add(1, "<</Length 2 0 R>>\nstream\nhello\nendstream");
  b.add(2, "5");
  b.add(3, "<</Length 9 0 R>>\nstream\nworld\nendstream");
  const std::string file = b.build();
  Resolver r = resolver_for(file);
  auto one = r.get(1);
  ASSERT_TRUE(one) << one.error().display();
  EXPECT_EQ(one->as_stream()->data, Bytes({'h', 'e', 'l', 'l', 'o'}));
  auto three = r.get(3);
  ASSERT_TRUE(three);
  EXPECT_EQ(three->as_stream()->data, Bytes({'w', 'o', 'r', 'l', 'd'}));
}

TEST(Resolver, StreamsThatEachRunToTheEndOfTheFileAreBounded) {
  // Without "endstream" every stream runs to the end of the file, so N of them would
  // copy it N times: loads fail once the copies pass four times the file size.
  PdfBuilder b;
  for (std::uint32_t n = 1; n <= 40; ++n) b.add(n, "<<>>\nstream\nq Q " + std::string(100, 'x'));
  b.add(41, "<</Length 3>>\nstream\nabc\nendstream");
  const std::string file = b.build();
  Resolver r = resolver_for(file);
  // Object 41 alone is sound; the first of the runaway streams copy most of the file.
  ASSERT_TRUE(r.get(41));
  std::uint32_t loaded = 0;
  std::optional<ParseError> error;
  for (std::uint32_t n = 1; n <= 40 && !error; ++n) {
    auto obj = r.get(n);
    if (obj) {
      ++loaded;
    } else {
      error = obj.error();
    }
  }
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->display(), "InvalidObject: stream data exceeds the file");
  EXPECT_GE(loaded, 4u);
}

TEST(Resolver, AFailedLoadFailsAgainWithTheSameErrorButACycleIsNotRemembered) {
  PdfBuilder b;
  b.add(1, "[1 2");                                        // unterminated
  b.add(2, "<</Length 3 0 R>>\nstream\nabc\nendstream");  // its length...
  b.add(3, "<</Length 2 0 R>>\nstream\nxyz\nendstream");  // ...and this one's: a cycle
  const std::string file = b.build();
  Resolver r = resolver_for(file);
  const auto first = r.get(1);
  ASSERT_FALSE(first);
  const auto second = r.get(1);
  ASSERT_FALSE(second);
  EXPECT_EQ(second.error().display(), first.error().display());
  // Loading 2 meets 3, whose /Length 2 is circular at that moment: 3 is still found by
  // search, and later requests for either see loaded streams, not a remembered cycle.
  ASSERT_TRUE(r.get(2));
  ASSERT_TRUE(r.get(3));
  EXPECT_EQ(r.get(3)->as_stream()->data, Bytes({'x', 'y', 'z'}));
}

TEST(Resolver, StreamWhoseLengthIsItselfReadsBySearch) {
  PdfBuilder b;
  b.add(1, "<</Length 1 0 R>>\nstream\nabc\nendstream");
  const std::string file = b.build();
  Resolver r = resolver_for(file);
  auto one = r.get(1);
  ASSERT_TRUE(one) << one.error().display();
  EXPECT_EQ(one->as_stream()->data, Bytes({'a', 'b', 'c'}));
}

TEST(Resolver, ObjectStreamsResolveByIndex) {
  const std::string objstm = "10 0 11 4 (ab) 42";
  PdfBuilder b;
  b.add_stream(5, "/Type/ObjStm /N 2 /First 10", objstm);
  b.add(6, "<</N 1 /First 0>>");
  const std::string file = b.build();
  Lexer unused(bytes_of(file));
  auto chain = load_xref_chain(bytes_of(file), file.rfind("\nxref") + 1);
  ASSERT_TRUE(chain);
  chain->table[10] = XrefEntry{XrefKind::Compressed, 0, 5, 0};
  chain->table[11] = XrefEntry{XrefKind::Compressed, 0, 5, 1};
  chain->table[12] = XrefEntry{XrefKind::Compressed, 0, 5, 2};
  chain->table[13] = XrefEntry{XrefKind::Compressed, 0, 6, 0};
  chain->table[14] = XrefEntry{XrefKind::Compressed, 0, 14, 0};  // stored inside itself
  Resolver r(bytes_of(file), chain->table, chain->trailer);
  auto ten = r.get(10);
  ASSERT_TRUE(ten) << ten.error().display();
  EXPECT_EQ(ten->as_string()->bytes, Bytes({'a', 'b'}));
  EXPECT_EQ(*r.get(11)->as_integer(), 42);
  EXPECT_EQ(r.get(12).error().display(), "InvalidObject: objstm index out of range");
  EXPECT_EQ(r.get(13).error().display(), "InvalidObject: ObjStm is not a stream");
  auto self = r.get(14);
  ASSERT_FALSE(self);
  EXPECT_EQ(self.error().kind, ParseErrorKind::InvalidObject);
}

TEST(Resolver, GetDictionaryFollowsOneLevel) {
  PdfBuilder b;
  b.add(1, "<</A 1>>");
  b.add(2, "<</Length 0>>\nstream\n\nendstream");
  b.add(3, "1 0 R");
  b.add(4, "[1]");
  const std::string file = b.build();
  Resolver r = resolver_for(file);
  EXPECT_TRUE(r.get_dictionary(Object{ObjRef{1, 0}}));
  EXPECT_TRUE(r.get_dictionary(Object{ObjRef{2, 0}}));
  EXPECT_EQ(r.get_dictionary(Object{ObjRef{3, 0}}).error().display(), "InvalidObject: expected dictionary");
  EXPECT_EQ(r.get_dictionary(Object{ObjRef{4, 0}}).error().display(), "InvalidObject: expected dictionary");
  EXPECT_EQ(r.get_dictionary(Object{std::int64_t{5}}).error().display(), "InvalidObject: expected dictionary");
}

// Objects whose /Length points to the next object, 10,000 deep, must not exhaust the
// stack: past a nesting bound the length counts as absent.
TEST(Resolver, LongLengthChainsStayBounded) {
  PdfBuilder b;
  for (std::uint32_t n = 1; n <= 10000; ++n) {
    b.add(n, "<</Length " + std::to_string(n + 1) + " 0 R>>\nstream\nx\nendstream");
  }
  const std::string file = b.build();
  Resolver r = resolver_for(file);
  auto one = r.get(1);
  ASSERT_TRUE(one) << one.error().display();
  EXPECT_EQ(one->as_stream()->data, Bytes({'x'}));
}

// Each cause a load error carries triggers its decision, whatever the message says.
// Rebuilding: an entry whose offset holds no header of its object makes recovery
// rebuild the table, and the repair it notes carries the strict error's cause.
TEST(RepairCauses, AnEntryThatMissesItsHeaderRebuildsTheTableInRecovery) {
  PdfBuilder b;
  b.add(1, "<</Type/Catalog>>");
  b.add(2, "42");
  b.add(3, "[5 0 R]");
  const std::string file = b.build();
  struct Case {
    std::size_t offset;
    ParseErrorCause cause;
  };
  const Case cases[] = {
      {file.find("<</Type"), ParseErrorCause::NoObjectHeader},     // no number
      {file.find("endobj"), ParseErrorCause::NoObjectHeader},      // not a number
      {file.find("5 0 R"), ParseErrorCause::NoObjectHeader},       // no "obj"
      {file.find("1 0 obj"), ParseErrorCause::ObjectNumberMismatch},  // another object
  };
  for (const Case& c : cases) {
    auto chain = load_xref_chain(bytes_of(file), file.rfind("\nxref") + 1);
    ASSERT_TRUE(chain);
    chain->table[2].offset = c.offset;
    Resolver strict(bytes_of(file), chain->table, chain->trailer);
    const auto failed = strict.get(2);
    ASSERT_FALSE(failed) << c.offset;
    EXPECT_EQ(failed.error().cause, c.cause) << c.offset;
    Resolver recovering(bytes_of(file), chain->table, chain->trailer);
    recovering.enable_recovery();
    const auto found = recovering.get(2);
    ASSERT_TRUE(found) << c.offset;
    EXPECT_EQ(*found->as_integer(), 42);
    const std::vector<ParseError> repairs = recovering.take_repairs();
    ASSERT_EQ(repairs.size(), 1u) << c.offset;
    EXPECT_EQ(repairs[0].cause, c.cause) << c.offset;
  }
}

// Remembering: a load that fails only because of the loads under way (a cycle, or
// nesting past the bound) is not remembered, so the object loads in another context.
TEST(RepairCauses, FailuresOfTheLoadsUnderWayAreNotRemembered) {
  // Object 10 lies in object stream 5, whose /Length is 10: loading 5 first meets 10,
  // whose stream is then being loaded.
  PdfBuilder cycle;
  cycle.add(5, "<</Type/ObjStm /N 1 /First 4 /Length 10 0 R>>\nstream\n10 0 42\nendstream");
  // Object 100 lies in object stream 200 and is the /Length of the last of a chain of
  // streams, reached as the deepest load allowed: its stream is one load too deep.
  PdfBuilder deep;
  const auto last = static_cast<std::uint32_t>(limits::kMaxLoadNesting - 1);
  for (std::uint32_t n = 1; n <= last; ++n) {
    const std::uint32_t length = n == last ? 100 : n + 1;
    deep.add(n, "<</Length " + std::to_string(length) + " 0 R>>\nstream\nx\nendstream");
  }
  deep.add_stream(200, "/Type/ObjStm /N 1 /First 6", "100 0 42");
  struct Case {
    PdfBuilder* builder;
    std::uint32_t outer;   // loaded first: the failure happens inside it
    std::uint32_t stored;  // the compressed object
    std::uint32_t stream;
  };
  for (const Case& c : {Case{&cycle, 5, 10, 5}, Case{&deep, 1, 100, 200}}) {
    const std::string file = c.builder->build();
    auto chain = load_xref_chain(bytes_of(file), file.rfind("\nxref") + 1);
    ASSERT_TRUE(chain);
    chain->table[c.stored] = XrefEntry{XrefKind::Compressed, 0, c.stream, 0};
    Resolver r(bytes_of(file), chain->table, chain->trailer);
    ASSERT_TRUE(r.get(c.outer)) << c.outer;
    const auto stored = r.get(c.stored);
    ASSERT_TRUE(stored) << c.stored << ": " << stored.error().display();
    EXPECT_EQ(*stored->as_integer(), 42);
  }
  // The causes themselves, seen directly: a stream stored inside itself.
  PdfBuilder self;
  self.add(1, "<</Type/Catalog>>");
  const std::string file = self.build();
  auto chain = load_xref_chain(bytes_of(file), file.rfind("\nxref") + 1);
  ASSERT_TRUE(chain);
  chain->table[14] = XrefEntry{XrefKind::Compressed, 0, 14, 0};
  Resolver r(bytes_of(file), chain->table, chain->trailer);
  EXPECT_EQ(r.get(14).error().cause, ParseErrorCause::CircularReference);
}

}  // namespace
}  // namespace folioscan
