// The filter pipeline (filter and parameter lists, pairing, dispatch, errors) and the
// ASCIIHex and RunLength decoders beside it.
#include "filter/filter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <string_view>

#include "lzw_encoder.h"

namespace folioscan {
namespace {

Bytes bytes_of(std::string_view s) { return Bytes(s.begin(), s.end()); }

Object name(std::string text) { return Object(Name{std::move(text)}); }
Object integer(std::int64_t v) {
  Object o;
  o.value.emplace<std::int64_t>(v);
  return o;
}
Object array(std::initializer_list<Object> items) { return Object(Array(items)); }

Dictionary dict(std::initializer_list<std::pair<const char*, Object>> entries) {
  Dictionary d;
  for (const auto& [key, value] : entries) d.set(key, value);
  return d;
}

// A final stored DEFLATE block holding `data` (at most 65535 bytes).
Bytes stored(const Bytes& data) {
  const auto n = static_cast<std::uint16_t>(data.size());
  Bytes out = {0x01, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
               static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)};
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes zlib_stored(const Bytes& data) {
  Bytes out = {0x78, 0x9C};
  const Bytes body = stored(data);
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), {0, 0, 0, 0});  // an Adler-32 that is never checked
  return out;
}

Bytes hex_of(const Bytes& data) {
  static const char* kHex = "0123456789ABCDEF";
  Bytes out;
  for (std::uint8_t b : data) {
    out.push_back(static_cast<std::uint8_t>(kHex[b >> 4]));
    out.push_back(static_cast<std::uint8_t>(kHex[b & 15]));
    out.push_back(' ');
  }
  out.push_back('>');
  return out;
}

Bytes read_fixture(const std::string& name) {
  std::ifstream f(std::string(FOLIOSCAN_FIXTURES) + "/deflate/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void expect_error(const Result<Bytes>& r, ParseErrorKind kind, std::string_view message) {
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, kind);
  EXPECT_EQ(r.error().message, message);
}

// --- Filter and parameter lists -------------------------------------------------------

TEST(DecodeStream, NoFilterReturnsTheRawBytes) {
  const Bytes raw = bytes_of("plain bytes");
  EXPECT_EQ(decode_stream(dict({}), raw).value(), raw);
  EXPECT_EQ(decode_stream(dict({{"Length", integer(11)}}), raw).value(), raw);
  // Values that are not a name or an array give no filters.
  for (const Object& value : {Object(Null{}), Object(String{bytes_of("FlateDecode")}), Object(ObjRef{4, 0}),
                              integer(3)}) {
    EXPECT_EQ(decode_stream(dict({{"Filter", value}}), raw).value(), raw);
  }
}

TEST(DecodeStream, SingleNameAndOneElementArrayBehaveAlike) {
  const Bytes raw = zlib_stored(bytes_of("inflated"));
  EXPECT_EQ(decode_stream(dict({{"Filter", name("FlateDecode")}}), raw).value(), bytes_of("inflated"));
  EXPECT_EQ(decode_stream(dict({{"Filter", array({name("FlateDecode")})}}), raw).value(), bytes_of("inflated"));
}

TEST(DecodeStream, AbbreviatedKeysApplyOnlyWhenTheFullKeysAreAbsent) {
  const Bytes raw = hex_of(zlib_stored(bytes_of("xyz")));
  EXPECT_EQ(decode_stream(dict({{"F", array({name("AHx"), name("Fl")})}}), raw).value(), bytes_of("xyz"));
  // /Filter wins over /F (here: no filter beats two).
  EXPECT_EQ(decode_stream(dict({{"Filter", array({})}, {"F", name("AHx")}}), raw).value(), raw);
  // /DP gives parameters when /DecodeParms is absent.
  const Bytes up = zlib_stored({2, 1, 2, 2, 1, 1});
  EXPECT_EQ(decode_stream(dict({{"Filter", name("Fl")}, {"DP", Object(dict({{"Predictor", integer(12)},
                                                                             {"Columns", integer(2)}}))}}),
                          up)
                .value(),
            (Bytes{1, 2, 2, 3}));
}

