// The content tokenizer: operands and keywords, operators decoded once, inline images
// skipped strictly and in recovery.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "content_support.h"
#include "cos/parser.h"
#include "lex.h"
#include "input_limits.h"
#include "pdf_builder.h"

namespace folioscan {
namespace {

using testing::bytes_of;

std::vector<ContentOp> ops_of(const std::string& text) { return tokenize_content(bytes_of(text)); }

std::vector<std::string> names(const std::vector<ContentOp>& ops) {
  std::vector<std::string> out;
  for (const auto& op : ops) out.emplace_back(op.name());
  return out;
}

TEST(Tokenize, OperatorsCollectTheirOperands) {
  auto ops = ops_of("BT /F1 12 Tf 72 700 Td (Hi) Tj [(A) -50 (B)] TJ ET");
  ASSERT_EQ(names(ops), (std::vector<std::string>{"BT", "Tf", "Td", "Tj", "TJ", "ET"}));
  EXPECT_EQ(ops[1].operands.size(), 2u);
  EXPECT_TRUE(ops[1].operands[0].is_name("F1"));
  EXPECT_EQ(ops[4].operands[0].as_array()->size(), 3u);
}

TEST(Tokenize, VisitingSeesEachOperationOnceWithItsOwnOperands) {
  // The page driver never collects operations: each is visited with the operands read
  // since the previous one, and a million "q" cost no memory per operation.
  std::vector<std::string> seen;
  std::vector<std::size_t> counts;
  for_each_content_op(bytes_of("1 2 m 3 l /X Do 4 5 6 7 re"), [&](const ContentOp& op) {
    seen.emplace_back(op.name());
    counts.push_back(op.operands.size());
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"m", "l", "Do", "re"}));
  EXPECT_EQ(counts, (std::vector<std::size_t>{2, 1, 1, 4}));

  std::string many;
  for (int i = 0; i < 1'000'000; ++i) many += "q ";
  many += "BT /F1 10 Tf (deep) Tj ET";
  std::size_t visited = 0;
  const SharedFontMap fonts;
  GraphicsWalker walker;
  TextInterpreter text(fonts);
  for_each_content_op(bytes_of(many), [&](const ContentOp& op) {
    ++visited;
    walker.apply(op, text);
  });
  EXPECT_EQ(visited, 1'000'004u);
  const auto runs = text.take_runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].text, "deep");
}

TEST(Tokenize, LongKeywordsAreCutToFourBytes) {
  auto ops = ops_of("1 2 longword true");
  ASSERT_EQ(names(ops), (std::vector<std::string>{"long", "true"}));
  EXPECT_EQ(ops[0].operands.size(), 2u);
}

TEST(Tokenize, EveryOperatorKeywordDecodesToItsOwnOperator) {
  const char* const keywords[] = {
      "w",  "J",  "j",  "M",  "d",  "ri", "i",  "gs", "q",  "Q",   "cm", "m",  "l",  "c",   "v",
      "y",  "h",  "re", "S",  "s",  "f",  "F",  "f*", "B",  "B*",  "b",  "b*", "n",  "W",   "W*",
      "BT", "ET", "Tc", "Tw", "Tz", "TL", "Tf", "Tr", "Ts", "Td",  "TD", "Tm", "T*", "Tj",  "TJ",
      "'",  "\"", "d0", "d1", "CS", "cs", "SC", "SCN", "sc", "scn", "G",  "g",  "RG", "rg", "K",
      "k",  "sh", "BI", "ID", "EI", "Do", "MP", "DP", "BMC", "BDC", "EMC", "BX", "EX"};
  std::set<Operator> decoded;
  for (const char* keyword : keywords) {
    const Operator op = operator_of(keyword);
    EXPECT_NE(op, Operator::Unknown) << keyword;
    decoded.insert(op);
  }
  EXPECT_EQ(decoded.size(), std::size(keywords));
  // Consumers pass over the operators not theirs by range: exactly these lie in each.
  const std::set<std::string> path = {"m", "l", "c", "v", "y", "h", "re", "S", "s",
                                      "f", "F", "f*", "B", "B*", "b", "b*", "n"};
  const std::set<std::string> text = {"BT", "ET", "Tc", "Tw", "Tz", "TL", "Tf", "Tr", "Ts",
                                      "Td", "TD", "Tm", "T*", "Tj", "TJ", "'", "\""};
  for (const char* keyword : keywords) {
    EXPECT_EQ(is_path_operator(operator_of(keyword)), path.contains(keyword)) << keyword;
    EXPECT_EQ(is_text_operator(operator_of(keyword)), text.contains(keyword)) << keyword;
  }
  // Near misses name no operator: case, a byte more or less, a byte that only packs
  // like a keyword's.
  for (const char* word : {"", "tj", "TJx", "Tjx", "BDCx", "longword", "true", "null", "bdc", "T"}) {
    EXPECT_EQ(operator_of(word), Operator::Unknown) << word;
  }
  EXPECT_EQ(operator_of(std::string_view("\0w", 2)), Operator::Unknown);

  // The tokenizer decodes each keyword once; unknown ones keep their name.
  const auto ops = ops_of("q 1 0 0 1 5 5 cm BT (a) Tj ET Q mark EMC");
  std::vector<Operator> seen;
  for (const ContentOp& op : ops) seen.push_back(op.op);
  EXPECT_EQ(seen, (std::vector<Operator>{Operator::Save, Operator::Concat, Operator::BeginText, Operator::ShowText,
                                         Operator::EndText, Operator::Restore, Operator::Unknown,
                                         Operator::EndMarked}));
  EXPECT_EQ(ops[6].name(), "mark");
}

