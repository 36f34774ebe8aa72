// Object parser: scalars, reference look-ahead, arrays, dictionaries (duplicate keys,
// closing bracket handling), the nesting bound, object headers and stream bodies.
#include "cos/parser.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "input_limits.h"
#include "lex.h"

namespace folioscan {
namespace {

ByteView bytes_of(std::string_view s) {
  return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

Bytes owned(std::string_view s) { return Bytes(s.begin(), s.end()); }

Object parsed(std::string_view s, std::size_t* end = nullptr) {
  Lexer lexer(bytes_of(s));
  auto r = parse_object(lexer);
  EXPECT_TRUE(r.has_value()) << s << ": " << (r ? "" : r.error().display());
  if (end != nullptr) *end = lexer.pos();
  return r ? *r : Object();
}

ParseError failure(std::string_view s) {
  Lexer lexer(bytes_of(s));
  auto r = parse_object(lexer);
  EXPECT_FALSE(r.has_value()) << s;
  return r ? ParseError{} : r.error();
}

Object integer(std::int64_t v) { return Object(v); }
Object name(std::string text) { return Object(Name{std::move(text)}); }

// ---- objects ----

TEST(Objects, ScalarsDispatchOnTheFirstByte) {
  EXPECT_EQ(parsed("  %c\n 42"), integer(42));
  EXPECT_EQ(parsed("-1.5"), Object(-1.5));
  EXPECT_EQ(parsed(".5"), Object(0.5));
  EXPECT_EQ(parsed("(hi)"), Object(String{owned("hi")}));
  EXPECT_EQ(parsed("<6869>"), Object(String{owned("hi")}));
  EXPECT_EQ(parsed("/Type"), name("Type"));
  EXPECT_EQ(parsed("null"), Object(Null{}));
  EXPECT_EQ(parsed("true"), Object(true));
  EXPECT_EQ(parsed("false"), Object(false));
}

TEST(Objects, FailuresCarryKindAndMessage) {
  struct Case {
    std::string_view input;
    ParseErrorKind kind;
    std::string_view message;
  };
  for (const Case& c : {Case{"", ParseErrorKind::UnexpectedEof, "input ended mid-object"},
                        Case{"  % only a comment", ParseErrorKind::UnexpectedEof, "input ended mid-object"},
                        Case{"[1 2", ParseErrorKind::UnexpectedEof, "input ended mid-object"},
                        Case{"<</A 1", ParseErrorKind::UnexpectedEof, "input ended mid-object"},
                        Case{"<", ParseErrorKind::UnexpectedEof, "input ended mid-object"},
                        Case{"obj", ParseErrorKind::UnexpectedToken, "unexpected token"},
                        Case{"]", ParseErrorKind::UnexpectedToken, "unexpected token"},
                        Case{"{", ParseErrorKind::UnexpectedToken, "unexpected token"},
                        Case{"[1 )]", ParseErrorKind::UnexpectedToken, "unexpected token"},
                        Case{"1.2.3", ParseErrorKind::UnexpectedToken, "bad number"}}) {
    const ParseError e = failure(c.input);
    EXPECT_EQ(e.kind, c.kind) << c.input;
    EXPECT_EQ(e.message, c.message) << c.input;
  }
}

// ---- references ----

TEST(References, LookAheadOverIntegerGenerationR) {
  struct Case {
    std::string_view input;
    Object value;
    std::size_t end;
  };
  const Case cases[] = {
      {"12 0 R", Object(ObjRef{12, 0}), 6},
      {"12 0 R]", Object(ObjRef{12, 0}), 6},
      {"12 +3 R", Object(ObjRef{12, 3}), 7},
      {"7 00065535 R", Object(ObjRef{7, 65535}), 12},
      {"4294967295 1 R", Object(ObjRef{4294967295u, 1}), 14},
      {"1 %gen next\n 2 %then R\n R", Object(ObjRef{1, 2}), 25},
      {"12 0 Rx", integer(12), 2},
      {"12 R", integer(12), 2},
      {"1 0 obj", integer(1), 1},
      {"5 65536 R", integer(5), 1},
      {"-1 0 R", integer(-1), 2},
      {"4294967296 0 R", integer(4294967296), 10},
      {"1 -0 R", integer(1), 1},
      {"1 0.0 R", integer(1), 1},
      {"1 ++0 R", integer(1), 1},
      {"1 0", integer(1), 1},
      {"1.0 0 R", Object(1.0), 3},
  };
  for (const Case& c : cases) {
    std::size_t end = 0;
    EXPECT_EQ(parsed(c.input, &end), c.value) << c.input;
    EXPECT_EQ(end, c.end) << c.input;
  }
}

// ---- arrays ----

TEST(Arrays, NestedEmptyAndMixed) {
  EXPECT_EQ(parsed("[]"), Object(Array{}));
  EXPECT_EQ(parsed("[1 2 [3]]"),
            Object(Array{integer(1), integer(2), Object(Array{integer(3)})}));
  EXPECT_EQ(parsed("[1 0 R 2 (s)/N]"),
            Object(Array{Object(ObjRef{1, 0}), integer(2), Object(String{owned("s")}), name("N")}));
}

// ---- dictionaries ----

TEST(Dictionaries, LaterDuplicateReplacesTheValueInItsFirstPosition) {
  const Object o = parsed("<</A 1 /A 2 /B 3>>");
  const Dictionary* d = o.as_dict();
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->size(), 2u);
  EXPECT_EQ(d->entries[0].key, "A");
  EXPECT_EQ(d->entries[0].value, integer(2));
  EXPECT_EQ(d->entries[1].key, "B");
  EXPECT_EQ(*d->lookup("B"), integer(3));
}

// Built by appending: `"K" + std::to_string(i)` trips a GCC 12 false positive
// (-Wrestrict) at -O2.
std::string key_name(int i) {
  std::string key = "K";
  key += std::to_string(i);
  return key;
}

TEST(Dictionaries, ManyKeysWithDuplicatesKeepFirstPositions) {
  // Large enough to leave the linear duplicate search for the hashed one.
  std::string text = "<<";
  for (int i = 0; i < 200; ++i) {
    text += '/';
    text += key_name(i);
    text += ' ';
    text += std::to_string(i);
    text += ' ';
  }
  for (int i = 0; i < 200; i += 7) {
    text += '/';
    text += key_name(i);
    text += " (dup) ";
  }
  text += ">>";
  const Object o = parsed(text);
  const Dictionary* d = o.as_dict();
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->size(), 200u);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(d->entries[static_cast<std::size_t>(i)].key, key_name(i));
    const Object expected = i % 7 == 0 ? Object(String{owned("dup")}) : integer(i);
    EXPECT_EQ(d->entries[static_cast<std::size_t>(i)].value, expected) << i;
  }
}

