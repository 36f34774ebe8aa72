// DEFLATE decoding of a whole buffer: stored, fixed and dynamic blocks, decoded with
// lookup tables over a 64-bit bit buffer. inflate returns output only after the final
// block and fails every fault, truncation included, with "corrupt DEFLATE data";
// inflate_partial keeps the output decoded before a fault, for the repairing reader.
#include "inflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace folioscan {
namespace {

constexpr const char* kCorrupt = "corrupt DEFLATE data";

// The fault of a partial decode: inflate's error for the same data.
std::optional<ParseError> partial_fault(bool complete) {
  if (complete) return std::nullopt;
  return ParseError{kCorrupt, ParseErrorKind::BadStream};
}

// ---------------------------------------------------------------------------------------
// Huffman codes
//
// A code is given by one length per symbol (0: no code). Codes are assigned canonically:
// for each length L in increasing order, the symbols of that length in increasing symbol
// order get the consecutive values first(L), first(L) + 1, ..., where
// first(1) = 0 and first(L + 1) = 2 * (first(L) + count(L)). A bit pattern is matched
// most-significant bit first: after reading L bits with value v, the pattern is the code
// of the symbol at position v - first(L) of length L when 0 <= v - first(L) < count(L).
//
// Lengths from a file need not form a complete prefix code, and this decoder accepts any
// set, defined by that matching rule alone:
//  - incomplete sets leave some patterns unmatched; such a pattern fails only when it is
//    met (after 15 bits without a match);
//  - over-subscribed sets are decoded as the matching rule dictates: once
//    first(L) + count(L) reaches 2^L, every remaining L-bit pattern is matched at length L,
//    symbols whose value would not fit in L bits can never be decoded, and no longer
//    code is ever reached.
// The reachable codes form a prefix-free set, so they can be laid out in a table.
//
// Table layout: one 32-bit entry per pattern of `root` bits, indexed by the next `root`
// input bits (DEFLATE packs Huffman codes most-significant bit first into a stream read
// from the least-significant bit, so the index is the bit-reversed code). Codes no longer
// than `root` fill every entry whose low bits are their reversed code. Codes longer than
// `root` share a subtable per root prefix, indexed by the bits after the root bits and
// sized by the longest code under that prefix. Entry fields:
//   bits 0-3   code length in bits (total, subtable codes included)
//   bits 4-7   extra bits that follow the code (lengths, distances); for a subtable
//              link: the subtable's index width
//   bits 8-10  kind
//   bits 16-31 literal byte, length or distance base, code-length symbol, or the offset
//              of a subtable
// A pattern that matches no code gets kKindInvalid.
// ---------------------------------------------------------------------------------------

enum : std::uint32_t {
  kKindLiteral = 0,  // a literal byte, or a code-length symbol
  kKindMatch = 1,    // a length (literal/length code) or a distance (distance code)
  kKindEnd = 2,      // end of block
  kKindLink = 3,     // pointer to a subtable
  kKindInvalid = 4,  // no code, or a symbol that may not appear (286, 287, 30, 31, ...)
};

constexpr std::uint32_t make_entry(std::uint32_t kind, std::uint32_t value, std::uint32_t extra) {
  return (value << 16) | (kind << 8) | (extra << 4);
}
constexpr std::uint32_t entry_length(std::uint32_t e) { return e & 15; }
constexpr std::uint32_t entry_extra(std::uint32_t e) { return (e >> 4) & 15; }
constexpr std::uint32_t entry_kind(std::uint32_t e) { return (e >> 8) & 7; }
constexpr std::uint32_t entry_value(std::uint32_t e) { return e >> 16; }

constexpr std::uint32_t kInvalidEntry = make_entry(kKindInvalid, 0, 0);

constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kLitRootBits = 10;
// A decoder that only counts its output looks up steps of this many bits (see
// build_steps); its literal/length table has the same root.
constexpr unsigned kStepBits = 11;
constexpr unsigned kDistRootBits = 8;
constexpr unsigned kCodeLengthRootBits = 7;  // code-length codes are at most 7 bits long

// A length list holds at most HLIT + HDIST (320) entries plus the overshoot of one last
// repeat (at most 137), so every symbol fits below 512.
constexpr std::size_t kMaxSymbols = 512;

constexpr std::array<std::uint16_t, 29> kLengthBase = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1,
                                                       1, 1, 2, 2, 2, 2, 3, 3, 3, 3,
                                                       4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,
                                                     4, 4, 5, 5, 6, 6, 7,  7,  8,  8,
                                                     9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

enum class Alphabet { LitLen, Distance, CodeLength };

std::uint32_t symbol_entry(Alphabet alphabet, std::uint32_t sym) {
  switch (alphabet) {
    case Alphabet::LitLen:
      if (sym < 256) return make_entry(kKindLiteral, sym, 0);
      if (sym == 256) return make_entry(kKindEnd, 0, 0);
      if (sym <= 285) return make_entry(kKindMatch, kLengthBase[sym - 257], kLengthExtra[sym - 257]);
      return kInvalidEntry;
    case Alphabet::Distance:
      if (sym < 30) return make_entry(kKindMatch, kDistBase[sym], kDistExtra[sym]);
      return kInvalidEntry;
    case Alphabet::CodeLength:
      return make_entry(kKindLiteral, sym, 0);
  }
  return kInvalidEntry;
}

constexpr std::array<std::uint8_t, 256> make_byte_reversal() {
  std::array<std::uint8_t, 256> t{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned r = 0;
    for (unsigned i = 0; i < 8; ++i) r |= ((v >> i) & 1) << (7 - i);
    t[v] = static_cast<std::uint8_t>(r);
  }
  return t;
}
constexpr std::array<std::uint8_t, 256> kByteReversal = make_byte_reversal();

// The low `n` bits of `v` (n <= 16) in reverse order.
inline std::uint32_t reverse_bits(std::uint32_t v, unsigned n) {
  const std::uint32_t r = (std::uint32_t{kByteReversal[v & 0xFF]} << 8) | kByteReversal[(v >> 8) & 0xFF];
  return r >> (16 - n);
}

// Fills `table` (root table, then subtables) for the code given by `lengths`.
void build_table(const std::uint8_t* lengths, std::size_t n, unsigned root, Alphabet alphabet,
                 std::vector<std::uint32_t>& table) {
  std::array<std::uint16_t, kMaxCodeLength + 1> counts{};
  for (std::size_t s = 0; s < n; ++s) ++counts[lengths[s]];
  counts[0] = 0;

  // Symbols sorted by length, then by value.
  std::array<std::uint16_t, kMaxCodeLength + 1> offsets{};
  for (unsigned len = 1; len < kMaxCodeLength; ++len) {
    offsets[len + 1] = static_cast<std::uint16_t>(offsets[len] + counts[len]);
  }
  std::array<std::uint16_t, kMaxSymbols> sorted;
  for (std::size_t s = 0; s < n; ++s) {
    if (lengths[s] != 0) sorted[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);
  }

  // The reachable codes, in canonical order (which is also increasing order of their
  // root prefixes, and of length).
  struct Code {
    std::uint16_t value;
    std::uint8_t length;
    std::uint16_t symbol;
  };
  std::array<Code, kMaxSymbols> codes;
  std::size_t code_count = 0;
  std::uint32_t first = 0;
  std::uint32_t index = 0;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    const std::uint32_t space = std::uint32_t{1} << len;  // first < space holds here
    const std::uint32_t count = counts[len];
    const std::uint32_t reachable = std::min(count, space - first);
    for (std::uint32_t i = 0; i < reachable; ++i) {
      codes[code_count++] = Code{static_cast<std::uint16_t>(first + i), static_cast<std::uint8_t>(len),
                                 sorted[index + i]};
    }
    if (first + count >= space) break;  // every pattern reaching this length matched here
    index += count;
    first = (first + count) * 2;
  }

