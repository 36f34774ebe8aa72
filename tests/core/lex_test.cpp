// Lexer: byte classes, white space and comments, regular runs, keywords, unsigned
// integers, and the number, name, literal string and hexadecimal string grammars.
#include "lex.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <variant>

namespace folioscan {
namespace {

ByteView bytes_of(std::string_view s) {
  return ByteView(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

Bytes owned(std::string_view s) { return Bytes(s.begin(), s.end()); }

// ---- byte classes ----

TEST(ByteClasses, WhitespaceIsExactlyTheSixBytes) {
  for (int b = 0; b < 256; ++b) {
    const bool expected = b == 0 || b == 9 || b == 10 || b == 12 || b == 13 || b == 32;
    EXPECT_EQ(is_whitespace(static_cast<std::uint8_t>(b)), expected) << b;
  }
}

TEST(ByteClasses, DelimitersAndRegularPartitionTheNonWhitespaceBytes) {
  const std::string_view delimiters = "%()/<>[]{}";
  for (int b = 0; b < 256; ++b) {
    const auto u = static_cast<std::uint8_t>(b);
    const bool delim = delimiters.find(static_cast<char>(b)) != std::string_view::npos;
    EXPECT_EQ(is_delimiter(u), delim) << b;
    EXPECT_EQ(is_regular(u), !delim && !is_whitespace(u)) << b;
  }
  EXPECT_TRUE(is_regular(11));
  EXPECT_TRUE(is_regular(0xA0));
}

TEST(ByteClasses, HexValueCoversBothCases) {
  EXPECT_EQ(hex_value('0'), 0);
  EXPECT_EQ(hex_value('9'), 9);
  EXPECT_EQ(hex_value('a'), 10);
  EXPECT_EQ(hex_value('F'), 15);
  EXPECT_EQ(hex_value('g'), -1);
  EXPECT_EQ(hex_value(' '), -1);
}

// ---- cursor primitives ----

TEST(Lexer, StartBeyondTheEndIsClampedToTheEnd) {
  Lexer lexer(bytes_of("abc"), 10);
  EXPECT_EQ(lexer.pos(), 3u);
  EXPECT_TRUE(lexer.at_end());
  lexer.set_pos(1);
  EXPECT_EQ(lexer.pos(), 1u);
  lexer.set_pos(99);
  EXPECT_EQ(lexer.pos(), 3u);
}

TEST(Lexer, SkipWhitespaceStepsOverCommentsThroughTheirLineEnd) {
  Lexer lexer(bytes_of(" \t%one\r\n%two\rx"));
  lexer.skip_whitespace();
  EXPECT_EQ(lexer.pos(), 13u);
  EXPECT_EQ(lexer.peek(), 'x');
}

TEST(Lexer, CommentRunningToTheEndStopsThere) {
  Lexer lexer(bytes_of("  %comment without line end, long enough for word scans"));
  lexer.skip_whitespace();
  EXPECT_TRUE(lexer.at_end());
}

TEST(Lexer, VerticalTabIsNotWhitespace) {
  Lexer lexer(bytes_of("\x0bx"));
  lexer.skip_whitespace();
  EXPECT_EQ(lexer.pos(), 0u);
}

TEST(Lexer, ReadRegularTakesTheMaximalRunWithoutSkippingWhitespace) {
  Lexer lexer(bytes_of("abc/def"));
  EXPECT_EQ(lexer.read_regular(), "abc");
  EXPECT_EQ(lexer.pos(), 3u);
  EXPECT_EQ(lexer.read_regular(), "");
  EXPECT_EQ(lexer.pos(), 3u);
  Lexer spaced(bytes_of(" x"));
  EXPECT_EQ(spaced.read_regular(), "");
  EXPECT_EQ(spaced.pos(), 0u);
}

TEST(Lexer, MatchKeywordNeedsATokenBoundaryAfterIt) {
  struct Case {
    std::string_view input;
    bool matches;
  };
  for (const Case& c : {Case{"obj", true}, Case{"obj<<", true}, Case{"obj 1", true},
                        Case{"objx", false}, Case{"ob", false}, Case{" obj", false}}) {
    Lexer lexer(bytes_of(c.input));
    EXPECT_EQ(lexer.match_keyword("obj"), c.matches) << c.input;
    EXPECT_EQ(lexer.pos(), c.matches ? 3u : 0u) << c.input;
  }
}

// ---- read_u32 / read_u64 ----

TEST(ReadU32, AcceptsOptionalPlusLeadingZerosAndTheFullRange) {
  struct Case {
    std::string_view input;
    std::uint32_t value;
  };
  for (const Case& c : {Case{"7", 7}, Case{"+7", 7}, Case{"  %c\n 0042", 42},
                        Case{"4294967295", 4294967295u}, Case{"0", 0}}) {
    Lexer lexer(bytes_of(c.input));
    const auto r = lexer.read_u32(ParseErrorKind::InvalidXref);
    ASSERT_TRUE(r.has_value()) << c.input;
    EXPECT_EQ(*r, c.value) << c.input;
  }
}

TEST(ReadU32, RejectsWithTheCallersKind) {
  struct Case {
    std::string_view input;
    std::string_view message;
  };
  for (const Case& c : {Case{"4294967296", "bad integer"}, Case{"-1", "bad integer"},
                        Case{"+", "bad integer"}, Case{"-", "bad integer"},
                        Case{"++1", "bad integer"}, Case{"12a", "bad integer"},
                        Case{"1.0", "bad integer"}, Case{"(", "expected integer"},
                        Case{"   ", "expected integer"}, Case{"", "expected integer"}}) {
    Lexer lexer(bytes_of(c.input));
    const auto r = lexer.read_u32(ParseErrorKind::InvalidObject);
    ASSERT_FALSE(r.has_value()) << c.input;
    EXPECT_EQ(r.error().kind, ParseErrorKind::InvalidObject) << c.input;
    EXPECT_EQ(r.error().message, c.message) << c.input;
  }
}

TEST(ReadU64, UsesSixtyFourBitsAndTheCallersMessages) {
  Lexer big(bytes_of("18446744073709551615"));
  EXPECT_EQ(big.read_u64(ParseErrorKind::InvalidObject, "m", "b").value(),
            18446744073709551615ull);
  Lexer over(bytes_of("18446744073709551616"));
  auto r = over.read_u64(ParseErrorKind::InvalidObject, "missing", "broken");
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().message, "broken");
  Lexer none(bytes_of("]"));
  r = none.read_u64(ParseErrorKind::InvalidObject, "missing", "broken");
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().message, "missing");
}

// ---- numbers ----

Number number(std::string_view s) {
  Lexer lexer(bytes_of(s));
  auto r = lexer.read_number();
  EXPECT_TRUE(r.has_value()) << s << ": " << (r ? "" : r.error().message);
  return r ? *r : Number();
}

const std::int64_t* as_integer(const Number& n) { return std::get_if<std::int64_t>(&n); }
const double* as_real(const Number& n) { return std::get_if<double>(&n); }

TEST(Numbers, IntegersUseTheFastPath) {
  struct Case {
    std::string_view input;
    std::int64_t value;
  };
  for (const Case& c : {Case{"42", 42}, Case{"-17", -17}, Case{"+5", 5}, Case{"007", 7},
                        Case{"-0", 0}, Case{"9223372036854775807", 9223372036854775807}}) {
    const Number n = number(c.input);
    ASSERT_NE(as_integer(n), nullptr) << c.input;
    EXPECT_EQ(*as_integer(n), c.value) << c.input;
  }
}

TEST(Numbers, RealsAndFallbackValues) {
  struct Case {
    std::string_view input;
    double value;
  };
  for (const Case& c : {Case{"4.", 4.0}, Case{".5", 0.5}, Case{"-.5", -0.5}, Case{"+.5", 0.5},
                        Case{"-.002", -0.002}, Case{"3.14159", 3.14159}, Case{"0.1", 0.1},
                        Case{"1e3", 1000.0}, Case{"-2.5E-1", -0.25}, Case{"+1e2", 100.0},
                        Case{"9223372036854775808", 9.223372036854776e18},
                        Case{"-9223372036854775808", -9.223372036854776e18},
                        Case{"0.12345678901234567890123", 0.12345678901234567890123},
                        Case{"1.0000000000000000000000", 1.0}}) {
    const Number n = number(c.input);
    ASSERT_NE(as_real(n), nullptr) << c.input;
    EXPECT_EQ(*as_real(n), c.value) << c.input;
  }
}

TEST(Numbers, NegativeZeroOnTheFastPathIsPositiveZero) {
  const Number n = number("-0.0");
  ASSERT_NE(as_real(n), nullptr);
  EXPECT_EQ(*as_real(n), 0.0);
  EXPECT_FALSE(std::signbit(*as_real(n)));
}

TEST(Numbers, InfinityAndNanWordsInAnyCaseAfterAnOptionalSign) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(*as_real(number("inf")), inf);  // only reachable after a sign in objects
  EXPECT_EQ(*as_real(number("+Infinity")), inf);
  EXPECT_EQ(*as_real(number("-INF")), -inf);
  EXPECT_TRUE(std::isnan(*as_real(number("-nan"))));
  EXPECT_TRUE(std::isnan(*as_real(number("+NaN"))));
}

TEST(Numbers, OutOfRangeExponentsSaturateToInfinityOrZero) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(*as_real(number("1e400")), inf);
  EXPECT_EQ(*as_real(number("-1.5e400")), -inf);
  EXPECT_EQ(*as_real(number("1e-400")), 0.0);
  EXPECT_EQ(*as_real(number("0.0001e-330")), 0.0);
  EXPECT_EQ(*as_real(number("1000e-326")), 1e-323);
}