TEST(DecodeStream, FiltersRunInArrayOrder) {
  const Bytes data = bytes_of("chain");
  EXPECT_EQ(decode_stream(dict({{"Filter", array({name("ASCIIHexDecode"), name("FlateDecode")})}}),
                          hex_of(zlib_stored(data)))
                .value(),
            data);
  // Non-name elements are skipped: Flate, then ASCII85.
  EXPECT_EQ(decode_stream(dict({{"Filter", array({name("FlateDecode"), integer(5), Object(ObjRef{1, 0}),
                                                  name("ASCII85Decode")})}}),
                          zlib_stored(bytes_of("9jqo^")))
                .value(),
            bytes_of("Man "));
}

TEST(DecodeStream, EveryAbbreviationSelectsItsDecoder) {
  const struct {
    const char* full;
    const char* abbrev;
    Bytes raw;
    Bytes decoded;
  } cases[] = {
      {"FlateDecode", "Fl", zlib_stored(bytes_of("fl")), bytes_of("fl")},
      {"LZWDecode", "LZW", testing::lzw_encode(bytes_of("lzwlzwlzw"), {}), bytes_of("lzwlzwlzw")},
      {"ASCII85Decode", "A85", bytes_of("9jqo^~>"), bytes_of("Man ")},
      {"ASCIIHexDecode", "AHx", bytes_of("4869>"), bytes_of("Hi")},
      {"RunLengthDecode", "RL", Bytes{0xFE, 'r', 0x80}, bytes_of("rrr")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decode_stream(dict({{"Filter", name(c.full)}}), c.raw).value(), c.decoded) << c.full;
    EXPECT_EQ(decode_stream(dict({{"Filter", name(c.abbrev)}}), c.raw).value(), c.decoded) << c.abbrev;
  }
}

TEST(DecodeStream, EmptyParameterArrayStillAppliesEveryFilter) {
  const Bytes raw = zlib_stored(bytes_of("inflated"));
  EXPECT_EQ(decode_stream(dict({{"Filter", name("FlateDecode")}, {"DecodeParms", array({})}}), raw).value(),
            bytes_of("inflated"));
  EXPECT_EQ(decode_stream(dict({{"Filter", array({name("AHx"), name("Fl")})}, {"DP", array({})}}),
                          hex_of(raw))
                .value(),
            bytes_of("inflated"));
}

TEST(DecodeStream, ParameterArrayPairsWithTheShorterList) {
  const Bytes payload = {2, 1, 2, 2, 1, 1};
  const Bytes raw = hex_of(zlib_stored(payload));
  const Object predictor = Object(dict({{"Predictor", integer(12)}, {"Columns", integer(2)}}));
  // Shorter: the trailing filters run without parameters (Flate with no predictor).
  EXPECT_EQ(decode_stream(dict({{"Filter", array({name("AHx"), name("Fl")})}, {"DecodeParms", array({Object()})}}),
                          raw)
                .value(),
            payload);
  EXPECT_EQ(decode_stream(dict({{"Filter", array({name("AHx"), name("AHx"), name("Fl")})},
                                {"DecodeParms", array({Object()})}}),
                          hex_of(raw))
                .value(),
            payload);
  // Longer: extra entries are ignored; a Stream element lends its dictionary; other
  // elements (null, a reference) mean no parameters.
  Stream parms_stream;
  parms_stream.dict = dict({{"Predictor", integer(12)}, {"Columns", integer(2)}});
  for (const Object& second : {predictor, Object(parms_stream)}) {
    EXPECT_EQ(decode_stream(dict({{"Filter", array({name("AHx"), name("Fl")})},
                                  {"DecodeParms", array({Object(ObjRef{9, 0}), second, predictor})}}),
                            raw)
                  .value(),
              (Bytes{1, 2, 2, 3}));
  }
  EXPECT_EQ(decode_stream(dict({{"Filter", array({name("AHx"), name("Fl")})},
                                {"DecodeParms", array({Object(), Object(ObjRef{9, 0})})}}),
                          raw)
                .value(),
            payload);
}