  // Subtable widths: the longest code under each root prefix is the last one listed.
  const std::size_t root_size = std::size_t{1} << root;
  std::size_t total = root_size;
  std::array<std::uint8_t, kMaxSymbols> sub_bits{};  // per code: its subtable's width
  for (std::size_t i = code_count; i-- > 0;) {
    const Code& c = codes[i];
    if (c.length <= root) break;
    const std::uint32_t prefix = std::uint32_t{c.value} >> (c.length - root);
    const bool last_of_prefix = i + 1 == code_count ||
                                (std::uint32_t{codes[i + 1].value} >> (codes[i + 1].length - root)) != prefix;
    sub_bits[i] = last_of_prefix ? static_cast<std::uint8_t>(c.length - root) : sub_bits[i + 1];
    if (last_of_prefix) total += std::size_t{1} << sub_bits[i];
  }
  table.assign(total, kInvalidEntry);

  std::size_t next_sub = root_size;
  std::uint32_t open_prefix = ~std::uint32_t{0};
  std::size_t sub_offset = 0;
  for (std::size_t i = 0; i < code_count; ++i) {
    const Code& c = codes[i];
    const std::uint32_t entry = symbol_entry(alphabet, c.symbol) | c.length;
    if (c.length <= root) {
      const std::size_t step = std::size_t{1} << c.length;
      for (std::size_t k = reverse_bits(c.value, c.length); k < root_size; k += step) table[k] = entry;
      continue;
    }
    const unsigned rest = c.length - root;
    const std::uint32_t prefix = std::uint32_t{c.value} >> rest;
    const unsigned width = sub_bits[i];
    if (prefix != open_prefix) {
      open_prefix = prefix;
      sub_offset = next_sub;
      next_sub += std::size_t{1} << width;
      table[reverse_bits(prefix, root)] =
          make_entry(kKindLink, static_cast<std::uint32_t>(sub_offset), width);
    }
    const std::size_t step = std::size_t{1} << rest;
    const std::size_t sub_size = std::size_t{1} << width;
    for (std::size_t k = reverse_bits(c.value & ((1u << rest) - 1), rest); k < sub_size; k += step) {
      table[sub_offset + k] = entry;
    }
  }
}

inline std::uint32_t lookup(const std::uint32_t* table, unsigned root, std::uint64_t bits) {
  std::uint32_t e = table[bits & ((std::uint64_t{1} << root) - 1)];
  if (entry_kind(e) == kKindLink) {
    e = table[entry_value(e) + ((bits >> root) & ((std::uint32_t{1} << entry_extra(e)) - 1))];
  }
  return e;
}

// ---------------------------------------------------------------------------------------
// Steps, for a decoder that only counts its output once it is a window long
//
// Past the first 32768 bytes of output no distance can reach before the start, so a
// match's distance need not be known, only how many bits it takes. A step is the symbol
// the next kStepBits input bits decide: a literal, or a match (a length code with its
// extra bits, then a distance code, whose extra bits are skipped unread) whose codes fit
// in those bits. Entry fields:
//   bits 0-5   bits the step consumes, skipped distance bits included (the low six
//              bits, so that the entry itself can be the shift count)
//   bits 16-31 bytes of output it stands for; 0: no step, decode the symbol by the
//              ordinary tables (end of block, a code longer than the step bits, a
//              symbol that may not appear)
// ---------------------------------------------------------------------------------------