TEST(Tokenize, InlineImagesSkipToTheFirstEI) {
  auto ops = ops_of("q BI /W 1 /H 1 ID \x01\x02 EIxx Q 5 w");
  // "EI" ends the image even when glued to other bytes; "xx" becomes an operator.
  EXPECT_EQ(names(ops), (std::vector<std::string>{"q", "xx", "Q", "w"}));
  EXPECT_EQ(names(ops_of("q BI /W 1 ID abc")), (std::vector<std::string>{"q"}));
}

TEST(Tokenize, RecoveryEndsAnInlineImageWhereItsDataEnds) {
  const struct {
    std::string content;
    std::vector<std::string> strict, recovered;
  } cases[] = {
      // ASCII85 data holding "EI": the data ends at "~>" (strictly, "+(" is a malformed
      // operand and ends the stream).
      {"BI /W 4 /H 1 /BPC 8 /CS /G /F [/A85 /Fl] ID 9jEI+(~> EI 1 w", {}, {"w"}},
      // Unfiltered: 2 × 1 gray pixels are the two bytes "EI".
      {"BI /W 2 /H 1 /BPC 8 /CS /G ID EI EI 1 w", {"EI", "w"}, {"w"}},
      {"BI /W 16 /H 1 /IM true ID EI EI 1 w", {"EI", "w"}, {"w"}},
      // Size unknown: the first "EI" with white space around it.
      {"BI /W 2 /H 1 /F /Fl ID xxEIyy\nEI 1 w", {"yy", "EI", "w"}, {"w"}},
      // The size points at no "EI": the first standalone one ends it.
      {"BI /W 9 /H 1 /BPC 8 /CS /G ID abEIcd EI 1 w", {"cd", "EI", "w"}, {"w"}},
      // Nothing to go by: as the strict reading, then the rest of the stream.
      {"BI /W 1 /H 1 ID \x01" "EIxx Q", {"xx", "Q"}, {"xx", "Q"}},
      {"BI /W 1 ID abc", {}, {}},
      {"BI /W 1 /H", {}, {}},
  };
  for (const auto& c : cases) {
    for (const bool recover : {false, true}) {
      std::vector<std::string> seen;
      const std::size_t read_to_end = for_each_content_op(
          bytes_of(c.content), [&](const ContentOp& op) { seen.emplace_back(op.name()); }, recover);
      EXPECT_EQ(seen, recover ? c.recovered : c.strict) << c.content << recover;
      EXPECT_EQ(read_to_end, recover && c.strict != c.recovered ? 1u : 0u) << c.content << recover;
    }
  }
}