TEST(DecodeStream, SingleParameterDictionaryGoesToTheFirstFilterOnly) {
  const Bytes payload = {2, 1, 2, 2, 1, 1};
  const Object predictor = Object(dict({{"Predictor", integer(12)}, {"Columns", integer(2)}}));
  // ASCII85 first: it ignores the parameters and Flate runs without a predictor.
  Bytes a85;
  {
    // ASCII85 of the zlib stream, written group by group.
    const Bytes z = zlib_stored(payload);
    for (std::size_t i = 0; i < z.size(); i += 4) {
      std::uint32_t v = 0;
      const std::size_t n = std::min<std::size_t>(4, z.size() - i);
      for (std::size_t k = 0; k < 4; ++k) v = (v << 8) | (k < n ? z[i + k] : 0);
      char digits[5];
      for (int k = 4; k >= 0; --k) {
        digits[k] = static_cast<char>('!' + v % 85);
        v /= 85;
      }
      a85.insert(a85.end(), digits, digits + n + 1);
    }
    a85.push_back('~');
  }
  EXPECT_EQ(decode_stream(dict({{"Filter", array({name("A85"), name("Fl")})}, {"DecodeParms", predictor}}), a85)
                .value(),
            payload);
  EXPECT_EQ(decode_stream(dict({{"Filter", name("Fl")}, {"DecodeParms", predictor}}), zlib_stored(payload)).value(),
            (Bytes{1, 2, 2, 3}));
  // No filters: the dictionary is dropped. A Stream or a reference gives no parameters.
  EXPECT_EQ(decode_stream(dict({{"DecodeParms", predictor}}), payload).value(), payload);
  Stream parms_stream;
  parms_stream.dict = dict({{"Predictor", integer(12)}, {"Columns", integer(2)}});
  for (const Object& parms : {Object(parms_stream), Object(ObjRef{3, 0})}) {
    EXPECT_EQ(decode_stream(dict({{"Filter", name("Fl")}, {"DecodeParms", parms}}), zlib_stored(payload)).value(),
              payload);
  }
}

TEST(DecodeStream, ImageCodecsPassTheirInputOn) {
  const Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0};
  for (const char* codec : {"DCTDecode", "JPXDecode", "JBIG2Decode", "CCITTFaxDecode"}) {
    EXPECT_EQ(decode_stream(dict({{"Filter", name(codec)}}), jpeg).value(), jpeg) << codec;
  }
  EXPECT_EQ(decode_stream(dict({{"Filter", array({name("FlateDecode"), name("DCTDecode")})}}), zlib_stored(jpeg))
                .value(),
            jpeg);
  EXPECT_EQ(decode_stream(dict({{"Filter", array({name("DCTDecode"), name("AHx")})}}), bytes_of("41>")).value(),
            bytes_of("A"));
}

TEST(DecodeStream, UnknownFilterNamesAreUnsupported) {
  for (const char* filter : {"DCT", "CCF", "Crypt", "flatedecode", "FlateDecodeX", "AHX", ""}) {
    expect_error(decode_stream(dict({{"Filter", name(filter)}}), bytes_of("data")), ParseErrorKind::Unsupported,
                 std::string("unsupported filter: ") + filter);
  }
  // Filters before it have run, but only the error comes back.
  expect_error(decode_stream(dict({{"Filter", array({name("AHx"), name("Crypt")})}}), bytes_of("41>")),
               ParseErrorKind::Unsupported, "unsupported filter: Crypt");
}

TEST(DecodeStream, DecoderErrorsComeBackUnchanged) {
  const struct {
    const char* filter;
    Bytes raw;
    const char* message;
  } cases[] = {
      {"FlateDecode", {}, "corrupt DEFLATE data"},
      {"LZWDecode", {0x80, 0x40, 0x80}, "bad LZW data"},  // 258 right after a clear
      {"ASCII85Decode", bytes_of("!"), "bad ASCII85 data"},
      {"ASCIIHexDecode", bytes_of("4G"), "bad ASCIIHex data"},
      {"RunLengthDecode", {0x05, 0x41}, "truncated RunLength data"},
  };
  for (const auto& c : cases) {
    expect_error(decode_stream(dict({{"Filter", name(c.filter)}}), c.raw), ParseErrorKind::BadStream, c.message);
  }
  expect_error(decode_stream(dict({{"Filter", name("Fl")},
                                   {"DecodeParms", Object(dict({{"Predictor", integer(12)}}))}}),
                             zlib_stored({9, 1})),
               ParseErrorKind::BadStream, "bad predictor row filter");
}