constexpr std::uint32_t make_step(std::uint32_t output, std::uint32_t consumed) { return (output << 16) | consumed; }
constexpr std::uint32_t step_consumed(std::uint32_t e) { return e & 63; }
constexpr std::uint32_t step_output(std::uint32_t e) { return e >> 16; }

// `lit` has kStepBits root bits, `dist` kDistRootBits.
void build_steps(const std::uint32_t* lit, const std::uint32_t* dist, std::array<std::uint32_t, 1u << kStepBits>& steps) {
  constexpr std::uint32_t n = 1u << kStepBits;
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::uint32_t e = lit[i];
    const std::uint32_t len = entry_length(e);
    // Most entries are literals: one step of one byte.
    if (entry_kind(e) == kKindLiteral) {
      steps[i] = make_step(1, len);
      continue;
    }
    std::uint32_t step = 0;
    if (entry_kind(e) == kKindMatch) {
      // A match: its length code and extra bits, then a distance code, within the bits.
      const std::uint32_t extra = entry_extra(e);
      const std::uint32_t at = len + extra;
      const std::uint32_t length = entry_value(e) + ((i >> len) & ((1u << extra) - 1));
      const std::uint32_t d = dist[(i >> at) & ((1u << kDistRootBits) - 1)];
      const std::uint32_t decided = at + entry_length(d);
      if (entry_kind(d) == kKindMatch && decided <= kStepBits) step = make_step(length, decided + entry_extra(d));
    }
    steps[i] = step;
  }
}

inline std::uint64_t load_le64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = std::byteswap(v);
  return v;
}

// ---------------------------------------------------------------------------------------
// Bit reader
//
// `bits` holds `count` unread input bits, next bit lowest. Bits above `count` are either
// zero or copies of the bits of the input bytes not yet counted (the word refill loads
// eight bytes but only counts the whole bytes that fit), so OR-ing a byte in at `count`
// is always correct. A read of n bits succeeds only when n <= count after a refill, i.e.
// exactly when the input really holds those bits: a table lookup may look at padding
// past the end, but an entry whose code is longer than the real bits left is rejected,
// which is where reading one bit at a time would have run out as well.
// ---------------------------------------------------------------------------------------

struct BitState {
  const std::uint8_t* in;
  const std::uint8_t* end;
  std::uint64_t bits;
  unsigned count;
};

// Word refill: needs 8 readable bytes; leaves 56 to 63 bits counted.
inline void refill_word(BitState& s) {
  s.bits |= load_le64(s.in) << s.count;
  s.in += (63 - s.count) >> 3;
  s.count |= 56;
}

// Refill near the end of the input: byte by byte, while bytes remain.
inline void refill(BitState& s) {
  if (s.end - s.in >= 8) {
    refill_word(s);
    return;
  }
  while (s.count <= 48 && s.in < s.end) {
    s.bits |= std::uint64_t{*s.in++} << s.count;
    s.count += 8;
  }
}

inline bool ensure_bits(BitState& s, unsigned n) {
  if (s.count < n) refill(s);
  return s.count >= n;
}

inline void drop_bits(BitState& s, unsigned n) {
  s.bits >>= n;
  s.count -= n;
}

inline std::uint32_t take_bits(BitState& s, unsigned n) {
  const std::uint32_t v = static_cast<std::uint32_t>(s.bits & ((std::uint64_t{1} << n) - 1));
  drop_bits(s, n);
  return v;
}

// Decodes one symbol entry with exact end-of-input semantics; false when the input ends
// inside the code or the pattern matches nothing.
inline bool decode_checked(BitState& s, const std::uint32_t* table, unsigned root, std::uint32_t& e) {
  if (s.count < kMaxCodeLength) refill(s);
  e = lookup(table, root, s.bits);
  if (entry_kind(e) == kKindInvalid || entry_length(e) > s.count) return false;
  drop_bits(s, entry_length(e));
  return true;
}

// The fast loop runs while this much output space is free: two literals and a longest
// match, plus the 8-byte overrun of the word-wise match copy.
constexpr std::size_t kFastOutputMargin = 2 + 258 + 8 + 6;
// ... and while this much input is left: two word refills of at most 7 bytes each.
constexpr std::ptrdiff_t kFastInputMargin = 16;

// Matches reach at most this far back: all a decoder that drops its output must keep.
constexpr std::size_t kWindowSize = 32768;

// Output a decoder into a sink holds before handing the oldest on: a few windows, so
// that each hand-over moves little and happens seldom.
constexpr std::size_t kSinkHeldBytes = std::size_t{1} << 20;

// ---------------------------------------------------------------------------------------
// Counting in steps, with a second reader ahead
//
// Each step depends on the one before (its bits start where the last ended), so one
// reader waits on a table load per step. Huffman codes resynchronise: a reader started
// at an arbitrary bit of the same block soon falls on the symbol boundaries the true
// reading passes through, and from a common boundary both read the same symbols. So a
// second reader starts some way ahead and runs alongside, recording where its first
// steps end; when the first reader reaches a position the second one recorded, it takes
// over the second one's state and count from there. Nothing of the ahead reader is used
// unless the first reader itself arrives at one of its boundaries, so the count is the
// one reading one symbol after another gives. The ahead reader stops at an end of block
// or a symbol that cannot appear, before it, and then the first reader meets that symbol
// itself.
// ---------------------------------------------------------------------------------------

constexpr std::uint64_t kStepMask = (std::uint64_t{1} << kStepBits) - 1;
// How far ahead the second reader starts, and how many of its first boundaries it keeps.
constexpr std::ptrdiff_t kAheadBytes = 2048;
constexpr std::size_t kAheadRecords = 48;