TEST(Tokenize, RecoveryReadsPastBadOperandsAndKeywordsInsideArrays) {
  const struct {
    std::string content;
    std::vector<std::string> strict, recovered;
    std::size_t tj_elements;  // of the recovered TJ, when there is one
  } cases[] = {
      // A lone "." is no number: strictly the stream ends there, recovery drops it.
      {"BT . .5 .8 rg (Test) Tj ET", {"BT"}, {"BT", "rg", "Tj", "ET"}, 0},
      // An operator inside a TJ array: the array keeps its strings and numbers.
      {"BT [(small) 5 Tf -250 (big)] TJ ET", {"BT"}, {"BT", "TJ", "ET"}, 4},
      {"BT [(a) /F1 <41> Tc (b)] TJ ET", {"BT"}, {"BT", "TJ", "ET"}, 4},
      // Arrays and dictionaries nested in a spoiled array are flattened into it; an
      // unclosed array ends the content.
      {"BT [(a) [1 2] x (b)] TJ ET", {"BT"}, {"BT", "TJ", "ET"}, 4},
      {"BT [(a) <</K 1>> x (b)] TJ ET", {"BT"}, {"BT", "TJ", "ET"}, 4},
      // A spoiled dictionary operand is dropped; reading goes on where the parser stopped.
      {"BT <</A x>> 5 w (t) Tj ET", {"BT"}, {"BT", "w", "Tj", "ET"}, 0},
      {"BT [(a) x (b", {"BT"}, {"BT"}, 0},
      {"BT [(a) x", {"BT"}, {"BT"}, 0},
  };
  for (const auto& c : cases) {
    for (const bool recover : {false, true}) {
      std::vector<std::string> seen;
      std::size_t elements = 0;
      for_each_content_op(
          bytes_of(c.content),
          [&](const ContentOp& op) {
            seen.emplace_back(op.name());
            if (op.name() == "TJ" && !op.operands.empty() && op.operands[0].as_array()) {
              elements = op.operands[0].as_array()->size();
            }
          },
          recover);
      EXPECT_EQ(seen, recover ? c.recovered : c.strict) << c.content << recover;
      if (recover) {
        EXPECT_EQ(elements, c.tj_elements) << c.content;
      }
    }
  }
}

TEST(Tokenize, RecoveringHostileArraysStaysBounded) {
  // Deeply nested arrays over many numbers, each level spoiled by a keyword: every level
  // is retried once, and the array keeps at most the pending-operand bound of elements.
  std::string content(2000, '[');
  for (int i = 0; i < 200'000; ++i) content += " 1";
  content += " x " + std::string(2000, ']') + " TJ";
  std::size_t ops = 0;
  std::size_t largest = 0;
  for_each_content_op(
      bytes_of(content),
      [&](const ContentOp& op) {
        ++ops;
        for (const Object& operand : op.operands) {
          if (const Array* array = operand.as_array()) largest = std::max(largest, array->size());
        }
      },
      true);
  EXPECT_EQ(ops, 1u);
  EXPECT_EQ(largest, limits::kMaxPendingOperands);
}

TEST(Tokenize, StrayDelimitersDropPendingOperandsAndBadOperandsEndTheStream) {
  auto ops = ops_of("1 2 ) 3 w (unclosed Tj");
  ASSERT_EQ(names(ops), (std::vector<std::string>{"w"}));
  EXPECT_EQ(ops[0].operands.size(), 1u);
}

TEST(Tokenize, PendingOperandsAreBounded) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "1 ";
  text += "w";
  auto ops = ops_of(text);
  ASSERT_EQ(ops.size(), 1u);
  EXPECT_LE(ops[0].operands.size(), 100000u);
}

TEST(Tokenize, OperandsAfterTheLastOperatorAreDropped) {
  auto ops = ops_of("1 0 0 1 5 5 cm 1 2 3 4 5 6 7 8 9 (tail)");
  ASSERT_EQ(names(ops), (std::vector<std::string>{"cm"}));
  EXPECT_EQ(ops[0].operands.size(), 6u);
  EXPECT_DOUBLE_EQ(*ops[0].operands[5].as_number(), 5.0);
  EXPECT_TRUE(ops_of("1 2 3").empty());
  EXPECT_TRUE(ops_of("1 2 ) (x").empty());
}

}  // namespace
}  // namespace folioscan

namespace folioscan {
namespace {

// Numbers are read straight into the operands, references through the object parser:
// the two ways must give exactly what the parser gives for the same text, at every
// boundary between a number and "N G R".
TEST(Tokenize, NumberOperandsMatchTheObjectParser) {
  const std::vector<std::string> operands = {
      "1 0 0 1 72 720",   "12 0 R",        "12 0 R 5",        "1 %note\n0 R",  "1 0 %note\nR",
      "3 +0 R",           "3 65535 R",     "3 65536 R",       "3 0 Rx",        "3 0 R/Name",
      "-1 0 R",           "4294967295 0 R", "4294967296 0 R", "7 0.5 R",       "2 0",
      "0.5 -.25 +3 -0",   "99999999999999999999 1", "8 0 R(s)", "1 2 3 4 5 6 7 8 9 0 R"};
  for (const std::string& text : operands) {
    // The first operation's operands: up to the keyword ("Rx") or the added "op".
    const auto ops = ops_of(text + " op");
    ASSERT_FALSE(ops.empty()) << text;
    std::vector<Object> expected;
    Lexer lexer(bytes_of(text));
    for (lexer.skip_whitespace(); !lexer.at_end(); lexer.skip_whitespace()) {
      auto object = parse_object(lexer);
      if (!object) break;
      expected.push_back(std::move(*object));
    }
    EXPECT_EQ(ops.front().operands, expected) << text;
  }
}

}  // namespace
}  // namespace folioscan