TEST(Numbers, MalformedRunsFail) {
  struct Case {
    std::string_view input;
    std::string_view message;
  };
  for (const Case& c : {Case{"1.2.3", "bad number"}, Case{"-", "bad number"},
                        Case{"+", "bad number"}, Case{".", "bad number"},
                        Case{"+-1", "bad number"}, Case{"++1", "bad number"},
                        Case{"1e", "bad number"}, Case{"12abc", "bad number"},
                        Case{"infin", "bad number"}, Case{"0x10", "bad number"},
                        Case{"1\xC3\xA9", "bad number"}, Case{"1\xFF", "non-utf8 number"},
                        Case{"-\xC3", "non-utf8 number"}}) {
    Lexer lexer(bytes_of(c.input));
    const auto r = lexer.read_number();
    ASSERT_FALSE(r.has_value()) << c.input;
    EXPECT_EQ(r.error().kind, ParseErrorKind::UnexpectedToken) << c.input;
    EXPECT_EQ(r.error().message, c.message) << c.input;
  }
}

TEST(Numbers, TheRunEndsAtABoundary) {
  Lexer lexer(bytes_of("12/x"));
  EXPECT_EQ(*as_integer(*lexer.read_number()), 12);
  EXPECT_EQ(lexer.pos(), 2u);
}