enum class SymbolEnd { Ok, End, Fault };

// One symbol by the ordinary tables from `bits` (at least a longest match's worth):
// its bits in `used` and its output added to `total`; for an end of block `used` is
// its code's length and nothing is added.
[[gnu::always_inline]] inline SymbolEnd count_symbol(std::uint64_t bits, std::size_t& total, std::uint32_t& used,
                                                     const std::uint32_t* lt, const std::uint32_t* dt) {
  const std::uint32_t e = lookup(lt, kStepBits, bits);
  used = entry_length(e);
  if (entry_kind(e) == kKindLiteral) {
    ++total;
    return SymbolEnd::Ok;
  }
  if (entry_kind(e) == kKindEnd) return SymbolEnd::End;
  if (entry_kind(e) != kKindMatch) return SymbolEnd::Fault;
  const std::uint32_t at = entry_length(e) + entry_extra(e);
  const std::size_t length = entry_value(e) + ((bits >> entry_length(e)) & ((1u << entry_extra(e)) - 1));
  const std::uint32_t d = lookup(dt, kDistRootBits, bits >> at);
  if (entry_kind(d) != kKindMatch) return SymbolEnd::Fault;
  used = at + entry_length(d) + entry_extra(d);
  total += length;
  return SymbolEnd::Ok;
}

// A reader of steps: a BitState without its end, which all readers share.
struct StepReader {
  const std::uint8_t* in;
  std::uint64_t bits;
  unsigned count;
  std::size_t total;  // output counted

  void refill() {
    bits |= load_le64(in) << count;
    in += (63 - count) >> 3;
    count |= 56;
  }
  void consume(std::uint32_t n) {
    bits >>= n;
    count -= n;
  }
};

// Two steps from one refill, or one symbol no step covers, for a reader with 16
// readable bytes. An end of block or a fault leaves the reader before that symbol.
[[gnu::always_inline]] inline SymbolEnd advance(StepReader& r, const std::uint32_t* st, const std::uint32_t* lt,
                                                const std::uint32_t* dt) {
  r.refill();
  std::uint32_t e = st[r.bits & kStepMask];
  if (step_output(e) != 0) {
    r.consume(step_consumed(e));
    r.total += step_output(e);
    e = st[r.bits & kStepMask];
    if (step_output(e) != 0) {
      r.consume(step_consumed(e));
      r.total += step_output(e);
      return SymbolEnd::Ok;
    }
    if (r.count < 5 + kMaxCodeLength * 2 + 13) r.refill();
  }
  std::uint32_t used = 0;
  const SymbolEnd end = count_symbol(r.bits, r.total, used, lt, dt);
  if (end == SymbolEnd::Ok) r.consume(used);
  return end;
}

enum class StepsEnd { Margin, End, Fault };

// What the step readers read with: the tables of the block, the input's start, the
// output bound.
struct StepTables {
  const std::uint32_t* steps;
  const std::uint32_t* lit;
  const std::uint32_t* dist;
  const std::uint8_t* begin;
  std::size_t limit;
};

// Counts in steps while the input lasts, with a reader ahead as described above: to
// the end of the block (its end code consumed), a fault, or the input margin.
[[gnu::always_inline]] inline StepsEnd run_steps(const StepTables& tables, BitState& state, std::size_t& counted) {
  const std::uint32_t* const st = tables.steps;
  const std::uint32_t* const lt = tables.lit;
  const std::uint32_t* const dt = tables.dist;
  const std::uint8_t* const begin = tables.begin;
  // Readers advance while 16 bytes are left.
  const std::uint8_t* const stop_at = state.end - kFastInputMargin;
  const auto position = [begin](const StepReader& r) {
    return static_cast<std::uint64_t>(r.in - begin) * 8 - r.count;
  };
  StepReader r{state.in, state.bits, state.count, counted};
  std::array<std::uint64_t, kAheadRecords + 1> record_pos;
  std::array<std::size_t, kAheadRecords + 1> record_total;
  const auto leave = [&](StepsEnd how) {
    state.in = r.in;
    state.bits = r.bits;
    state.count = r.count;
    counted = r.total;
    return how;
  };
  // Advances the first reader: false when the block ends or a fault is met, with the
  // end code consumed when the block ends.
  const auto step_first = [&](StepsEnd& how) __attribute__((always_inline)) {
    const SymbolEnd end = advance(r, st, lt, dt);
    if (end == SymbolEnd::Ok) return true;
    how = StepsEnd::Fault;
    if (end == SymbolEnd::End) {
      r.consume(entry_length(lookup(lt, kStepBits, r.bits)));
      how = StepsEnd::End;
    }
    return false;
  };

  for (;;) {
    if (r.in > stop_at) return leave(StepsEnd::Margin);
    if (r.total > tables.limit) return leave(StepsEnd::Fault);
    StepsEnd how = StepsEnd::Margin;
    if (stop_at - r.in < kAheadBytes + kFastInputMargin) {
      // Too near the end for a reader ahead.
      if (!step_first(how)) return leave(how);
      continue;
    }

    // A reader ahead, its first boundaries recorded one step at a time.
    StepReader ahead{r.in + kAheadBytes, 0, 0, 0};
    record_pos[0] = position(ahead);
    record_total[0] = 0;
    std::size_t records = 1;
    bool running = true;
    while (records <= kAheadRecords) {
      if (ahead.in > stop_at) {
        running = false;
        break;
      }
      ahead.refill();
      const std::uint32_t e = st[ahead.bits & kStepMask];
      std::uint32_t used = step_consumed(e);
      if (step_output(e) != 0) {
        ahead.total += step_output(e);
      } else if (count_symbol(ahead.bits, ahead.total, used, lt, dt) != SymbolEnd::Ok) {
        running = false;
        break;
      }
      ahead.consume(used);
      record_pos[records] = position(ahead);
      record_total[records] = ahead.total;
      ++records;
    }

    // Both readers, until the first one reaches where the ahead one started.
    const std::uint8_t* const meet = begin + (record_pos[0] >> 3);
    while (running && r.in < meet) {
      // An advance moves a reader at most 14 bytes on (two refills), so the ahead
      // reader can take this many before it might pass the end: no check of its end
      // within them.
      std::ptrdiff_t room = (stop_at - ahead.in) / 16;
      if (room <= 0) {
        running = ahead.in <= stop_at && advance(ahead, st, lt, dt) == SymbolEnd::Ok;
        if (!step_first(how)) return leave(how);
        continue;
      }
      for (; room > 0 && r.in < meet; --room) {
        if (!step_first(how)) return leave(how);
        if (advance(ahead, st, lt, dt) != SymbolEnd::Ok) {
          running = false;
          break;
        }
      }
    }
    while (r.in < meet) {
      if (!step_first(how)) return leave(how);
    }

    // The first reader walks on until it lands on a recorded boundary, or passes them
    // all.
    std::size_t next = 0;
    for (;;) {
      const std::uint64_t at = position(r);
      while (next < records && record_pos[next] < at) ++next;
      if (next == records) break;  // no meeting: the first reader goes on alone
      if (record_pos[next] == at) {
        // A boundary the ahead reader passed: its reading from here on is this one's.
        const std::size_t total = r.total + ahead.total - record_total[next];
        r = ahead;
        r.total = total;
        break;
      }
      if (r.in > stop_at) return leave(StepsEnd::Margin);
      if (!step_first(how)) return leave(how);
    }
  }
}

