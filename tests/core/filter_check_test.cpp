// Checking that a stream decodes without keeping its output: the same verdict and the
// same error as decoding it, for every kind of chain.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "filter/filter.h"

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

}  // namespace
}  // namespace folioscan