// --- Flate details ---------------------------------------------------------------------

TEST(DecodeStream, ZlibHeaderIsSkippedOnlyWhenValid) {
  const Bytes hi = {0x01, 0x02, 0x00, 0xFD, 0xFF, 'h', 'i'};
  Bytes with_header = {0x78, 0x9C};
  with_header.insert(with_header.end(), hi.begin(), hi.end());
  const Dictionary flate = dict({{"Filter", name("FlateDecode")}});
  EXPECT_EQ(decode_stream(flate, with_header).value(), bytes_of("hi"));
  // 0x78 0x00 is no header (0x7800 is not a multiple of 31): decoded from byte 0, it
  // is a non-final empty stored block, then the "hi" block.
  const Bytes no_header = {0x78, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x02, 0x00, 0xFD, 0xFF, 'h', 'i'};
  EXPECT_EQ(decode_stream(flate, no_header).value(), bytes_of("hi"));
  // The header's dictionary flag and window size are not examined.
  for (const Bytes& header : {Bytes{0x78, 0xBB}, Bytes{0x08, 0x1D}, Bytes{0xF8, 0x00}}) {
    ASSERT_EQ(((header[0] << 8) | header[1]) % 31, 0);
    Bytes in = header;
    in.insert(in.end(), hi.begin(), hi.end());
    EXPECT_EQ(decode_stream(flate, in).value(), bytes_of("hi"));
  }
  // A one-byte buffer has no header: raw DEFLATE that ends too early.
  expect_error(decode_stream(flate, Bytes{0x78}), ParseErrorKind::BadStream, "corrupt DEFLATE data");
}

TEST(DecodeStream, RawAndZlibWrappedStreamsDecodeAlikeWhateverTheChecksum) {
  const Dictionary flate = dict({{"Filter", name("FlateDecode")}});
  const Bytes raw = read_fixture("text_small_raw.deflate");
  Bytes wrapped = read_fixture("text_small_l6.zz");
  ASSERT_FALSE(raw.empty());
  const Bytes expected = decode_stream(flate, raw).value();
  EXPECT_EQ(decode_stream(flate, wrapped).value(), expected);
  wrapped.back() ^= 0xFF;  // a wrong Adler-32
  EXPECT_EQ(decode_stream(flate, wrapped).value(), expected);
  wrapped.resize(wrapped.size() - 4);  // none at all
  EXPECT_EQ(decode_stream(flate, wrapped).value(), expected);
  EXPECT_EQ(expected.size(), 3000u);
}

TEST(DecodeStream, CutShortFlateStreamFailsEvenIfMostOfItDecoded) {
  Bytes wrapped = read_fixture("text_small_l6.zz");
  wrapped.resize(wrapped.size() - 6);
  expect_error(decode_stream(dict({{"Filter", name("FlateDecode")}}), wrapped), ParseErrorKind::BadStream,
               "corrupt DEFLATE data");
}

// --- LZW details -----------------------------------------------------------------------

TEST(DecodeStream, EarlyChangeZeroSwitchesLzwToLateWidthChanges) {
  Bytes data;
  for (int i = 0; i < 3000; ++i) data.push_back(static_cast<std::uint8_t>((i * i + i / 7) & 0xFF));
  const Bytes late = testing::lzw_encode(data, {false, 0, true});
  const Bytes early = testing::lzw_encode(data, {true, 0, true});
  ASSERT_NE(late, early);
  auto lzw = [](Object early_change) {
    return dict({{"Filter", name("LZWDecode")}, {"DecodeParms", Object(dict({{"EarlyChange", early_change}}))}});
  };
  EXPECT_EQ(decode_stream(lzw(integer(0)), late).value(), data);
  EXPECT_EQ(decode_stream(lzw(integer(1)), early).value(), data);
  EXPECT_EQ(decode_stream(lzw(integer(7)), early).value(), data);
  EXPECT_EQ(decode_stream(lzw(Object(false)), early).value(), data);  // not an Integer: default
  EXPECT_EQ(decode_stream(dict({{"Filter", name("LZWDecode")}}), early).value(), data);
}