// The same loop compiled for processors with BMI2, whose shifts by a register amount
// take one instruction and leave the flags alone; chosen at run time where it exists.
StepsEnd run_steps_plain(const StepTables& tables, BitState& state, std::size_t& counted) {
  return run_steps(tables, state, counted);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("bmi2"))) StepsEnd run_steps_bmi2(const StepTables& tables, BitState& state,
                                                         std::size_t& counted) {
  return run_steps(tables, state, counted);
}

StepsEnd count_steps(const StepTables& tables, BitState& state, std::size_t& counted) {
  static const bool bmi2 = __builtin_cpu_supports("bmi2");
  return bmi2 ? run_steps_bmi2(tables, state, counted) : run_steps_plain(tables, state, counted);
}
#else
StepsEnd count_steps(const StepTables& tables, BitState& state, std::size_t& counted) {
  return run_steps_plain(tables, state, counted);
}
#endif

class Inflater {
 public:
  // `held` is the most output kept in memory: past it, older output is dropped
  // (keeping the window) and only counted, or handed to `sink` first. SIZE_MAX keeps
  // everything.
  Inflater(ByteView in, std::uint64_t max_output, std::size_t held, ByteSink* sink = nullptr)
      : state_{in.data(), in.data() + in.size(), 0, 0},
        begin_(in.data()),
        limit_(static_cast<std::size_t>(std::min<std::uint64_t>(max_output, SIZE_MAX))),
        held_(held),
        sink_(sink),
        counting_(sink != nullptr && !sink->wants_bytes()),
        lit_root_(counting_ ? kStepBits : kLitRootBits) {
    if (counting_) return;
    // Typical compression ratios stay below 8; a larger output grows as it goes.
    const std::uint64_t hint = std::min<std::uint64_t>(
        {std::uint64_t{in.size()} * 8, std::uint64_t{64} << 20, limit_, held_});
    out_.reserve(static_cast<std::size_t>(hint));
  }

  void reserve(std::size_t size) { out_.reserve(size); }
  bool decode() { return decode_blocks(); }
  // Bytes produced, dropped ones included.
  std::uint64_t total() const { return counting_ ? counted_ : std::uint64_t{dropped_} + pos_; }
  bool dropped_output() const { return dropped_ != 0; }
  // Whether decoding stopped at the output bound rather than at bad or missing data.
  bool over_limit() const { return over_limit_; }
  // Hands the output still held to the sink (after a successful decode).
  void flush() {
    if (counting_) {
      sink_->take_size(counted_);
    } else if (sink_ != nullptr && pos_ != 0) {
      sink_->take(ByteView(out_.data(), pos_));
    }
  }
  Bytes take() && {
    out_.resize(pos_);
    return std::move(out_);
  }

 private:
  bool decode_blocks() {
    for (;;) {
      if (!ensure_bits(state_, 3)) return false;
      const std::uint32_t header = take_bits(state_, 3);
      const bool final_block = (header & 1) != 0;
      switch (header >> 1) {
        case 0:
          if (!(counting_ ? count_stored_block() : stored_block())) return false;
          break;
        case 1:
          if (!fixed_ready_) build_fixed_tables();
          if (!(counting_ ? count_huffman_block() : huffman_block())) return false;
          break;
        case 2:
          if (!dynamic_tables() || !(counting_ ? count_huffman_block() : huffman_block())) return false;
          break;
        default:
          return false;
      }
      if (final_block) return true;
    }
  }

  // Makes room for `need` more bytes at pos_; fails when the output would pass the
  // bound. The bound is checked before any growth, so a small input that expands
  // without end stops at the bound instead of exhausting memory.
  // Past `held_` bytes the oldest output is dropped instead, keeping the window, so pos_
  // may move back: callers reload it after a call.
  // A fault inside a Huffman block: what was decoded before it stays readable.
  bool fault(std::size_t pos) {
    pos_ = pos;
    return false;
  }

