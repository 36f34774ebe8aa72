// Object streams: the header's errors and the index bound of the objects in it.
#include "object_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "cos/parser.h"
#include "lex.h"
#include "pdf_builder.h"

namespace folioscan {
namespace {

using testing::bytes_of;

TEST(ObjectStream, HeaderErrorsCarryTheirMessages) {
  auto dict = [](const std::string& keys) {
    const std::string text = "<<" + keys + ">>";
    Lexer lexer(bytes_of(text));
    return *parse_object(lexer)->as_dict();
  };
  auto bytes = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  struct Case {
    const char* keys;
    const char* data;
    const char* display;
  } cases[] = {
      {"/N 3 /First 0", "1 0 2 3", "InvalidObject: objstm truncated header"},
      {"/N 2 /First 0", "10 -4", "InvalidObject: objstm bad integer"},
      {"/N 2.0 /First 0", "", "InvalidObject: objstm missing key"},
      {"/N 1", "", "InvalidObject: objstm missing key"},
      {"/N 1 /First -1", "", "InvalidObject: objstm negative key"},
      {"/N 1099511627776 /First 0", "1 0", "InvalidObject: objstm truncated header"},
  };
  for (const auto& c : cases) {
    auto stream = parse_object_stream(dict(c.keys), bytes(c.data));
    ASSERT_FALSE(stream) << c.keys;
    EXPECT_EQ(stream.error().display(), c.display) << c.keys;
  }
  auto empty = parse_object_stream(dict("/N 0 /First 0"), bytes("junk"));
  ASSERT_TRUE(empty);
  EXPECT_EQ(object_at(*empty, 0).error().display(), "InvalidObject: objstm index out of range");
}

}  // namespace
}  // namespace folioscan