TEST(Numbers, LongDigitRunsNearTheIntegerBound) {
  EXPECT_EQ(*as_integer(number("00000000000000000000000042")), 42);
  EXPECT_EQ(*as_integer(number("-9223372036854775807")), -9223372036854775807);
  EXPECT_EQ(*as_real(number("922337203685477580.7")), 922337203685477580.7);
  EXPECT_EQ(*as_real(number("922337203685477580.8")), 922337203685477580.8);
}

TEST(Numbers, EveryReadingEndsAtTheRunsEnd) {
  for (std::string_view input : {"12.5/x", "1e3/x", "1.2.3/x", "7a/x", "-/x"}) {
    Lexer lexer(bytes_of(input));
    (void)lexer.read_number();
    EXPECT_EQ(lexer.pos(), input.find('/')) << input;
  }
}

TEST(Numbers, ThePlainPathAgreesWithTheGeneralGrammar) {
  // Up to 15 digits the plain path's one division rounds as from_chars does.
  for (std::string_view input : {"0", "-0", "7", "+12", "-340", "612.0", "0.5", "-.25", "3.14159", "100.001",
                                 ".000123", "-98765.4321", "123456789012345", "1.23456789012345", "5."}) {
    Lexer lexer(bytes_of(input));
    Number plain;
    ASSERT_TRUE(lexer.read_plain_number(plain)) << input;
    EXPECT_EQ(lexer.pos(), input.size()) << input;
    const char* b = input.data() + (input[0] == '+' ? 1 : 0);
    double expected = 0;
    std::from_chars(b, input.data() + input.size(), expected);
    const double got = as_integer(plain) ? static_cast<double>(*as_integer(plain)) : *as_real(plain);
    EXPECT_EQ(got, expected) << input;
    EXPECT_EQ(as_integer(plain) != nullptr, input.find('.') == std::string_view::npos) << input;
  }
  // Everything else is left, unread, to read_number.
  for (std::string_view input : {"1e3", "1.2.3", "12abc", "-", ".", "+-1", "inf", "9223372036854775808",
                                 "0.12345678901234567890123"}) {
    Lexer lexer(bytes_of(input));
    Number plain;
    EXPECT_FALSE(lexer.read_plain_number(plain)) << input;
    EXPECT_EQ(lexer.pos(), 0u) << input;
  }
}