  bool grow(std::size_t need) {
    if (need > limit_ - dropped_ || pos_ > limit_ - dropped_ - need) {
      over_limit_ = true;
      return false;
    }
    std::size_t want = pos_ + need;
    if (want <= out_.size()) return true;
    if (want > held_ && pos_ > kWindowSize) {
      const std::size_t drop = pos_ - kWindowSize;
      if (sink_ != nullptr) sink_->take(ByteView(out_.data(), drop));
      std::memmove(out_.data(), out_.data() + drop, kWindowSize);
      dropped_ += drop;
      pos_ = kWindowSize;
      // The room made may never pass the bound: the fast loop writes into it unchecked.
      if (out_.size() > limit_ - dropped_) out_.resize(limit_ - dropped_);
      want = pos_ + need;
      if (want <= out_.size()) return true;
    }
    if (want > out_.capacity()) {
      out_.reserve(std::min({std::max(want, out_.capacity() * 2), limit_ - dropped_,
                             std::max(want, held_)}));
    }
    // Zero-filling in steps of at most 256 KiB, never past the reservation, keeps the
    // unused tail of a generous reservation untouched and small streams cheap.
    std::size_t step = std::min(out_.size() + (std::size_t{256} << 10), out_.capacity());
    // Without a sink, the first steps double from 16 KiB instead of filling the whole
    // reservation (made from a guessed ratio) at once: a stream that inflates less than
    // the guess no longer zero-fills room it never uses. Where the output goes is the
    // same: only the size of the zeroed steps changes.
    if (sink_ == nullptr) step = std::min(step, std::max(2 * out_.size(), std::size_t{16} << 10));
    out_.resize(std::min(std::max(want, step), limit_ - dropped_));
    return true;
  }

  // A stored block's header: the reader skips to the byte boundary, hands back the
  // whole bytes still buffered and reads the block's length; nothing when the header
  // is cut off.
  std::optional<std::size_t> stored_length() {
    BitState& s = state_;
    s.count &= ~7u;
    s.in -= s.count >> 3;
    s.bits = 0;
    s.count = 0;
    if (s.end - s.in < 4) return std::nullopt;
    const std::size_t len = std::size_t{s.in[0]} | (std::size_t{s.in[1]} << 8);
    s.in += 4;  // the one's complement copy of the length is not checked
    return len;
  }

  bool stored_block() {
    BitState& s = state_;
    const std::optional<std::size_t> header = stored_length();
    if (!header) return false;
    const std::size_t len = *header;
    if (static_cast<std::size_t>(s.end - s.in) < len) {
      // Truncated: the bytes that are there stay readable to a partial decode.
      const std::size_t have = static_cast<std::size_t>(s.end - s.in);
      if (have != 0 && grow(have)) {
        std::memcpy(out_.data() + pos_, s.in, have);
        pos_ += have;
      }
      s.in = s.end;
      return false;
    }
    if (!grow(len)) return false;
    if (len != 0) std::memcpy(out_.data() + pos_, s.in, len);
    pos_ += len;
    s.in += len;
    return true;
  }

  void build_lit_table(const std::uint8_t* lengths, std::size_t n) {
    build_table(lengths, n, lit_root_, Alphabet::LitLen, lit_table_);
    steps_ready_ = false;
  }

  void build_fixed_tables() {
    std::array<std::uint8_t, 288> lit;
    std::fill(lit.begin(), lit.begin() + 144, 8);
    std::fill(lit.begin() + 144, lit.begin() + 256, 9);
    std::fill(lit.begin() + 256, lit.begin() + 280, 7);
    std::fill(lit.begin() + 280, lit.end(), 8);
    std::array<std::uint8_t, 30> dist;
    dist.fill(5);
    build_lit_table(lit.data(), lit.size());
    build_table(dist.data(), dist.size(), kDistRootBits, Alphabet::Distance, dist_table_);
    fixed_ready_ = true;
  }