TEST(Dictionaries, KeysMustBeNamesAndValuesAreRequired) {
  ParseError e = failure("<<1 2>>");
  EXPECT_EQ(e.kind, ParseErrorKind::UnexpectedToken);
  EXPECT_EQ(e.message, "dictionary key is not a name");
  e = failure("<</A>>");
  EXPECT_EQ(e.kind, ParseErrorKind::UnexpectedToken);
  EXPECT_EQ(e.message, "unexpected token");
}

TEST(Dictionaries, ASingleClosingBracketStepsOverTheNextByte) {
  std::size_t end = 0;
  const Object o = parsed("<</A 1>x/B", &end);
  ASSERT_NE(o.as_dict(), nullptr);
  EXPECT_EQ(*o.as_dict()->lookup("A"), integer(1));
  EXPECT_EQ(end, 8u);
  parsed("<</A 1>", &end);  // fewer than two bytes left: the end of the buffer
  EXPECT_EQ(end, 7u);
}

TEST(Dictionaries, NestedValuesAndReferences) {
  const Object o = parsed("<</Kids [3 0 R 4 0 R] /Res <</F1 5 0 R>> /N /X>>");
  const Dictionary* d = o.as_dict();
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(*d->lookup("Kids"), Object(Array{Object(ObjRef{3, 0}), Object(ObjRef{4, 0})}));
  EXPECT_EQ(*d->lookup("Res")->as_dict()->lookup("F1"), Object(ObjRef{5, 0}));
  EXPECT_EQ(*d->lookup("N"), name("X"));
}

// ---- nesting limit ----

TEST(NestingLimit, DeepestAllowedNestingParses) {
  const int depth = limits::kMaxNestingDepth;
  const std::string text = std::string(static_cast<std::size_t>(depth), '[') +
                           std::string(static_cast<std::size_t>(depth), ']');
  const Object o = parsed(text);
  EXPECT_NE(o.as_array(), nullptr);
}

