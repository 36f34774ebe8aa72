// LZW decoder: hand-written code sequences, and round trips through a small encoder
// across every width change, with and without early change, clear codes and a full table.
#include "filter/lzw.h"

#include <gtest/gtest.h>

#include "lzw_encoder.h"

#include <array>
#include <random>
#include <vector>

namespace folioscan {
namespace {

using testing::CodeWriter;
using testing::EncoderOptions;
using testing::lzw_encode;

Bytes codes9(const std::vector<std::uint32_t>& codes) {
  CodeWriter w;
  for (std::uint32_t c : codes) w.put(c, 9);
  return w.finish();
}

Bytes sample_text(std::size_t size, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  Bytes out;
  const char* words[] = {"BT ", "ET ", "Tf ", "(Hello) Tj ", "0 0 1 rg ", "q ", "Q ", "cm\n"};
  while (out.size() < size) {
    if (rng() % 3 == 0) {
      out.push_back(static_cast<std::uint8_t>('0' + rng() % 10));
    } else if (rng() % 50 == 0) {
      out.push_back(static_cast<std::uint8_t>(rng()));
    } else {
      const char* word = words[rng() % 8];
      out.insert(out.end(), word, word + std::char_traits<char>::length(word));
    }
  }
  out.resize(size);
  return out;
}

void expect_bad(const Result<Bytes>& r) {
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, ParseErrorKind::BadStream);
  EXPECT_EQ(r.error().message, "bad LZW data");
}

TEST(Lzw, HandWrittenCodesDecode) {
  struct Case {
    std::vector<std::uint32_t> codes;
    Bytes expected;
  };
  const std::vector<Case> cases = {
      {{256, 45, 258, 258, 65, 259, 66, 257}, {45, 45, 45, 45, 45, 65, 45, 45, 45, 66}},
      {{65, 258, 257}, {65, 65, 65}},          // no leading clear
      {{256, 65, 66, 258}, {65, 66, 65, 66}},  // no end code
      {{65, 257, 66, 67}, {65}},               // everything after the end code ignored
      {{65, 256, 66, 258}, {65, 66, 66, 66}},  // a clear forgets entry 258 ("AB")
      // A code past the table length decodes like the next free code...
      {{65, 300}, {65, 65, 65}},
      // ... but adds its entry at 258, and then gives no entry of its own.
      {{65, 300, 66, 258}, {65, 65, 65, 66, 65, 65}},
  };
  for (const Case& c : cases) {
    const auto out = lzw_decode(codes9(c.codes), true);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(*out, c.expected);
  }
}

TEST(Lzw, EmptyInputAndPartialCodesAreNotErrors) {
  EXPECT_TRUE(lzw_decode({}, true).value().empty());
  Bytes in = codes9({256, 72, 105});
  EXPECT_EQ(lzw_decode(in, true).value(), (Bytes{72, 105}));
  in.pop_back();  // the last code loses bits: it is dropped, the rest stays
  EXPECT_EQ(lzw_decode(in, true).value(), (Bytes{72}));
}

TEST(Lzw, CodesThatCannotBeInterpretedFail) {
  expect_bad(lzw_decode(codes9({256, 258}), true));      // first code after a clear
  expect_bad(lzw_decode(codes9({258}), true));           // first code of the data
  expect_bad(lzw_decode(codes9({65, 256, 259}), true));  // after a mid-stream clear
  expect_bad(lzw_decode(codes9({65, 300, 301}), true));  // previous code beyond the table
}

TEST(Lzw, RoundTripsAcrossEveryWidthChange) {
  const Bytes data = sample_text(60000, 1);
  for (const bool early : {true, false}) {
    for (const std::size_t clear_at : {std::size_t{0}, std::size_t{4096}, std::size_t{600}, std::size_t{1500}}) {
      SCOPED_TRACE(::testing::Message() << "early " << early << " clear_at " << clear_at);
      const Bytes encoded = lzw_encode(data, {early, clear_at, true});
      EXPECT_EQ(lzw_decode(encoded, early).value(), data);
    }
  }
}

TEST(Lzw, TableStopsGrowingAtTwelveBitsWithoutAClearCode) {
  // 200 KB without a clear: the table fills at 4096 entries and decoding goes on with
  // the entries it has.
  const Bytes data = sample_text(200000, 2);
  const Bytes encoded = lzw_encode(data, {true, 0, false});
  EXPECT_EQ(lzw_decode(encoded, true).value(), data);
}

TEST(Lzw, WrongEarlyChangeGoesWrongFromTheFirstWidthChange) {
  const Bytes data = sample_text(20000, 3);
  const Bytes encoded = lzw_encode(data, {true, 0, true});
  const auto late = lzw_decode(encoded, false);
  // The first 253 codes (before entry 511 exists) are read alike.
  const Bytes prefix = lzw_decode(ByteView(encoded.data(), (1 + 253) * 9 / 8), true).value();
  ASSERT_GT(prefix.size(), 300u);
  if (late.has_value()) {
    ASSERT_GE(late->size(), prefix.size());
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), late->begin()));
    EXPECT_NE(*late, data);
  }
}

TEST(Lzw, OutputPastTheBoundFails) {
  const Bytes data = sample_text(5000, 4);
  const Bytes encoded = lzw_encode(data, {});
  EXPECT_EQ(lzw_decode(encoded, true, data.size()).value(), data);
  expect_bad(lzw_decode(encoded, true, data.size() - 1));
}

}  // namespace
}  // namespace folioscan