  bool dynamic_tables() {
    BitState& s = state_;
    fixed_ready_ = false;
    if (!ensure_bits(s, 14)) return false;
    const std::size_t hlit = take_bits(s, 5) + 257;
    const std::size_t hdist = take_bits(s, 5) + 1;
    const std::size_t hclen = take_bits(s, 4) + 4;

    std::array<std::uint8_t, 19> clen{};
    for (std::size_t i = 0; i < hclen; ++i) {
      if (!ensure_bits(s, 3)) return false;
      clen[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(take_bits(s, 3));
    }
    build_table(clen.data(), clen.size(), kCodeLengthRootBits, Alphabet::CodeLength, clen_table_);

    // A last repeat may run past hlit + hdist; the surplus joins the distance code.
    std::array<std::uint8_t, kMaxSymbols> lengths;
    const std::size_t total = hlit + hdist;
    std::size_t n = 0;
    while (n < total) {
      std::uint32_t e;
      if (!decode_checked(s, clen_table_.data(), kCodeLengthRootBits, e)) return false;
      const std::uint32_t sym = entry_value(e);
      if (sym < 16) {
        lengths[n++] = static_cast<std::uint8_t>(sym);
        continue;
      }
      std::uint8_t value = 0;
      std::size_t repeat;
      if (sym == 16) {
        if (n == 0 || !ensure_bits(s, 2)) return false;
        value = lengths[n - 1];
        repeat = 3 + take_bits(s, 2);
      } else if (sym == 17) {
        if (!ensure_bits(s, 3)) return false;
        repeat = 3 + take_bits(s, 3);
      } else {
        if (!ensure_bits(s, 7)) return false;
        repeat = 11 + take_bits(s, 7);
      }
      std::memset(lengths.data() + n, value, repeat);
      n += repeat;
    }
    build_lit_table(lengths.data(), hlit);
    build_table(lengths.data() + hlit, n - hlit, kDistRootBits, Alphabet::Distance, dist_table_);
    return true;
  }

  // Copies `length` bytes from `dist` back; `dst` has kFastOutputMargin bytes of room.
  static inline void copy_match_fast(std::uint8_t* dst, std::size_t dist, std::size_t length) {
    const std::uint8_t* src = dst - dist;
    if (dist >= 8) {
      // Each 8-byte load reads only bytes already final: they lie at least 8 bytes back.
      std::uint8_t* const stop = dst + length;
      do {
        std::memcpy(dst, src, 8);
        dst += 8;
        src += 8;
      } while (dst < stop);
    } else if (dist == 1) {
      std::memset(dst, *src, length);
    } else {
      for (std::size_t i = 0; i < length; ++i) dst[i] = src[i];
    }
  }

  bool huffman_block() {
    BitState s = state_;
    const std::uint32_t* const lt = lit_table_.data();
    const std::uint32_t* const dt = dist_table_.data();
    std::uint8_t* base = out_.data();
    std::size_t size = out_.size();
    std::size_t pos = pos_;

    for (;;) {
      // Fast loop: enough input for two word refills and enough room for the longest
      // step, so no bound is checked per bit or per byte.
      while (s.end - s.in >= kFastInputMargin && size - pos >= kFastOutputMargin) {
        refill_word(s);  // 56+ bits: a literal, then a literal or a length with extra bits
        std::uint32_t e = lookup(lt, kLitRootBits, s.bits);
        if (entry_kind(e) == kKindLiteral) {
          drop_bits(s, entry_length(e));
          base[pos++] = static_cast<std::uint8_t>(entry_value(e));
          e = lookup(lt, kLitRootBits, s.bits);
          if (entry_kind(e) == kKindLiteral) {
            drop_bits(s, entry_length(e));
            base[pos++] = static_cast<std::uint8_t>(entry_value(e));
            continue;
          }
        }
        if (entry_kind(e) != kKindMatch) {
          if (entry_kind(e) != kKindEnd) return fault(pos);
          drop_bits(s, entry_length(e));
          state_ = s;
          pos_ = pos;
          return true;
        }
        drop_bits(s, entry_length(e));
        const std::size_t length = entry_value(e) + take_bits(s, entry_extra(e));
        if (s.count < kMaxCodeLength + 13) refill_word(s);
        e = lookup(dt, kDistRootBits, s.bits);
        if (entry_kind(e) != kKindMatch) return fault(pos);
        drop_bits(s, entry_length(e));
        const std::size_t dist = entry_value(e) + take_bits(s, entry_extra(e));
        if (dist > pos) return fault(pos);
        copy_match_fast(base + pos, dist, length);
        pos += length;
      }

      // Room for the fast loop can be made unless the output bound is close.
      if (size - pos < kFastOutputMargin && s.end - s.in >= kFastInputMargin) {
        pos_ = pos;
        if (grow(kFastOutputMargin)) {
          base = out_.data();
          size = out_.size();
          pos = pos_;
          continue;
        }
      }

      // One step with every bound checked: near the end of the input or the output bound.
      std::uint32_t e;
      if (!decode_checked(s, lt, kLitRootBits, e)) return fault(pos);
      if (entry_kind(e) == kKindLiteral) {
        if (pos == size) {
          pos_ = pos;
          if (!grow(1)) return fault(pos);
          base = out_.data();
          size = out_.size();
          pos = pos_;
        }
        base[pos++] = static_cast<std::uint8_t>(entry_value(e));
        continue;
      }
      if (entry_kind(e) == kKindEnd) {
        state_ = s;
        pos_ = pos;
        return true;
      }
      std::uint32_t extra = entry_extra(e);
      if (!ensure_bits(s, extra)) return fault(pos);
      const std::size_t length = entry_value(e) + take_bits(s, extra);
      if (!decode_checked(s, dt, kDistRootBits, e)) return fault(pos);
      extra = entry_extra(e);
      if (!ensure_bits(s, extra)) return fault(pos);
      const std::size_t dist = entry_value(e) + take_bits(s, extra);
      if (dist > pos) return fault(pos);
      if (size - pos < length) {
        pos_ = pos;
        if (!grow(length)) return fault(pos);
        base = out_.data();
        size = out_.size();
        pos = pos_;
      }
      for (std::size_t i = 0; i < length; ++i) base[pos + i] = base[pos + i - dist];
      pos += length;
    }
  }

  // The stored block of stored_block, only counted.
  bool count_stored_block() {
    BitState& s = state_;
    const std::optional<std::size_t> header = stored_length();
    if (!header) return false;
    const std::size_t len = *header;
    if (static_cast<std::size_t>(s.end - s.in) < len) {
      s.in = s.end;
      return false;
    }
    if (len > limit_ - counted_) {
      over_limit_ = true;
      return false;
    }
    counted_ += len;
    s.in += len;
    return true;
  }

  // The Huffman block of huffman_block, only counted: literals and matches add to the
  // count, a match may reach back no further than the output so far, and the output
  // may not pass the bound. The bound is checked at least once per few symbols, so a
  // bomb stops soon after passing it.
  bool count_huffman_block() {
    BitState s = state_;
    const std::uint32_t* const lt = lit_table_.data();
    const std::uint32_t* const dt = dist_table_.data();
    std::size_t total = counted_;
    const auto stop = [&](bool ok) {
      if (total > limit_) {
        over_limit_ = true;
        ok = false;
      }
      counted_ = total;
      if (ok) state_ = s;
      return ok;
    };

    for (;;) {
      // Fast loop: enough input for two word refills (two steps of at most 24 bits fit
      // in the 56 bits of one), and output past the first window.
      if (total >= kWindowSize && s.end - s.in >= kFastInputMargin) {
        if (!steps_ready_) {
          build_steps(lt, dt, steps_);
          steps_ready_ = true;
        }
        const StepTables tables{steps_.data(), lt, dt, begin_, limit_};
        switch (count_steps(tables, s, total)) {
          case StepsEnd::Margin:
            break;
          case StepsEnd::End:
            return stop(true);
          case StepsEnd::Fault:
            return stop(false);
        }
      }

      // Fast loop within the first window: distances are checked.
      while (total < kWindowSize && s.end - s.in >= kFastInputMargin) {
        refill_word(s);
        std::uint32_t e = lookup(lt, kStepBits, s.bits);
        drop_bits(s, entry_length(e));
        if (entry_kind(e) == kKindLiteral) {
          ++total;
          continue;
        }
        if (entry_kind(e) != kKindMatch) return stop(entry_kind(e) == kKindEnd);
        const std::size_t length = entry_value(e) + take_bits(s, entry_extra(e));
        e = lookup(dt, kDistRootBits, s.bits);
        if (entry_kind(e) != kKindMatch) return stop(false);
        drop_bits(s, entry_length(e));
        const std::size_t dist = entry_value(e) + take_bits(s, entry_extra(e));
        if (dist > total) return stop(false);
        total += length;
      }
      if (s.end - s.in >= kFastInputMargin) continue;

      // One symbol with every bound checked: near the end of the input.
      if (total > limit_) return stop(false);
      std::uint32_t e;
      if (!decode_checked(s, lt, kStepBits, e)) return stop(false);
      if (entry_kind(e) == kKindLiteral) {
        ++total;
        continue;
      }
      if (entry_kind(e) == kKindEnd) return stop(true);
      std::uint32_t extra = entry_extra(e);
      if (!ensure_bits(s, extra)) return stop(false);
      const std::size_t length = entry_value(e) + take_bits(s, extra);
      if (!decode_checked(s, dt, kDistRootBits, e)) return stop(false);
      extra = entry_extra(e);
      if (!ensure_bits(s, extra)) return stop(false);
      const std::size_t dist = entry_value(e) + take_bits(s, extra);
      if (dist > total) return stop(false);
      total += length;
    }
  }

  BitState state_;
  const std::uint8_t* begin_;
  std::size_t limit_;
  std::size_t held_;
  ByteSink* sink_;
  // Only the size of the output is wanted: nothing is written, the output is counted.
  bool counting_;
  unsigned lit_root_;
  std::size_t counted_ = 0;
  bool steps_ready_ = false;
  std::array<std::uint32_t, 1u << kStepBits> steps_{};
  Bytes out_;
  std::size_t pos_ = 0;  // bytes of out_ decoded so far; out_.size() is the room made
  std::size_t dropped_ = 0;  // bytes decoded before out_[0]
  bool fixed_ready_ = false;
  bool over_limit_ = false;
  std::vector<std::uint32_t> lit_table_;
  std::vector<std::uint32_t> dist_table_;
  std::vector<std::uint32_t> clen_table_;
};

}  // namespace

