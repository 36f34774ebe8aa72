// Checking that a stream decodes without keeping its output: the same verdict and the
// same error as decoding it, for every kind of chain.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "filter/filter.h"
#include "filter/lzw.h"
#include "filter/predictor.h"
#include "lzw_encoder.h"

namespace folioscan {
namespace {

ByteView view(std::string_view s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

Object name(std::string text) { return Object{Name{std::move(text)}}; }

Dictionary filters(std::initializer_list<std::string> names) {
  Dictionary dict;
  if (names.size() == 1) {
    dict.set("Filter", name(*names.begin()));
  } else {
    Array list;
    for (const std::string& n : names) list.push_back(name(n));
    dict.set("Filter", Object{std::move(list)});
  }
  return dict;
}

std::string verdict_of_decode(const Dictionary& dict, std::string_view raw) {
  const auto out = decode_stream(dict, view(raw));
  return out ? "ok" : out.error().display();
}

std::string verdict_of_check(const Dictionary& dict, std::string_view raw) {
  const auto out = check_stream_decodes(dict, view(raw));
  return out ? "ok" : out.error().display();
}

TEST(CheckStreamDecodes, GivesTheVerdictDecodingGives) {
  const struct {
    Dictionary dict;
    std::string_view raw;
    std::string_view expected;
  } cases[] = {
      {Dictionary{}, "raw bytes", "ok"},
      {filters({"DCTDecode"}), "\xFF\xD8 not even a JPEG", "ok"},
      {filters({"ASCIIHexDecode"}), "4142>", "ok"},
      {filters({"ASCIIHexDecode", "DCTDecode"}), "41 4G>", "BadStream: bad ASCIIHex data"},
      {filters({"FlateDecode"}), "", "BadStream: corrupt DEFLATE data"},
      {filters({"FlateDecode", "JPXDecode"}), std::string_view("\x03\x00", 2), "ok"},
      {filters({"Bogus"}), "x", "Unsupported: unsupported filter: Bogus"},
      {filters({"A85", "RL"}), "!'u,~>", "ok"},
      {filters({"A85", "RL"}), "!!~>", "BadStream: truncated RunLength data"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(verdict_of_check(c.dict, c.raw), c.expected) << c.raw;
    EXPECT_EQ(verdict_of_decode(c.dict, c.raw), c.expected) << c.raw;
  }
}

// DEFLATE data of stored blocks only: a zlib-free encoder good for any size.
Bytes stored_deflate(const Bytes& data) {
  Bytes out;
  std::size_t at = 0;
  do {
    const std::size_t len = std::min<std::size_t>(data.size() - at, 65535);
    const bool last = at + len == data.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<std::uint8_t>(len));
    out.push_back(static_cast<std::uint8_t>(len >> 8));
    out.push_back(static_cast<std::uint8_t>(~len));
    out.push_back(static_cast<std::uint8_t>(~len >> 8));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
               data.begin() + static_cast<std::ptrdiff_t>(at + len));
    at += len;
  } while (at < data.size());
  return out;
}

// PNG rows of 7 bytes after their tag (cycling through the five sound tags), `rows` of
// them; `extra` bytes end the data.
Bytes png_rows(std::size_t rows, const Bytes& extra = {}) {
  Bytes out;
  for (std::size_t r = 0; r < rows; ++r) {
    out.push_back(static_cast<std::uint8_t>(r % 5));
    for (int k = 0; k < 7; ++k) out.push_back(static_cast<std::uint8_t>(0xF0 + k));
  }
  out.insert(out.end(), extra.begin(), extra.end());
  return out;
}

Dictionary with_predictor(const char* filter, std::int64_t predictor, std::int64_t columns) {
  Dictionary dict = filters({filter});
  Dictionary params;
  params.set("Predictor", Object{predictor});
  params.set("Columns", Object{columns});
  dict.set("DecodeParms", Object{std::move(params)});
  return dict;
}

// Output of a few megabytes passes what a checking decoder holds at once, so the rows
// and their tags arrive in pieces cut anywhere.
TEST(CheckStreamDecodes, ChecksPredictorRowsAsTheyAreDecoded) {
  constexpr std::size_t kRows = 400'000;  // 3.2 MB of rows
  Bytes bad_middle = png_rows(kRows);
  bad_middle[8 * 300'001] = 5;
  Bytes bad_last_row = png_rows(kRows);
  bad_last_row[8 * (kRows - 1)] = 9;
  const struct {
    std::int64_t predictor;
    std::int64_t columns;
    Bytes data;
    std::string_view expected;
  } cases[] = {
      {15, 7, png_rows(kRows), "ok"},
      {15, 7, bad_middle, "BadStream: bad predictor row filter"},
      {12, 7, bad_last_row, "BadStream: bad predictor row filter"},
      // A lone tag at the very end carries no row and is not examined.
      {15, 7, png_rows(kRows, {7}), "ok"},
      {15, 7, png_rows(kRows, {7, 0}), "BadStream: bad predictor row filter"},
      // Rows of another length put other bytes in the tags' places.
      {15, 8, png_rows(kRows), "BadStream: bad predictor row filter"},
      {2, 7, bad_middle, "ok"},
      {1, 7, bad_middle, "ok"},
      {15, std::int64_t{1} << 40, png_rows(10), "BadStream: bad predictor row filter"},
      {15, 7, Bytes{}, "ok"},
  };
  for (const auto& c : cases) {
    const std::string label = std::to_string(c.predictor) + "/" + std::to_string(c.columns) + " size " +
                              std::to_string(c.data.size());
    const Bytes flate = stored_deflate(c.data);
    const Bytes lzw = testing::lzw_encode(c.data, {});
    const std::string_view flate_raw(reinterpret_cast<const char*>(flate.data()), flate.size());
    const std::string_view lzw_raw(reinterpret_cast<const char*>(lzw.data()), lzw.size());
    for (const auto& [dict, raw] : {std::pair{with_predictor("FlateDecode", c.predictor, c.columns), flate_raw},
                                    std::pair{with_predictor("LZWDecode", c.predictor, c.columns), lzw_raw}}) {
      EXPECT_EQ(verdict_of_check(dict, raw), c.expected) << label;
      EXPECT_EQ(verdict_of_decode(dict, raw), c.expected) << label;
    }
  }
}

// LZW codes for zeros in strings of growing length until the table is full (entry k
// holds k - 256 zeros), then `tail`; `expected` receives the output they stand for.
Bytes lzw_of_growing_zeros(const std::vector<std::uint32_t>& tail, Bytes& expected) {
  std::vector<std::uint32_t> codes = {256, 0};
  for (std::uint32_t k = 258; k < 4096; ++k) codes.push_back(k);
  codes.insert(codes.end(), tail.begin(), tail.end());
  codes.push_back(257);
  testing::CodeWriter writer;
  unsigned width = 9;
  std::uint32_t size = 258;
  bool prev_known = false;
  for (const std::uint32_t code : codes) {
    writer.put(code, width);
    if (code == 256 || code == 257) continue;
    if (code < 256) {
      expected.push_back(static_cast<std::uint8_t>(code));
    } else {
      expected.insert(expected.end(), code - 256, 0);
    }
    if (prev_known && size < 4096) ++size;
    prev_known = true;
    if (width < 12 && size + 1 >= (1u << width)) ++width;
  }
  return writer.finish();
}

// Output past what LZW decoding holds before measuring (64 MiB) is decoded again into a
// buffer of its size: the same bytes as a decoder that holds everything, and the same
// size into a sink.
TEST(LzwDecode, MeasuresLargeOutputFirstAndGivesTheSameBytes) {
  std::vector<std::uint32_t> tail;
  for (int i = 0; i < 20'000; ++i) {
    tail.push_back(4095 - static_cast<std::uint32_t>(i % 7));
    tail.push_back(static_cast<std::uint32_t>('A' + i % 26));
  }
  Bytes expected;
  const Bytes encoded = lzw_of_growing_zeros(tail, expected);
  ASSERT_GT(expected.size(), std::size_t{70} << 20);
  const auto whole = lzw_decode(encoded, true);
  ASSERT_TRUE(whole.has_value());
  EXPECT_TRUE(*whole == expected);
  EXPECT_EQ(lzw_decode(encoded, true, expected.size() - 1).error().display(), "BadStream: bad LZW data");
  PredictorCheck none(nullptr);
  const auto counted = lzw_decode_to_sink(encoded, true, none);
  ASSERT_TRUE(counted.has_value());
  EXPECT_EQ(*counted, expected.size());
}

}  // namespace
}  // namespace folioscan
