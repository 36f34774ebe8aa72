// DEFLATE decoder: hand-built blocks, zlib-made fixtures, truncations, the output bound,
// and equivalence with the bit-at-a-time reference decoder on random and mutated streams.
#include "filter/inflate.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "deflate_reference.h"

namespace folioscan {
namespace {

using testing::BitWriter;
using testing::reachable_codes;
using testing::RefCode;
using testing::reference_inflate;

Bytes bytes_of(std::string_view s) { return Bytes(s.begin(), s.end()); }

void expect_corrupt(const Result<Bytes>& r) {
  ASSERT_FALSE(r.has_value());
  EXPECT_EQ(r.error().kind, ParseErrorKind::BadStream);
  EXPECT_EQ(r.error().message, "corrupt DEFLATE data");
}

// Takes the output as it comes; with `bytes_wanted` false the decoder only counts it.
class CountingSink final : public ByteSink {
 public:
  explicit CountingSink(bool bytes_wanted) : bytes_wanted_(bytes_wanted) {}
  void take(ByteView piece) override { bytes += piece.size(); }
  bool wants_bytes() const override { return bytes_wanted_; }
  void take_size(std::uint64_t size) override { bytes += size; }
  std::uint64_t bytes = 0;

 private:
  bool bytes_wanted_;
};

// Decoding into a sink, bytes wanted or only counted, gives inflate's verdict and size.
::testing::AssertionResult sinks_agree(ByteView in, const Result<Bytes>& whole, std::uint64_t max_output) {
  for (const bool bytes_wanted : {true, false}) {
    CountingSink sink(bytes_wanted);
    const auto size = inflate_to_sink(in, sink, max_output);
    const char* mode = bytes_wanted ? "sink" : "counting sink";
    if (size.has_value() != whole.has_value()) {
      return ::testing::AssertionFailure() << mode << (size ? " succeeded" : " failed") << ", inflate "
                                           << (whole ? "succeeded" : "failed") << " on " << in.size() << " bytes";
    }
    if (size && (*size != whole->size() || sink.bytes != *size)) {
      return ::testing::AssertionFailure() << mode << " gives size " << *size << " (sink saw " << sink.bytes
                                           << "), inflate " << whole->size();
    }
    if (!size && size.error().message != "corrupt DEFLATE data") {
      return ::testing::AssertionFailure() << mode << ": unexpected message " << size.error().message;
    }
  }
  return ::testing::AssertionSuccess();
}

// The decoder and the reference agree: both fail, or both give the same bytes; so do
// the sink decoders.
::testing::AssertionResult agrees_with_reference(ByteView in) {
  const auto fast = inflate(in);
  const auto ref = reference_inflate(in);
  if (fast.has_value() != ref.has_value()) {
    return ::testing::AssertionFailure()
           << "decoder " << (fast ? "succeeded" : "failed") << ", reference "
           << (ref ? "succeeded" : "failed") << " on " << in.size() << " bytes";
  }
  if (fast && *fast != *ref) {
    return ::testing::AssertionFailure() << "outputs differ on " << in.size() << " bytes";
  }
  if (!fast && fast.error().message != "corrupt DEFLATE data") {
    return ::testing::AssertionFailure() << "unexpected message " << fast.error().message;
  }
  return sinks_agree(in, fast, limits::kMaxDecodedBytes);
}

// A stored block of `n` bytes (n < 65536), not final: output a later block can reach.
void write_stored(BitWriter& w, std::size_t n, bool final_block = false) {
  w.bits(final_block ? 1 : 0, 1);
  w.bits(0, 2);
  w.byte(static_cast<std::uint8_t>(n));
  w.byte(static_cast<std::uint8_t>(n >> 8));
  w.byte(static_cast<std::uint8_t>(~n));
  w.byte(static_cast<std::uint8_t>(~n >> 8));
  for (std::size_t i = 0; i < n; ++i) w.byte(static_cast<std::uint8_t>(i * 13 + (i >> 8)));
}

// A dynamic block header whose code-length code gives all 19 symbols length 5, so that
// code-length symbol s is written as the 5-bit code s.
struct ClenItem {
  std::uint32_t sym;
  std::uint32_t extra = 0;
};

void write_dynamic_header(BitWriter& w, bool final_block, unsigned hlit, unsigned hdist,
                          const std::vector<ClenItem>& items) {
  w.bits(final_block ? 1 : 0, 1);
  w.bits(2, 2);
  w.bits(hlit - 257, 5);
  w.bits(hdist - 1, 5);
  w.bits(15, 4);
  for (int i = 0; i < 19; ++i) w.bits(5, 3);
  for (const ClenItem& item : items) {
    w.code(item.sym, 5);
    if (item.sym == 16) w.bits(item.extra, 2);
    if (item.sym == 17) w.bits(item.extra, 3);
    if (item.sym == 18) w.bits(item.extra, 7);
  }
}

std::vector<ClenItem> plain_items(const std::vector<std::uint8_t>& lengths) {
  std::vector<ClenItem> items;
  for (std::uint8_t l : lengths) items.push_back({l});
  return items;
}

// The same list with runs of zeros written as repeats 17 and 18.
std::vector<ClenItem> compact_items(const std::vector<std::uint8_t>& lengths) {
  std::vector<ClenItem> items;
  for (std::size_t i = 0; i < lengths.size();) {
    std::size_t run = 0;
    while (i + run < lengths.size() && lengths[i + run] == 0 && run < 138) ++run;
    if (run >= 11) {
      items.push_back({18, static_cast<std::uint32_t>(run - 11)});
    } else if (run >= 3) {
      items.push_back({17, static_cast<std::uint32_t>(run - 3)});
    } else {
      items.push_back({lengths[i]});
      run = 1;
    }
    i += run;
  }
  return items;
}

void put(BitWriter& w, const std::vector<RefCode>& codes, std::uint32_t sym) {
  ASSERT_NE(codes[sym].length, 0u) << "symbol " << sym << " has no reachable code";
  w.code(codes[sym].value, codes[sym].length);
}

// --- Hand-built streams -----------------------------------------------------------------

TEST(Inflate, EmptyInputFails) { expect_corrupt(inflate({})); }

TEST(Inflate, FinalFixedBlockWithOnlyEndOfBlockIsEmpty) {
  const Bytes in = {0x03, 0x00};
  const auto out = inflate(in);
  ASSERT_TRUE(out.has_value());
  EXPECT_TRUE(out->empty());
}

TEST(Inflate, StoredBlockCopiesPayloadWithoutCheckingNlen) {
  const Bytes in = {0x01, 0x05, 0x00, 0x12, 0x34, 'h', 'e', 'l', 'l', 'o'};
  EXPECT_EQ(inflate(in).value(), bytes_of("hello"));
}

TEST(Inflate, StoredBlockStartsAtTheNextByteBoundary) {
  BitWriter w;
  w.bits(0, 1);  // fixed block, not final: "ab"
  w.bits(1, 2);
  w.fixed_literal('a');
  w.fixed_literal('b');
  w.fixed_literal(256);
  w.bits(1, 1);  // stored, final
  w.bits(0, 2);
  w.byte(2);
  w.byte(0);
  w.byte(0);
  w.byte(0);
  w.byte('c');
  w.byte('d');
  const Bytes in = w.finish();
  EXPECT_EQ(inflate(in).value(), bytes_of("abcd"));
  EXPECT_TRUE(agrees_with_reference(in));
}

TEST(Inflate, StreamsThatBreakTheFormatFail) {
  struct Case {
    const char* what;
    Bytes in;
  };
  BitWriter nonfinal;
  nonfinal.bits(0, 1);
  nonfinal.bits(1, 2);
  nonfinal.fixed_literal('x');
  nonfinal.fixed_literal(256);
  BitWriter type3;
  type3.bits(1, 1);
  type3.bits(3, 2);
  BitWriter lit286, lit287, dist30, dist31, far, first_match;
  for (BitWriter* w : {&lit286, &lit287, &dist30, &dist31, &far, &first_match}) {
    w->bits(1, 1);
    w->bits(1, 2);
  }
  lit286.fixed_literal(286);
  lit287.fixed_literal(287);
  for (BitWriter* w : {&dist30, &dist31}) {
    w->fixed_literal('a');
    w->fixed_literal(257);
  }
  dist30.code(30, 5);
  dist31.code(31, 5);
  far.fixed_literal('a');
  far.fixed_match(3, 2);
  first_match.fixed_match(3, 1);
  for (BitWriter* w : {&lit286, &lit287, &dist30, &dist31, &far, &first_match}) {
    w->fixed_literal(256);
  }
  BitWriter repeat_first;
  write_dynamic_header(repeat_first, true, 257, 1, {{16, 0}});
  const std::vector<Case> cases = {
      {"last block not final", nonfinal.finish()},
      {"block type 3", type3.finish()},
      {"literal/length symbol 286", lit286.finish()},
      {"literal/length symbol 287", lit287.finish()},
      {"distance symbol 30", dist30.finish()},
      {"distance symbol 31", dist31.finish()},
      {"distance beyond the output", far.finish()},
      {"first match with no output", first_match.finish()},
      {"repeat code 16 first", repeat_first.finish()},
      {"stored block missing its lengths", {0x01, 0x05, 0x00}},
      {"stored block missing payload", {0x01, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    expect_corrupt(inflate(c.in));
    EXPECT_TRUE(agrees_with_reference(c.in));
  }
}

TEST(Inflate, BytesAfterTheFinalBlockAreIgnored) {
  const Bytes in = {0x01, 0x02, 0x00, 0xFD, 0xFF, 'o', 'k', 0xDE, 0xAD, 0xBE, 0xEF};
  EXPECT_EQ(inflate(in).value(), bytes_of("ok"));
}

TEST(Inflate, DistanceOneRightAfterOneLiteralRepeatsIt) {
  BitWriter w;
  w.bits(1, 1);
  w.bits(1, 2);
  w.fixed_literal('z');
  w.fixed_match(258, 1);
  w.fixed_match(3, 1);
  w.fixed_literal(256);
  EXPECT_EQ(inflate(w.finish()).value(), Bytes(262, 'z'));
}

TEST(Inflate, OverlappingCopiesRepeatEveryShortPeriod) {
  for (std::uint32_t period = 1; period <= 20; ++period) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    Bytes expected;
    for (std::uint32_t i = 0; i < period; ++i) {
      w.fixed_literal('a' + i);
      expected.push_back(static_cast<std::uint8_t>('a' + i));
    }
    for (std::uint32_t len : {3u, 17u, 258u, 100u}) {
      w.fixed_match(len, period);
      for (std::uint32_t i = 0; i < len; ++i) expected.push_back(expected[expected.size() - period]);
    }
    w.fixed_literal(256);
    const Bytes in = w.finish();
    EXPECT_EQ(inflate(in).value(), expected) << "period " << period;
  }
}

TEST(Inflate, LongestDistanceReachesBackToTheFirstByte) {
  BitWriter w;
  w.bits(0, 1);  // stored block of 32768 bytes, then a fixed block copying from its start
  w.bits(0, 2);
  Bytes expected;
  for (int part = 0; part < 2; ++part) {
    if (part == 1) {
      w.bits(0, 1);
      w.bits(0, 2);
    }
    w.byte(0x00);
    w.byte(0x40);
    w.byte(0xFF);
    w.byte(0xBF);
    for (int i = 0; i < 16384; ++i) {
      const auto b = static_cast<std::uint8_t>((i * 7 + part) & 0xFF);
      w.byte(b);
      expected.push_back(b);
    }
  }
  w.bits(1, 1);
  w.bits(1, 2);
  w.fixed_match(258, 32768);
  w.fixed_literal(256);
  for (int i = 0; i < 258; ++i) expected.push_back(expected[expected.size() - 32768]);
  const Bytes in = w.finish();
  EXPECT_EQ(inflate(in).value(), expected);
  EXPECT_TRUE(agrees_with_reference(in));
}

TEST(Inflate, SurplusLengthsFromTheLastRepeatDecodeDistances) {
  // Literal/length code: 'x' and end-of-block and length symbol 257 (3 bytes), 2 bits
  // each. Distance list: HDIST 2; after one entry a repeat adds three, one past the
  // list's end: distance symbol 2 (distance 3) exists only through that surplus.
  std::vector<std::uint8_t> lit(257 + 1, 0);
  lit['x'] = 2;
  lit['y'] = 2;
  lit[256] = 2;
  lit[257] = 2;
  std::vector<ClenItem> items = plain_items(lit);
  items.push_back({2});
  items.push_back({16, 0});  // three more 2s
  BitWriter w;
  write_dynamic_header(w, true, 258, 2, items);
  const auto lit_codes = reachable_codes(lit);
  const auto dist_codes = reachable_codes({2, 2, 2, 2});
  put(w, lit_codes, 'x');
  put(w, lit_codes, 'y');
  put(w, lit_codes, 'y');
  put(w, lit_codes, 'y');
  put(w, lit_codes, 257);
  put(w, dist_codes, 3);  // distance 4
  put(w, lit_codes, 256);
  const Bytes in = w.finish();
  EXPECT_EQ(inflate(in).value(), bytes_of("xyyyxyy"));
  // Without the repeat the same data cannot decode: symbol 3 would have no code.
  EXPECT_EQ(reachable_codes({2, 2})[1].length, 2u);
  EXPECT_TRUE(agrees_with_reference(in));
}

TEST(Inflate, IncompleteCodeFailsOnlyWhenAnUnassignedPatternIsMet) {
  // One distance code of length 1: pattern 0 is distance 1, pattern 1 is unassigned.
  std::vector<std::uint8_t> lit(258, 0);
  lit['q'] = 2;
  lit[256] = 2;
  lit[257] = 2;
  std::vector<ClenItem> items = plain_items(lit);
  items.push_back({1});
  const auto lit_codes = reachable_codes(lit);
  for (const bool use_unassigned : {false, true}) {
    BitWriter w;
    write_dynamic_header(w, true, 258, 1, items);
    put(w, lit_codes, 'q');
    put(w, lit_codes, 257);
    w.code(use_unassigned ? 1 : 0, 1);
    put(w, lit_codes, 256);
    const Bytes in = w.finish();
    if (use_unassigned) {
      expect_corrupt(inflate(in));
    } else {
      EXPECT_EQ(inflate(in).value(), bytes_of("qqqq"));
    }
    EXPECT_TRUE(agrees_with_reference(in));
  }
}

TEST(Inflate, OversubscribedCodeDecodesWhatTheCanonicalRuleReaches) {
  // End-of-block has length 1 (code 0); 'A', 'B', 'C' have length 2, but only two
  // 2-bit patterns (10, 11) are left: 'A' and 'B' decode, 'C' can never appear.
  std::vector<std::uint8_t> lit(257, 0);
  lit['A'] = 2;
  lit['B'] = 2;
  lit['C'] = 2;
  lit[256] = 1;
  std::vector<ClenItem> items = plain_items(lit);
  items.push_back({0});
  BitWriter w;
  write_dynamic_header(w, true, 257, 1, items);
  w.code(0b10, 2);
  w.code(0b11, 2);
  w.code(0b10, 2);
  w.code(0b0, 1);
  const Bytes in = w.finish();
  EXPECT_EQ(inflate(in).value(), bytes_of("ABA"));
  EXPECT_TRUE(agrees_with_reference(in));
  EXPECT_EQ(reachable_codes(lit)['C'].length, 0u);
}

TEST(Inflate, OutputLargerThan64MiBIsProducedInFull) {
  BitWriter w;
  w.bits(1, 1);
  w.bits(1, 2);
  w.fixed_literal(7);
  const std::size_t matches = (std::size_t{70} << 20) / 258;
  for (std::size_t i = 0; i < matches; ++i) w.fixed_match(258, 1);
  w.fixed_literal(256);
  const auto out = inflate(w.finish());
  ASSERT_TRUE(out.has_value());
  ASSERT_EQ(out->size(), 1 + matches * 258);
  EXPECT_EQ(std::count(out->begin(), out->end(), 7), static_cast<std::ptrdiff_t>(out->size()));
}

// --- Loop boundaries --------------------------------------------------------------------

TEST(InflateBoundaries, MatchesAroundTheFirstWindowEdge) {
  // A counting decoder checks distances only within the first 32768 bytes of output;
  // matches that reach exactly to the start, or one byte before it, just below, at and
  // above that edge, in the fast loop and in the steps near the end of the input.
  struct Case {
    std::size_t prefix;    // stored bytes before the Huffman block
    std::size_t literals;  // literals before the match
    int reach;             // distance minus the output so far
  };
  std::vector<Case> cases;
  for (const std::size_t prefix : {32700u, 32760u, 32765u, 32766u, 32767u, 32768u, 32769u, 40000u}) {
    for (const std::size_t literals : {0u, 1u, 3u}) {
      for (const int reach : {-1, 0, 1}) cases.push_back({prefix, literals, reach});
    }
  }
  for (const Case& c : cases) {
    for (const std::size_t tail : {0u, 40u}) {  // literals after: the fast loop, or the end
      BitWriter w;
      write_stored(w, c.prefix);
      w.bits(1, 1);
      w.bits(1, 2);
      for (std::size_t i = 0; i < c.literals; ++i) w.fixed_literal('L');
      const std::size_t before = c.prefix + c.literals;
      const std::size_t dist = std::min<std::size_t>(before + c.reach, 32768);
      w.fixed_match(258, static_cast<std::uint32_t>(dist));
      w.fixed_match(3, 1);
      for (std::size_t i = 0; i < tail; ++i) w.fixed_literal('t');
      w.fixed_literal(256);
      const Bytes in = w.finish();
      SCOPED_TRACE(::testing::Message() << "prefix " << c.prefix << " literals " << c.literals << " reach "
                                        << c.reach << " tail " << tail);
      EXPECT_EQ(inflate(in).has_value(), dist <= before);
      EXPECT_TRUE(agrees_with_reference(in));
    }
  }
}

TEST(InflateBoundaries, OverlappingCopiesOfEveryLengthAtShortDistances) {
  // Every length 3..258 at distances 1..8, after output of a window or not, and with
  // the last copies near the end of the input where the checked path copies them.
  for (const std::size_t prefix : {0u, 33000u}) {
    for (std::uint32_t dist = 1; dist <= 8; ++dist) {
      BitWriter w;
      if (prefix != 0) write_stored(w, prefix);
      w.bits(1, 1);
      w.bits(1, 2);
      for (std::uint32_t i = 0; i < 8; ++i) w.fixed_literal('a' + i);
      for (std::uint32_t len = 3; len <= 258; ++len) {
        w.fixed_match(len, dist);
        w.fixed_literal('0' + len % 10);
      }
      for (std::uint32_t len = 258; len >= 250; --len) w.fixed_match(len, dist);
      w.fixed_literal(256);
      const Bytes in = w.finish();
      SCOPED_TRACE(::testing::Message() << "prefix " << prefix << " distance " << dist);
      EXPECT_TRUE(inflate(in).has_value());
      EXPECT_TRUE(agrees_with_reference(in));
    }
  }
}

TEST(InflateBoundaries, StoredBlocksAtTheEndsOfTheInput) {
  // A stored block after a Huffman block that ends mid-byte, sized around the input
  // margins of the fast loops; the input ends with it, one byte short of it, or with
  // bytes after it; before or after a window of output.
  for (const std::size_t prefix : {0u, 33000u}) {
    for (const std::size_t len : {0u, 1u, 7u, 8u, 15u, 16u, 17u, 300u}) {
      for (const int end : {-1, 0, 5}) {
        BitWriter w;
        if (prefix != 0) write_stored(w, prefix);
        w.bits(0, 1);
        w.bits(1, 2);
        w.fixed_literal('h');
        w.fixed_match(3, 1);
        w.fixed_literal(256);
        write_stored(w, len, true);
        Bytes in = w.finish();
        if (end < 0) in.pop_back();
        for (int i = 0; i < end; ++i) in.push_back(0xA5);
        SCOPED_TRACE(::testing::Message() << "prefix " << prefix << " length " << len << " end " << end);
        EXPECT_EQ(inflate(in).has_value(), end >= 0);
        EXPECT_TRUE(agrees_with_reference(in));
      }
    }
  }
}

TEST(InflateBoundaries, BlocksOfEverySizePastTheWindowWithAFaultOrNone) {
  // Past the first window a counting decoder reads on ahead of itself: blocks shorter
  // and longer than that reach, the next block's header inside it, and a symbol that
  // may not appear (distance 30) at points in the last block or none.
  std::mt19937_64 rng(17);
  int checked = 0;
  for (const std::size_t symbols : {50u, 400u, 1500u, 4000u, 12000u}) {
    for (const int fault_at : {-1, 0, 1, 2, 3}) {  // quarter of the last block, or none
      BitWriter w;
      write_stored(w, 33000);
      const int blocks = 3;
      for (int b = 0; b < blocks; ++b) {
        w.bits(b == blocks - 1 ? 1 : 0, 1);
        w.bits(1, 2);
        for (std::size_t k = 0; k < symbols; ++k) {
          if (b == blocks - 1 && fault_at >= 0 && k == symbols * static_cast<std::size_t>(fault_at) / 4) {
            w.fixed_literal(257);
            w.code(30, 5);
          }
          if (rng() % 3 == 0) {
            w.fixed_match(3 + static_cast<std::uint32_t>(rng() % 256), 1 + static_cast<std::uint32_t>(rng() % 32768));
          } else {
            w.fixed_literal(static_cast<std::uint32_t>(rng() % 256));
          }
        }
        w.fixed_literal(256);
      }
      const Bytes in = w.finish();
      SCOPED_TRACE(::testing::Message() << symbols << " symbols a block, fault at " << fault_at);
      EXPECT_EQ(inflate(in).has_value(), fault_at < 0);
      ASSERT_TRUE(agrees_with_reference(in));
      ++checked;
    }
  }
  EXPECT_EQ(checked, 25);
}

TEST(InflateBoundaries, LongMatchesUpToTheEndOfAnExactlySizedInput) {
  // Past the window, complete codes in which a match takes 42 bits (length 227+ with a
  // 9-bit code and 5 extra bits, distance 24577+ with a 15-bit code and 13 extra), more
  // than any step: a block of them runs to the end of the input, whole or cut. Every bit
  // pattern decodes, so the reader ahead runs on wherever it starts, one symbol at a
  // time near the end, and may read no byte past it (the input sits in a buffer of
  // exactly its size).
  std::vector<std::uint8_t> lit(286, 0);
  for (std::uint32_t sym = 0; sym < 254; ++sym) lit[sym] = 8;
  for (const std::uint32_t sym : {256u, 257u, 258u, 284u}) lit[sym] = 9;
  std::vector<std::uint8_t> dist(30, 0);
  for (std::uint32_t sym = 0; sym < 14; ++sym) dist[sym] = static_cast<std::uint8_t>(sym + 1);
  dist[28] = 15;
  dist[29] = 15;
  std::vector<ClenItem> items = compact_items(lit);
  for (const ClenItem& item : compact_items(dist)) items.push_back(item);
  const auto lit_codes = reachable_codes(lit);
  const auto dist_codes = reachable_codes(dist);
  std::mt19937_64 rng(19);
  for (const std::size_t symbols : {600u, 700u, 900u}) {
    BitWriter w;
    write_stored(w, 33000);
    write_dynamic_header(w, true, 286, 30, items);
    for (std::size_t k = 0; k < symbols; ++k) {
      if (k % 5 != 0) {
        put(w, lit_codes, 284);
        w.bits(static_cast<std::uint32_t>(rng() % 31), 5);
        put(w, dist_codes, 29);
        w.bits(static_cast<std::uint32_t>(rng() % 8192), 13);
      } else {
        put(w, lit_codes, static_cast<std::uint32_t>(rng() % 254));
      }
    }
    put(w, lit_codes, 256);
    const Bytes whole = w.finish();
    for (std::size_t cut = 0; cut <= 600; cut += cut < 8 ? 1 : 5) {
      const std::size_t n = whole.size() - cut;
      const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[n]);
      std::copy_n(whole.begin(), n, exact.get());
      const ByteView in(exact.get(), n);
      SCOPED_TRACE(::testing::Message() << symbols << " symbols, cut " << cut);
      EXPECT_EQ(inflate(in).has_value(), cut == 0);
      EXPECT_TRUE(agrees_with_reference(in));
    }
  }
}

// --- Output bound ----------------------------------------------------------------------

TEST(Inflate, OutputUpToTheBoundDecodesAndOneByteMoreFails) {
  // Huffman data: 1 literal, then matches (the bound is met in the fast loop and in the
  // single-step path near the end of the input).
  for (const std::size_t matches : {std::size_t{3}, std::size_t{5000}}) {
    BitWriter w;
    w.bits(1, 1);
    w.bits(1, 2);
    w.fixed_literal('m');
    for (std::size_t i = 0; i < matches; ++i) w.fixed_match(258, 1);
    w.fixed_literal('n');
    w.fixed_literal(256);
    const Bytes in = w.finish();
    const std::uint64_t size = 2 + matches * 258;
    EXPECT_EQ(inflate(in, size).value().size(), size);
    expect_corrupt(inflate(in, size - 1));
    for (const std::uint64_t bound : {size, size - 1, size - 200, std::uint64_t{1}}) {
      EXPECT_TRUE(sinks_agree(in, inflate(in, bound), bound)) << "bound " << bound;
    }
    expect_corrupt(inflate(in, size - 200));
    expect_corrupt(inflate(in, 1));
  }
  const Bytes stored = {0x01, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'};
  EXPECT_EQ(inflate(stored, 3).value(), bytes_of("abc"));
  expect_corrupt(inflate(stored, 2));
  EXPECT_TRUE(inflate(Bytes{0x03, 0x00}, 0).has_value());
}

TEST(Inflate, BombPastTheBoundFailsHoldingOnlyTheHeldBytes) {
  // 70 MiB of one byte with a 1 MiB bound and 64 KiB held: the output is measured
  // while only the window is kept, and the bound fails it before any large buffer.
  BitWriter w;
  w.bits(1, 1);
  w.bits(1, 2);
  w.fixed_literal(7);
  for (std::size_t i = 0; i < (std::size_t{70} << 20) / 258; ++i) w.fixed_match(258, 1);
  w.fixed_literal(256);
  const Bytes in = w.finish();
  expect_corrupt(inflate(in, std::uint64_t{1} << 20, 65536));
  const auto whole = inflate(in, std::uint64_t{80} << 20, 65536);
  ASSERT_TRUE(whole.has_value());
  EXPECT_EQ(whole->size(), 1 + (std::size_t{70} << 20) / 258 * 258);
  EXPECT_EQ(whole->capacity(), whole->size());  // measured, then decoded to size
}

// --- zlib-made fixtures ----------------------------------------------------------------

struct Fixture {
  std::string name;
  Bytes deflate;  // DEFLATE data without zlib header
  std::size_t size = 0;
  std::string sha256;
};

Bytes read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<Fixture> load_fixtures() {
  const std::string dir = std::string(FOLIOSCAN_FIXTURES) + "/deflate/";
  std::ifstream manifest(dir + "manifest.txt");
  std::vector<Fixture> fixtures;
  std::string name, wrapping, sha;
  std::size_t size;
  while (manifest >> name >> wrapping >> size >> sha) {
    Bytes data = read_file(dir + name);
    if (wrapping == "zlib") data.erase(data.begin(), data.begin() + 2);
    fixtures.push_back({name, std::move(data), size, sha});
  }
  return fixtures;
}

std::string sha256_hex(ByteView data) {
  unsigned char digest[32];
  unsigned int len = 0;
  EVP_Digest(data.data(), data.size(), digest, &len, EVP_sha256(), nullptr);
  static const char* kHex = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < len; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

TEST(InflateFixtures, EveryZlibMadeStreamDecodesToItsOriginal) {
  const auto fixtures = load_fixtures();
  ASSERT_GE(fixtures.size(), 24u);
  for (const Fixture& f : fixtures) {
    SCOPED_TRACE(f.name);
    const auto out = inflate(f.deflate);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->size(), f.size);
    EXPECT_EQ(sha256_hex(*out), f.sha256);
    EXPECT_TRUE(agrees_with_reference(f.deflate));
  }
}

TEST(InflateFixtures, HoldingLittleOutputChangesNoResult) {
  // Held sizes from the smallest (twice the window) up: output longer than that is
  // measured first, every match still finds its window, and the bound still applies.
  for (const Fixture& f : load_fixtures()) {
    SCOPED_TRACE(f.name);
    const auto whole = inflate(f.deflate);
    ASSERT_TRUE(whole.has_value());
    for (const std::uint64_t held : {std::uint64_t{0}, std::uint64_t{65536}, std::uint64_t{100000}}) {
      EXPECT_EQ(inflate(f.deflate, limits::kMaxDecodedBytes, held).value(), *whole);
      if (!whole->empty()) expect_corrupt(inflate(f.deflate, whole->size() - 1, held));
    }
    // Output exactly at the bound, and one byte past it, through the sinks.
    EXPECT_TRUE(sinks_agree(f.deflate, whole, whole->size()));
    if (!whole->empty()) {
      EXPECT_TRUE(sinks_agree(f.deflate, inflate(f.deflate, whole->size() - 1), whole->size() - 1));
    }
  }
}

TEST(InflateFixtures, EveryTruncationOfASmallStreamFails) {
  for (const Fixture& f : load_fixtures()) {
    if (f.name != "text_small_raw.deflate" && f.name != "text_small_l9.zz" &&
        f.name != "short_periods_l9.zz" && f.name != "periodic_l6.zz") {
      continue;
    }
    SCOPED_TRACE(f.name);
    // zlib streams keep their Adler-32 trailer here; cuts inside it still decode.
    const bool has_trailer = f.name.ends_with(".zz");
    const std::size_t body = f.deflate.size() - (has_trailer ? 4 : 0);
    for (std::size_t cut = 0; cut < f.deflate.size(); ++cut) {
      const ByteView prefix(f.deflate.data(), cut);
      if (cut < body) expect_corrupt(inflate(prefix));
      ASSERT_TRUE(agrees_with_reference(prefix)) << "cut at " << cut;
    }
  }
}

TEST(InflateFixtures, TruncationsOfLargeStreamsAgreeWithTheReference) {
  std::mt19937_64 rng(7);
  for (const Fixture& f : load_fixtures()) {
    if (f.deflate.size() < 4096) continue;
    SCOPED_TRACE(f.name);
    for (int i = 0; i < 6; ++i) {
      const std::size_t cut = rng() % f.deflate.size();
      ASSERT_TRUE(agrees_with_reference(ByteView(f.deflate.data(), cut))) << "cut at " << cut;
    }
    // The last bytes, where the decoder leaves its fast loop.
    for (std::size_t back = 1; back <= 24; ++back) {
      ASSERT_TRUE(agrees_with_reference(ByteView(f.deflate.data(), f.deflate.size() - back)));
    }
  }
}

TEST(InflateFixtures, MutatedStreamsAgreeWithTheReference) {
  std::mt19937_64 rng(11);
  const auto fixtures = load_fixtures();
  int decoded = 0;
  for (int iter = 0; iter < 600; ++iter) {
    const Fixture& f = fixtures[rng() % fixtures.size()];
    if (f.deflate.empty()) continue;
    Bytes data = f.deflate;
    if (data.size() > 20000) data.resize(20000 + rng() % 100);  // keep the reference quick
    const int flips = 1 + static_cast<int>(rng() % 3);
    for (int k = 0; k < flips; ++k) {
      // Mostly near the start, where block headers and code tables live.
      const std::size_t limit = (rng() & 1) ? std::min<std::size_t>(data.size(), 64) : data.size();
      data[rng() % limit] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    }
    ASSERT_TRUE(agrees_with_reference(data)) << f.name << " iteration " << iter;
    decoded += inflate(data).has_value() ? 1 : 0;
  }
  EXPECT_GT(decoded, 0);
}

// --- Random streams --------------------------------------------------------------------

TEST(InflateRandom, RandomBytesAgreeWithTheReference) {
  std::mt19937_64 rng(3);
  for (int iter = 0; iter < 4000; ++iter) {
    Bytes data(1 + rng() % 600);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    // Steer the first block header: mostly dynamic, some fixed, some stored.
    const unsigned type = (iter % 4 == 0) ? 1 : (iter % 9 == 0) ? 0 : 2;
    data[0] = static_cast<std::uint8_t>((data[0] & ~6u) | (type << 1));
    ASSERT_TRUE(agrees_with_reference(data)) << "iteration " << iter;
  }
}

// Random length lists: complete, incomplete, over-subscribed, with long codes.
std::vector<std::uint8_t> random_lengths(std::mt19937_64& rng, std::size_t n, std::uint32_t must_have) {
  std::vector<std::uint8_t> lengths(n, 0);
  switch (rng() % 4) {
    case 0:  // dense random lengths: usually over-subscribed
      for (auto& l : lengths) l = static_cast<std::uint8_t>(rng() % 16);
      break;
    case 1:  // sparse, long codes: usually incomplete, exercises second-level tables
      for (auto& l : lengths) l = (rng() % 3 == 0) ? static_cast<std::uint8_t>(9 + rng() % 7) : 0;
      break;
    case 2: {  // a complete code: lengths from splitting leaves at random
      if (n < 2) {
        lengths[0] = static_cast<std::uint8_t>(1 + rng() % 15);
        break;
      }
      std::vector<std::uint8_t> leaves = {1, 1};
      const std::size_t target = 2 + rng() % (n - 1);
      while (leaves.size() < target) {
        const std::size_t i = rng() % leaves.size();
        if (leaves[i] >= 15) continue;
        const auto l = static_cast<std::uint8_t>(leaves[i] + 1);
        leaves[i] = l;
        leaves.push_back(l);
      }
      std::vector<std::size_t> symbols(n);
      for (std::size_t i = 0; i < n; ++i) symbols[i] = i;
      std::shuffle(symbols.begin(), symbols.end(), rng);
      for (std::size_t i = 0; i < leaves.size(); ++i) lengths[symbols[i]] = leaves[i];
      if (rng() % 2) lengths[symbols[rng() % leaves.size()]] = 0;  // now incomplete
      break;
    }
    default:  // few short codes, some over-subscribed at one length
      for (int k = 0; k < 1 + static_cast<int>(rng() % 8); ++k) {
        lengths[rng() % n] = static_cast<std::uint8_t>(1 + rng() % 4);
      }
      break;
  }
  if (must_have < n && lengths[must_have] == 0) lengths[must_have] = static_cast<std::uint8_t>(1 + rng() % 15);
  return lengths;
}

TEST(InflateRandom, RandomCodeLengthSetsAgreeWithTheReference) {
  std::mt19937_64 rng(5);
  int succeeded = 0;
  const int iterations = 3000;
  for (int iter = 0; iter < iterations; ++iter) {
    BitWriter w;
    // Every third stream starts with a window of stored output: a decoder that only
    // counts then decodes the Huffman data in steps, distances unchecked.
    std::size_t produced = 0;
    if (iter % 3 == 0) {
      produced = 33000;
      write_stored(w, produced);
    }
    const int blocks = 1 + static_cast<int>(rng() % 3);
    for (int b = 0; b < blocks; ++b) {
      const unsigned hlit = 257 + static_cast<unsigned>(rng() % 32);
      const unsigned hdist = 1 + static_cast<unsigned>(rng() % 32);
      const auto lit = random_lengths(rng, hlit, 256);
      auto dist = random_lengths(rng, hdist, 0);
      std::vector<ClenItem> items = plain_items(lit);
      for (auto l : dist) items.push_back({l});
      // Sometimes a final repeat (16) replaces the last distance length and runs past
      // HLIT + HDIST: the surplus lengths lengthen the distance code.
      if (rng() % 3 == 0) {
        items.pop_back();
        dist.pop_back();
        const std::uint32_t extra = static_cast<std::uint32_t>(rng() % 4);
        items.push_back({16, extra});
        const std::uint8_t copied = dist.empty() ? lit.back() : dist.back();
        dist.insert(dist.end(), 3 + extra, copied);
      }
      write_dynamic_header(w, b == blocks - 1, hlit, hdist, items);
      const auto lit_codes = reachable_codes(lit);
      const auto dist_codes = reachable_codes(dist);
      std::vector<std::uint32_t> lit_syms, len_syms, dist_syms;
      for (std::uint32_t s = 0; s < lit_codes.size(); ++s) {
        if (lit_codes[s].length == 0) continue;
        if (s < 256) lit_syms.push_back(s);
        if (s > 256) len_syms.push_back(s);
      }
      for (std::uint32_t s = 0; s < dist_codes.size(); ++s) {
        if (dist_codes[s].length != 0) dist_syms.push_back(s);
      }
      const int symbols = static_cast<int>(rng() % 3000);
      const bool junk = rng() % 4 == 0;  // random bits between symbols in some streams
      for (int k = 0; k < symbols; ++k) {
        const unsigned pick = static_cast<unsigned>(rng() % 100);
        if (pick < 55 && !lit_syms.empty()) {
          put(w, lit_codes, lit_syms[rng() % lit_syms.size()]);
          ++produced;
        } else if (pick < 99 && !len_syms.empty() && !dist_syms.empty() && produced > 0) {
          const std::uint32_t ls = len_syms[rng() % len_syms.size()];
          put(w, lit_codes, ls);
          if (ls >= 257 && ls <= 285) w.bits(static_cast<std::uint32_t>(rng()), testing::kRefLengthExtra[ls - 257]);
          // Prefer distances that reach back no further than the output.
          std::uint32_t ds = dist_syms[rng() % dist_syms.size()];
          for (int tries = 0; tries < 8 && ds < 30 && testing::kRefDistBase[ds] > produced; ++tries) {
            ds = dist_syms[rng() % dist_syms.size()];
          }
          put(w, dist_codes, ds);
          if (ds < 30) {
            const std::uint32_t extra_bits = testing::kRefDistExtra[ds];
            const std::uint32_t room = produced >= testing::kRefDistBase[ds]
                                           ? static_cast<std::uint32_t>(produced - testing::kRefDistBase[ds])
                                           : 0;
            const std::uint32_t max_extra = (1u << extra_bits) - 1;
            w.bits(static_cast<std::uint32_t>(rng() % (std::min(room, max_extra) + 1)), extra_bits);
          }
          produced += 3;
        } else if (junk) {
          w.bits(static_cast<std::uint32_t>(rng()), 1 + static_cast<unsigned>(rng() % 8));
        }
      }
      if (lit_codes[256].length != 0) put(w, lit_codes, 256);
    }
    Bytes in = w.finish();
    if (rng() % 8 == 0 && !in.empty()) in.resize(rng() % in.size());
    ASSERT_TRUE(agrees_with_reference(in)) << "iteration " << iter;
    succeeded += inflate(in).has_value() ? 1 : 0;
  }
  // Junk and unreachable symbols make many streams fail; enough must decode fully.
  EXPECT_GT(succeeded, iterations / 10);
}

TEST(InflateRandom, EveryLengthSetOverFiveSymbolsAgreesWithTheReference) {
  // All 7^5 assignments of these lengths to 'a', 'b', 'c', end-of-block and length 3:
  // complete, incomplete, over-subscribed (also right after a complete level), with
  // codes in the root table and in second-level tables.
  constexpr std::uint8_t kChoices[] = {0, 1, 2, 3, 10, 11, 15};
  constexpr std::uint32_t kSymbols[] = {'a', 'b', 'c', 256, 257};
  std::mt19937_64 rng(13);
  int decoded = 0;
  for (std::uint32_t combo = 0; combo < 16807; ++combo) {
    std::vector<std::uint8_t> lit(258, 0);
    std::uint32_t rest = combo;
    for (std::uint32_t sym : kSymbols) {
      lit[sym] = kChoices[rest % 7];
      rest /= 7;
    }
    const auto codes = reachable_codes(lit);
    std::vector<ClenItem> items = compact_items(lit);
    items.push_back({1});  // distance 1 only
    BitWriter w;
    write_dynamic_header(w, true, 258, 1, items);
    if (combo % 2 == 0) {
      for (int k = 0; k < 8; ++k) {
        const std::uint32_t sym = kSymbols[rng() % 5];
        if (codes[sym].length == 0 || sym == 256) continue;
        w.code(codes[sym].value, codes[sym].length);
        if (sym == 257) w.code(0, 1);
      }
      if (codes[256].length != 0) w.code(codes[256].value, codes[256].length);
    } else {
      w.bits(static_cast<std::uint32_t>(rng()), 32);
      w.bits(static_cast<std::uint32_t>(rng()), 16);
    }
    const Bytes in = w.finish();
    ASSERT_TRUE(agrees_with_reference(in)) << "combination " << combo;
    decoded += inflate(in).has_value() ? 1 : 0;
  }
  EXPECT_GT(decoded, 3000);
}

}  // namespace
}  // namespace folioscan