TEST(DecodeStream, PredictorFollowsLzwButNotTheSmallDecoders) {
  const Bytes rows = {2, 1, 2, 2, 1, 1};
  const Object predictor = Object(dict({{"Predictor", integer(12)}, {"Columns", integer(2)}}));
  EXPECT_EQ(decode_stream(dict({{"Filter", name("LZW")}, {"DecodeParms", predictor}}),
                          testing::lzw_encode(rows, {}))
                .value(),
            (Bytes{1, 2, 2, 3}));
  EXPECT_EQ(decode_stream(dict({{"Filter", name("AHx")}, {"DecodeParms", predictor}}), hex_of(rows)).value(), rows);
}

// --- ASCIIHex ---------------------------------------------------------------------------

TEST(AsciiHex, DigitPairsDecodeAndGreaterThanEndsTheData) {
  using namespace std::string_view_literals;
  const struct {
    std::string_view in;
    Bytes expected;
  } cases[] = {
      {"48 65 6C 6c 6F>", bytes_of("Hello")},
      {"48 65 6C 6c 6F>zz garbage", bytes_of("Hello")},
      {"A", {0xA0}},
      {"7>", {0x70}},
      {"", {}},
      {">", {}},
      {"4\0\t\n\f\r 1"sv, {0x41}},
      {"fF", {0xFF}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ascii_hex_decode(bytes_of(c.in)).value(), c.expected) << c.in;
  }
}

TEST(AsciiHex, AnyOtherByteFails) {
  using namespace std::string_view_literals;
  for (const std::string_view in : {"4G"sv, "41\v42"sv, "0x41"sv, "<41>"sv, "4 1 g"sv}) {
    expect_error(ascii_hex_decode(bytes_of(in)), ParseErrorKind::BadStream, "bad ASCIIHex data");
  }
}

TEST(AsciiHex, OutputPastTheBoundFails) {
  EXPECT_EQ(ascii_hex_decode(bytes_of("414243"), 3).value(), bytes_of("ABC"));
  expect_error(ascii_hex_decode(bytes_of("414243"), 2), ParseErrorKind::BadStream, "bad ASCIIHex data");
  expect_error(ascii_hex_decode(bytes_of("41424"), 2), ParseErrorKind::BadStream, "bad ASCIIHex data");
}

// --- RunLength --------------------------------------------------------------------------

TEST(RunLength, LiteralAndRepeatedRunsDecode) {
  const struct {
    Bytes in;
    Bytes expected;
  } cases[] = {
      {{0x02, 0x41, 0x42, 0x43, 0x80}, bytes_of("ABC")},
      {{0xFE, 0x58}, bytes_of("XXX")},
      {{0x81, 0x00}, Bytes(128, 0)},
      {{}, {}},
      {{0x80, 0x05}, {}},  // everything after 128 is ignored
      {{0x00, 0x41, 0xFF, 0x42, 0x80, 0x01}, bytes_of("ABB")},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(run_length_decode(cases[i].in).value(), cases[i].expected) << "case " << i;
  }
  Bytes literal = {0x7F};  // the longest literal run
  for (int i = 0; i < 128; ++i) literal.push_back(static_cast<std::uint8_t>(i));
  EXPECT_EQ(run_length_decode(literal).value(), Bytes(literal.begin() + 1, literal.end()));
}

TEST(RunLength, MissingRunBytesFail) {
  for (const Bytes& in : {Bytes{0x05, 0x41}, Bytes{0xFF}, Bytes{0x41, 0x41, 0xFF}, Bytes{0x00}}) {
    expect_error(run_length_decode(in), ParseErrorKind::BadStream, "truncated RunLength data");
  }
}

TEST(RunLength, OutputPastTheBoundFails) {
  const Bytes in = {0x81, 0x07, 0x00, 0x09};
  EXPECT_EQ(run_length_decode(in, 129).value().size(), 129u);
  expect_error(run_length_decode(in, 128 + 0), ParseErrorKind::BadStream, "truncated RunLength data");
  expect_error(run_length_decode(in, 100), ParseErrorKind::BadStream, "truncated RunLength data");
}

}  // namespace
}  // namespace folioscan