TEST(NestingLimit, OneLevelDeeperFails) {
  const int depth = limits::kMaxNestingDepth + 1;
  for (const std::string& text :
       {std::string(static_cast<std::size_t>(depth), '[') + std::string(static_cast<std::size_t>(depth), ']'),
        [&] {
          std::string s;
          for (int i = 0; i < depth; ++i) s += "<</K";
          return s;
        }()}) {
    const ParseError e = failure(text);
    EXPECT_EQ(e.kind, ParseErrorKind::InvalidObject);
    EXPECT_EQ(e.message, "objects nested too deeply");
  }
}

TEST(NestingLimit, HundredThousandOpenBracketsFailWithoutExhaustingTheStack) {
  const ParseError e = failure(std::string(100000, '['));
  EXPECT_EQ(e.kind, ParseErrorKind::InvalidObject);
  EXPECT_EQ(e.message, "objects nested too deeply");
}

// ---- object headers ----

TEST(ObjectHeaders, NumberGenerationAndObj) {
  Lexer lexer(bytes_of(" 12 0 obj<</A 1>>"));
  const auto h = parse_object_header(lexer);
  ASSERT_TRUE(h.has_value());
  EXPECT_EQ(h->num, 12u);
  EXPECT_EQ(h->gen, 0u);
  EXPECT_EQ(lexer.pos(), 9u);
  Lexer big(bytes_of("3 70000 obj"));
  EXPECT_EQ(parse_object_header(big)->gen, 70000u);  // read as 32 bits here
}

TEST(ObjectHeaders, Failures) {
  struct Case {
    std::string_view input;
    std::string_view message;
  };
  for (const Case& c : {Case{"12 0 objx", "missing obj keyword"}, Case{"12 0 R", "missing obj keyword"},
                        Case{"12", "expected integer"}, Case{"x 0 obj", "bad integer"},
                        Case{"-1 0 obj", "bad integer"}, Case{"1 << obj", "expected integer"}}) {
    Lexer lexer(bytes_of(c.input));
    const auto h = parse_object_header(lexer);
    ASSERT_FALSE(h.has_value()) << c.input;
    EXPECT_EQ(h.error().kind, ParseErrorKind::InvalidObject) << c.input;
    EXPECT_EQ(h.error().message, c.message) << c.input;
  }
}

// ---- stream bodies ----

// Parses the dictionary at the start of `text`, then the stream body after it.
Object stream_of(std::string_view text, std::optional<std::uint64_t> length) {
  Lexer lexer(bytes_of(text));
  auto dict = parse_object(lexer);
  EXPECT_TRUE(dict.has_value() && dict->as_dict() != nullptr) << text;
  if (!dict || dict->as_dict() == nullptr) return Object();
  return parse_stream_body(lexer, std::move(*dict->as_dict()), length);
}

TEST(StreamBodies, DeclaredLengthOrEndstreamSearch) {
  struct Case {
    std::string_view name;
    std::string_view input;
    std::optional<std::uint64_t> length;
    std::string_view data;
  };
  using namespace std::string_view_literals;
  const Case cases[] = {
      {"exact length", "<<>>stream\r\nhello\nendstream", 5, "hello"},
      {"endstream inside the window", "<<>>stream\r\nhello\nendstream", 3, "hel"},
      {"length beyond the buffer", "<<>>stream\r\nhello\nendstream", 50, "hello"},
      {"length overflowing", "<<>>stream\r\nhello\nendstream", UINT64_MAX, "hello"},
      {"endstream too far after the declared end", "<<>>stream\nabcdefghijklmnopqrstuvwxyz\nendstream", 1,
       "abcdefghijklmnopqrstuvwxyz"},
      {"endstream starting at the last window offset", "<<>>stream\nab0123456789abcdeendstream", 2, "ab"},
      {"endstream one past the window", "<<>>stream\nab0123456789abcdefendstream", 2,
       "ab0123456789abcdef"},
      {"no length, CR LF before endstream", "<<>>stream\r\nabc\r\nendstream", std::nullopt, "abc"},
      {"no length, CR before endstream", "<<>>stream\nabc\rendstream", std::nullopt, "abc"},
      {"no length, LF LF keeps one", "<<>>stream\nabc\n\nendstream", std::nullopt, "abc\n"},
      {"no length, no line end", "<<>>stream\nabcendstream", std::nullopt, "abc"},
      {"no endstream at all", "<<>>stream\nabc\r\n", std::nullopt, "abc"},
      {"lone CR after the keyword", "<<>>stream\rabc\nendstream", std::nullopt, "abc"},
      {"nothing after the keyword", "<<>>stream abc\nendstream", std::nullopt, " abc"},
      {"empty data", "<<>>stream\nendstream", std::nullopt, ""},
      {"empty data, line end only", "<<>>stream\n\nendstream", std::nullopt, ""},
      {"stream at the end of the buffer", "<<>>stream", std::nullopt, ""},
      {"zero length", "<<>>stream\n\nendstream", 0, ""},
      {"near misses before endstream", "<<>>stream\neendstreaendstrea\nendstream", std::nullopt,
       "eendstreaendstrea"},
  };
  for (const Case& c : cases) {
    const Object o = stream_of(c.input, c.length);
    const Stream* s = o.as_stream();
    ASSERT_NE(s, nullptr) << c.name;
    EXPECT_EQ(s->data, owned(c.data)) << c.name;
  }
}

