// Predictors: TIFF 2 and the PNG row filters, parameter defaults, short and lone last
// rows, Paeth ties, and row sizes too large to be real.
#include "filter/predictor.h"

#include <gtest/gtest.h>

#include <random>

namespace folioscan {
namespace {

Dictionary params(std::initializer_list<std::pair<const char*, Object>> entries) {
  Dictionary d;
  for (const auto& [key, value] : entries) d.set(key, value);
  return d;
}

Object integer(std::int64_t v) {
  Object o;
  o.value.emplace<std::int64_t>(v);
  return o;
}

void expect_bad(const Result<Bytes>& r) {
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, ParseErrorKind::BadStream);
  EXPECT_EQ(r.error().message, "bad predictor row filter");
}

TEST(Predictor, PngUpRowsRestore) {
  const Bytes in = {2, 1, 2, 3, 4, 2, 1, 1, 1, 1};
  const Bytes expected = {1, 2, 3, 4, 2, 3, 4, 5};
  for (std::int64_t predictor : {10, 12, 15}) {  // the value does not pick the filter
    EXPECT_EQ(undo_predictor(in, params({{"Predictor", integer(predictor)}, {"Columns", integer(4)}})).value(),
              expected);
  }
}

TEST(Predictor, MissingOrMistypedPredictorLeavesDataUnchanged) {
  const Bytes in = {7, 1, 2, 3};
  EXPECT_EQ(undo_predictor(in, params({})).value(), in);
  EXPECT_EQ(undo_predictor(in, params({{"Predictor", integer(1)}})).value(), in);
  EXPECT_EQ(undo_predictor(in, params({{"Predictor", integer(-3)}})).value(), in);
  EXPECT_EQ(undo_predictor(in, params({{"Predictor", Object(12.0)}})).value(), in);
  EXPECT_EQ(undo_predictor(in, params({{"Predictor", Object(ObjRef{5, 0})}})).value(), in);
  // Without prediction, absurd row parameters are never looked at.
  EXPECT_EQ(undo_predictor(in, params({{"Columns", integer(std::int64_t{1} << 62)}})).value(), in);
}

TEST(Predictor, EachPngTagRestoresItsRow) {
  // Colors 2 (bpp 2), Columns 3: rows of 6 bytes, previous row 10 20 30 40 50 60.
  const Bytes first = {0, 10, 20, 30, 40, 50, 60};
  struct Case {
    std::uint8_t tag;
    Bytes encoded;
    Bytes restored;
  };
  const Case cases[] = {
      {0, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
      {1, {1, 2, 3, 4, 5, 6}, {1, 2, 4, 6, 9, 12}},
      {2, {1, 2, 3, 4, 5, 6}, {11, 22, 33, 44, 55, 66}},
      // Average: floor((left + up) / 2), left 0 for the first pixel.
      {3, {1, 2, 3, 4, 5, 6}, {6, 12, 3 + (6 + 30) / 2, 4 + (12 + 40) / 2, 5 + (21 + 50) / 2, 6 + (30 + 60) / 2}},
      {4, {1, 2, 0, 0, 0, 0}, {11, 22, 30, 40, 50, 60}},
      {1, {0xFF, 0x80, 0x02, 0x80, 0, 0}, {0xFF, 0x80, 0x01, 0x00, 0x01, 0x00}},  // mod 256
  };
  const Dictionary p = params({{"Predictor", integer(15)}, {"Colors", integer(2)}, {"Columns", integer(3)}});
  for (const Case& c : cases) {
    Bytes in = first;
    in.push_back(c.tag);
    in.insert(in.end(), c.encoded.begin(), c.encoded.end());
    Bytes expected = {10, 20, 30, 40, 50, 60};
    expected.insert(expected.end(), c.restored.begin(), c.restored.end());
    EXPECT_EQ(undo_predictor(in, p).value(), expected) << "tag " << int{c.tag};
  }
}

TEST(Predictor, PaethPrefersLeftThenUpThenCorner) {
  // bpp 1, Columns 2. Row 1 (None) holds corner and up; row 2 (Paeth) restores its
  // first byte to `left` (its own predictor is up = corner there), and its second byte,
  // encoded 0, to the predictor of left, up and corner.
  struct Case {
    std::uint8_t left, up, corner, predicted;
  };
  const Case cases[] = {{10, 20, 15, 15}, {10, 12, 10, 12}, {7, 7, 7, 7}, {200, 10, 0, 200}};
  const Dictionary p = params({{"Predictor", integer(13)}, {"Columns", integer(2)}});
  for (const Case& c : cases) {
    const Bytes in = {0, c.corner, c.up, 4, static_cast<std::uint8_t>(c.left - c.corner), 0};
    const Bytes out = undo_predictor(in, p).value();
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[2], c.left);
    EXPECT_EQ(out[3], c.predicted);
  }
}

TEST(Predictor, PaethOnTheFirstRowUsesLeft) {
  const Bytes in = {4, 5, 1, 1};
  EXPECT_EQ(undo_predictor(in, params({{"Predictor", integer(14)}, {"Columns", integer(3)}})).value(),
            (Bytes{5, 6, 7}));
}

TEST(Predictor, ShortAndLoneLastRows) {
  const Dictionary p = params({{"Predictor", integer(12)}, {"Columns", integer(4)}});
  // A final chunk of 3 bytes restores 2.
  EXPECT_EQ(undo_predictor(Bytes{0, 1, 2, 3, 4, 2, 1, 1}, p).value(), (Bytes{1, 2, 3, 4, 2, 3}));
  // A lone trailing tag is neither restored nor examined, even when above 4.
  EXPECT_EQ(undo_predictor(Bytes{0, 1, 2, 3, 4, 5}, p).value(), (Bytes{1, 2, 3, 4}));
  EXPECT_TRUE(undo_predictor(Bytes{}, p).value().empty());
  EXPECT_TRUE(undo_predictor(Bytes{9}, p).value().empty());
}

TEST(Predictor, TagAboveFourFails) {
  const Dictionary p = params({{"Predictor", integer(12)}, {"Columns", integer(2)}});
  expect_bad(undo_predictor(Bytes{0, 1, 2, 5, 1, 1}, p));
  expect_bad(undo_predictor(Bytes{0, 1, 2, 255, 1}, p));
}

TEST(Predictor, TiffAddsTheBytePixelToTheLeft) {
  EXPECT_EQ(undo_predictor(Bytes{10, 20, 30, 1, 2, 3},
                           params({{"Predictor", integer(2)}, {"Colors", integer(3)}, {"Columns", integer(2)}}))
                .value(),
            (Bytes{10, 20, 30, 11, 22, 33}));
  // 16-bit samples: bpp 2, bytes added without carry; rows restart; short last row.
  EXPECT_EQ(undo_predictor(Bytes{1, 0xFF, 1, 1, 5, 5, 1, 1, 9},
                           params({{"Predictor", integer(2)}, {"BitsPerComponent", integer(16)},
                                   {"Columns", integer(2)}}))
                .value(),
            (Bytes{1, 0xFF, 2, 0, 5, 5, 6, 6, 9}));
}

TEST(Predictor, SmallOrMistypedCountsFallBackToOne) {
  // Colors 0, -4, 1 or a Real all mean one colour: bpp 1 (with 8 bits), Columns 3.
  const Bytes in = {1, 1, 1, 1, 1, 2, 2, 2};
  const Bytes expected = {1, 2, 3, 2, 4, 6};
  for (const Object& colors : {integer(0), integer(-4), integer(1), Object(3.0), Object(Name{"RGB"})}) {
    EXPECT_EQ(undo_predictor(in, params({{"Predictor", integer(11)}, {"Colors", colors},
                                         {"Columns", integer(3)}}))
                  .value(),
              expected);
  }
  // BitsPerComponent below 2 counts as 1: Columns 16 of 1 bit make 2-byte rows.
  EXPECT_EQ(undo_predictor(Bytes{1, 5, 5, 1, 1, 1},
                           params({{"Predictor", integer(11)}, {"BitsPerComponent", integer(0)},
                                   {"Columns", integer(16)}}))
                .value(),
            (Bytes{5, 10, 1, 2}));
}

TEST(Predictor, RowsTooLongToBeRealFail) {
  const std::int64_t huge = std::int64_t{1} << 40;
  const Bytes in = {0, 1, 2, 3};
  for (const auto& p : {
           params({{"Predictor", integer(12)}, {"Columns", integer(huge)}}),
           params({{"Predictor", integer(2)}, {"Colors", integer(huge)}}),
           params({{"Predictor", integer(12)}, {"Colors", integer(huge)}, {"BitsPerComponent", integer(huge)}}),
           params({{"Predictor", integer(12)}, {"Colors", integer(INT64_MAX)}, {"Columns", integer(INT64_MAX)}}),
           params({{"Predictor", integer(10)}, {"Columns", integer((std::int64_t{1} << 30) + 1)}}),
       }) {
    expect_bad(undo_predictor(in, p));
  }
  // A row exactly at the bound is accepted: the data is just one short row.
  EXPECT_EQ(undo_predictor(in, params({{"Predictor", integer(10)}, {"Columns", integer(std::int64_t{1} << 30)}}))
                .value(),
            (Bytes{1, 2, 3}));
}

TEST(Predictor, PngRoundTripsOverManyRows) {
  // Rows encoded with random tags by a direct transcription of the filters, restored.
  struct Shape {
    std::int64_t colors, bits, columns;
    std::size_t row, bpp;
  };
  const Shape shapes[] = {{3, 8, 4, 12, 3}, {1, 4, 5, 3, 1}, {3, 12, 2, 9, 5}, {4, 16, 3, 24, 8}};
  std::mt19937 rng(9);
  for (const Shape& s : shapes) {
    const std::size_t rows = 40;
    Bytes plain(s.row * rows - 2);  // the last row is short
    for (auto& b : plain) b = static_cast<std::uint8_t>(rng() % 7 == 0 ? rng() : rng() % 4);
    Bytes encoded;
    for (std::size_t start = 0; start < plain.size(); start += s.row) {
      const auto tag = static_cast<std::uint8_t>(rng() % 5);
      encoded.push_back(tag);
      for (std::size_t j = 0; j < s.row && start + j < plain.size(); ++j) {
        const int x = plain[start + j];
        const int left = j >= s.bpp ? plain[start + j - s.bpp] : 0;
        const int up = start > 0 ? plain[start - s.row + j] : 0;
        const int corner = start > 0 && j >= s.bpp ? plain[start - s.row + j - s.bpp] : 0;
        int pred = 0;
        if (tag == 1) pred = left;
        if (tag == 2) pred = up;
        if (tag == 3) pred = (left + up) / 2;
        if (tag == 4) {
          const int p = left + up - corner;
          const int da = std::abs(p - left), db = std::abs(p - up), dc = std::abs(p - corner);
          pred = (da <= db && da <= dc) ? left : (db <= dc ? up : corner);
        }
        encoded.push_back(static_cast<std::uint8_t>(x - pred));
      }
    }
    const Dictionary p = params({{"Predictor", integer(15)}, {"Colors", integer(s.colors)},
                                 {"BitsPerComponent", integer(s.bits)}, {"Columns", integer(s.columns)}});
    EXPECT_EQ(undo_predictor(encoded, p).value(), plain) << "row " << s.row << " bpp " << s.bpp;
  }
}

}  // namespace
}  // namespace folioscan