// ---- names ----

TEST(Names, EscapesAndUtf8Conversion) {
  struct Case {
    std::string_view input;
    std::string_view text;
    std::size_t end;
  };
  for (const Case& c : {Case{"/Type", "Type", 5}, Case{"/A#42", "AB", 5},
                        Case{"/ x", "", 1}, Case{"/", "", 1}, Case{"/A/B", "A", 2},
                        Case{"/a#20b c", "a b", 6}, Case{"/#2f", "/", 4},
                        Case{"/caf\xC3\xA9", "caf\xC3\xA9", 6},
                        Case{"/x\xFFy", "x\xEF\xBF\xBDy", 4},
                        Case{"/x#FFy", "x\xEF\xBF\xBDy", 6}}) {
    Lexer lexer(bytes_of(c.input));
    const auto r = lexer.read_name();
    ASSERT_TRUE(r.has_value()) << c.input;
    EXPECT_EQ(*r, c.text) << c.input;
    EXPECT_EQ(lexer.pos(), c.end) << c.input;
  }
}

TEST(Names, BrokenEscapesFail) {
  struct Case {
    std::string_view input;
    ParseErrorKind kind;
    std::string_view message;
  };
  for (const Case& c :
       {Case{"/A#4", ParseErrorKind::UnexpectedEof, "input ended mid-object"},
        Case{"/A#", ParseErrorKind::UnexpectedEof, "input ended mid-object"},
        Case{"/A#G1", ParseErrorKind::UnexpectedToken, "bad #xx escape in name"},
        Case{"/A#4G", ParseErrorKind::UnexpectedToken, "bad #xx escape in name"},
        Case{"/A#G", ParseErrorKind::UnexpectedToken, "bad #xx escape in name"},
        Case{"/A# 1", ParseErrorKind::UnexpectedToken, "bad #xx escape in name"}}) {
    Lexer lexer(bytes_of(c.input));
    const auto r = lexer.read_name();
    ASSERT_FALSE(r.has_value()) << c.input;
    EXPECT_EQ(r.error().kind, c.kind) << c.input;
    EXPECT_EQ(r.error().message, c.message) << c.input;
  }
}

// ---- literal strings ----

TEST(LiteralStrings, NestingEscapesAndLineEnds) {
  struct Case {
    std::string_view input;
    std::string_view bytes;
  };
  using namespace std::string_view_literals;
  for (const Case& c : {
           Case{"()", ""},
           Case{"(one(two)three)", "one(two)three"},
           Case{"(a\\)b)", "a)b"},
           Case{"(a\\(b)", "a(b"},
           Case{"(\\\\)", "\\"},
           Case{"(\\n\\r\\t\\b\\f)", "\n\r\t\b\f"},
           Case{"(\\101)", "A"},
           Case{"(\\0053)", "\x05" "3"},
           Case{"(\\7x)", "\x07x"},
           Case{"(\\777)", "\xFF"},
           Case{"(\\400)", "\0"sv},
           Case{"(x\\\r\ny)", "xy"},
           Case{"(x\\\ry)", "xy"},
           Case{"(x\\\ny)", "xy"},
           Case{"(x\\\r\r\ny)", "x\r\ny"},
           Case{"(a\r\nb\rc)", "a\r\nb\rc"},
           Case{"(\\q\\8)", "q8"},
           Case{"(a long string that spans several machine words ((nested)) ok)",
                "a long string that spans several machine words ((nested)) ok"},
       }) {
    Lexer lexer(bytes_of(c.input));
    const auto r = lexer.read_literal_string();
    ASSERT_TRUE(r.has_value()) << c.input;
    EXPECT_EQ(*r, owned(c.bytes)) << c.input;
    EXPECT_EQ(lexer.pos(), c.input.size()) << c.input;
  }
}