TEST(StreamBodies, KeepsTheDictionaryAndReadsNothingAfterTheData) {
  const std::string_view text = "<</Length 5>>\nstream\nhello\nendstream\nendobj";
  Lexer lexer(bytes_of(text));
  auto dict = parse_object(lexer);
  ASSERT_TRUE(dict.has_value());
  const Object o = parse_stream_body(lexer, *dict->as_dict(), 5);
  ASSERT_NE(o.as_stream(), nullptr);
  EXPECT_EQ(*o.as_stream()->dict.lookup("Length"), integer(5));
  EXPECT_EQ(lexer.pos(), text.find("\nendstream"));
}

TEST(StreamBodies, WithoutTheStreamKeywordTheDictionaryIsReturned) {
  for (std::string_view text : {"<</A 1>> 7", "<</A 1>>streamx\n", "<</A 1>>"}) {
    Lexer lexer(bytes_of(text));
    auto dict = parse_object(lexer);
    ASSERT_TRUE(dict.has_value());
    const std::size_t after = lexer.pos();
    const Object o = parse_stream_body(lexer, *dict->as_dict(), 1);
    ASSERT_NE(o.as_dict(), nullptr) << text;
    EXPECT_EQ(*o.as_dict()->lookup("A"), integer(1));
    lexer.set_pos(after);
  }
  Lexer lexer(bytes_of("<</A 1>> 7"));
  auto dict = parse_object(lexer);
  (void)parse_stream_body(lexer, *dict->as_dict(), std::nullopt);
  EXPECT_EQ(*parse_object(lexer), integer(7));  // the 7 stayed unread
}

}  // namespace
// Remembered searches answer as a fresh search would, in whatever order they come:
// forwards, backwards, from inside a stretch already searched, straddling its start.
TEST(StreamBodies, RememberedEndstreamSearchesAnswerLikeFreshOnes) {
  const std::string text = "ab endstream cd endstreamendstream efgh endstrea";
  const ByteView data = bytes_of(text);
  const auto fresh = [&](std::size_t from) {
    const std::size_t at = text.find("endstream", from);
    return at == std::string::npos ? text.size() : at;
  };
  std::vector<std::size_t> forwards(text.size() + 2);
  std::iota(forwards.begin(), forwards.end(), std::size_t{0});
  std::vector<std::size_t> backwards(forwards.rbegin(), forwards.rend());
  std::vector<std::size_t> scattered = {30, 5, 29, 0, 14, 13, 45, 3, 26, 12, 40, 2, 25, 16};
  for (const auto* order : {&forwards, &backwards, &scattered}) {
    EndstreamSearch search(data);
    for (const std::size_t from : *order) EXPECT_EQ(search.next(from), fresh(from)) << from;
  }
}

// Streams of one buffer share the search: each without "endstream" runs to the end.
TEST(StreamBodies, StreamsWithoutEndstreamShareOneSearch) {
  const std::string text = "<<>>stream\nabc <<>>stream\ndef";
  const ByteView data = bytes_of(text);
  EndstreamSearch search(data);
  for (const std::size_t at : {text.rfind("<<"), std::size_t{0}}) {
    Lexer lexer(data, at);
    ASSERT_TRUE(parse_object(lexer).has_value());
    const auto extent = find_stream_data(lexer, std::nullopt, &search);
    ASSERT_TRUE(extent.has_value());
    EXPECT_EQ(extent->end, text.size());
    EXPECT_EQ(lexer.pos(), text.size());
  }
}

}  // namespace folioscan