// Output that stays within `max_held` bytes is decoded once. Larger output is first
// decoded keeping only the window, to learn its size: a bomb fails at the output bound
// having held no more than `max_held`, and real data is decoded again into a buffer of
// exactly its size.
Result<Bytes> inflate(ByteView in, std::uint64_t max_output, std::uint64_t max_held) {
  std::uint64_t size = 0;
  {
    const std::uint64_t held = std::max<std::uint64_t>(max_held, 2 * kWindowSize);
    Inflater first(in, max_output, static_cast<std::size_t>(std::min<std::uint64_t>(held, SIZE_MAX)));
    if (!first.decode()) return fail(ParseErrorKind::BadStream, kCorrupt);
    if (!first.dropped_output()) return std::move(first).take();
    size = first.total();
  }
  Inflater second(in, size, SIZE_MAX);
  second.reserve(static_cast<std::size_t>(size));
  if (!second.decode()) return fail(ParseErrorKind::BadStream, kCorrupt);
  return std::move(second).take();
}

Result<std::uint64_t> inflate_to_sink(ByteView in, ByteSink& sink, std::uint64_t max_output) {
  Inflater inflater(in, max_output, kSinkHeldBytes, &sink);
  if (!inflater.decode()) return fail(ParseErrorKind::BadStream, kCorrupt);
  inflater.flush();
  return inflater.total();
}

// The same two passes, keeping what decodes before a fault. Output past the bound is
// no partial result: a bomb yields nothing.
Result<PartialBytes> inflate_partial(ByteView in, std::uint64_t max_output, std::uint64_t max_held) {
  std::uint64_t size = 0;
  {
    const std::uint64_t held = std::max<std::uint64_t>(max_held, 2 * kWindowSize);
    Inflater first(in, max_output, static_cast<std::size_t>(std::min<std::uint64_t>(held, SIZE_MAX)));
    const bool complete = first.decode();
    if (first.over_limit()) return fail(ParseErrorKind::BadStream, kCorrupt);
    if (!first.dropped_output()) return PartialBytes{std::move(first).take(), partial_fault(complete)};
    size = first.total();
  }
  // Decoding is deterministic: the second pass stops where the first did.
  Inflater second(in, size, SIZE_MAX);
  second.reserve(static_cast<std::size_t>(size));
  const bool complete = second.decode();
  return PartialBytes{std::move(second).take(), partial_fault(complete)};
}

}  // namespace folioscan