TEST(LiteralStrings, StopsAfterTheClosingParenthesis) {
  Lexer lexer(bytes_of("(a)b)"));
  EXPECT_EQ(*lexer.read_literal_string(), owned("a"));
  EXPECT_EQ(lexer.pos(), 3u);
}

TEST(LiteralStrings, UnterminatedOrTrailingBackslashFailsAtTheEnd) {
  for (std::string_view input : {"(abc", "(a(b)", "(abc\\", "(", "(0123456789abcdef(x)"}) {
    Lexer lexer(bytes_of(input));
    const auto r = lexer.read_literal_string();
    ASSERT_FALSE(r.has_value()) << input;
    EXPECT_EQ(r.error().kind, ParseErrorKind::UnexpectedEof) << input;
    EXPECT_EQ(r.error().message, "input ended mid-object") << input;
  }
}

// ---- hexadecimal strings ----

TEST(HexStrings, DigitsWhitespaceAndOddCount) {
  struct Case {
    std::string_view input;
    std::string_view bytes;
  };
  for (const Case& c : {Case{"<>", ""}, Case{"<4142>", "AB"}, Case{"<41 42 4>", "AB@"},
                        Case{"<ABC>", "\xAB\xC0"}, Case{"<6a6B>", "jk"},
                        Case{"< 4\r\n1\t\f>", "A"}}) {
    Lexer lexer(bytes_of(c.input));
    const auto r = lexer.read_hex_string();
    ASSERT_TRUE(r.has_value()) << c.input;
    EXPECT_EQ(*r, owned(c.bytes)) << c.input;
    EXPECT_EQ(lexer.pos(), c.input.size()) << c.input;
  }
}

TEST(HexStrings, BadDigitAndMissingEndFail) {
  Lexer bad(bytes_of("<4G>"));
  auto r = bad.read_hex_string();
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, ParseErrorKind::UnexpectedToken);
  EXPECT_EQ(r.error().message, "bad hex digit");
  Lexer open(bytes_of("<414"));
  r = open.read_hex_string();
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, ParseErrorKind::UnexpectedEof);
  EXPECT_EQ(r.error().message, "input ended mid-object");
}

// ---- keywords ----

TEST(Keywords, NullTrueFalseAndEverythingElse) {
  Lexer null_bracket(bytes_of("null]"));
  EXPECT_EQ(*null_bracket.read_keyword(), Keyword::Null);
  EXPECT_EQ(null_bracket.pos(), 4u);
  Lexer t(bytes_of("true"));
  EXPECT_EQ(*t.read_keyword(), Keyword::True);
  Lexer f(bytes_of("false "));
  EXPECT_EQ(*f.read_keyword(), Keyword::False);
}

TEST(Keywords, UnknownWordsAndDelimitersAreUnexpectedTokens) {
  struct Case {
    std::string_view input;
    std::size_t end;  // the run is consumed
  };
  for (const Case& c : {Case{"nullx", 5}, Case{"R", 1}, Case{"obj ", 3}, Case{"True", 4},
                        Case{")", 0}, Case{"]", 0}, Case{"{", 0}}) {
    Lexer lexer(bytes_of(c.input));
    const auto r = lexer.read_keyword();
    ASSERT_FALSE(r.has_value()) << c.input;
    EXPECT_EQ(r.error().kind, ParseErrorKind::UnexpectedToken) << c.input;
    EXPECT_EQ(r.error().message, "unexpected token") << c.input;
    EXPECT_EQ(lexer.pos(), c.end) << c.input;
  }
}

}  // namespace
}  // namespace folioscan
