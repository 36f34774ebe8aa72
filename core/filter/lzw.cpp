// LZW decoding: 9- to 12-bit codes read most significant bit first, clear (256) and
// end-of-data (257) codes, early or late width changes; lenient at the end of input.
#include "lzw.h"

#include <algorithm>
#include <array>
#include <memory>

namespace folioscan {
namespace {

constexpr const char* kBadLzw = "bad LZW data";
constexpr std::uint32_t kClearCode = 256;
constexpr std::uint32_t kEndCode = 257;
constexpr std::uint32_t kFirstFreeCode = 258;
constexpr unsigned kMaxWidth = 12;
// Output a decoder into a sink holds before handing it on.
constexpr std::uint64_t kSinkHeldBytes = std::uint64_t{1} << 20;

// Entries are stored as (parent entry, last byte): a string is its parent's string
// plus one byte, and is written by walking the parents back from its last byte.
// The table stops growing at limits::kMaxLzwEntries (4096). That cannot change the
// output: a 12-bit code never exceeds 4095, so an entry at 4096 or beyond could never
// be read, and with 4096 entries every readable code is already below the table
// length, so the "code not yet in the table" case cannot arise either way.
struct LzwTable {
  std::array<std::uint16_t, limits::kMaxLzwEntries> parent;
  std::array<std::uint16_t, limits::kMaxLzwEntries> length;  // string length (0: placeholder)
  std::array<std::uint8_t, limits::kMaxLzwEntries> last;
  std::array<std::uint8_t, limits::kMaxLzwEntries> first;
  std::uint32_t size = 0;

  void reset() {
    if (size == 0) {
      for (std::uint32_t i = 0; i < 256; ++i) {
        parent[i] = 0;
        length[i] = 1;
        last[i] = static_cast<std::uint8_t>(i);
        first[i] = static_cast<std::uint8_t>(i);
      }
      length[kClearCode] = 0;
      length[kEndCode] = 0;
    }
    size = kFirstFreeCode;
  }

  // Writes the string of `code` (which has `length[code]` bytes) ending at `end`.
  void write(std::uint32_t code, std::uint8_t* end) const {
    for (std::uint32_t n = length[code]; n > 0; --n) {
      *--end = last[code];
      code = parent[code];
    }
  }
};

}  // namespace

namespace {

// Where the decoder's output goes: kept whole, or (with a sink) kept only up to `held`
// bytes, past which what is held is handed to the sink and dropped. `total` counts
// every byte produced; `dropped` says whether any was handed on.
struct LzwOutput {
  ByteSink* sink = nullptr;
  std::uint64_t held = UINT64_MAX;
  std::uint64_t total = 0;
  bool dropped = false;
};

// Discards what it is given: the output is only measured.
class NullSink final : public ByteSink {
 public:
  void take(ByteView) override {}
  bool wants_bytes() const override { return false; }
};

// The decoder; with `partial`, bad data ends the output where it is instead of failing
// (output past the bound always fails). `complete` says whether the data was sound.
Result<Bytes> lzw_run(ByteView in, bool early_change, std::uint64_t max_output, bool partial, bool& complete,
                      LzwOutput& sent) {
  complete = true;
  Bytes out;
  out.reserve(static_cast<std::size_t>(
      std::min<std::uint64_t>({std::uint64_t{in.size()} * 3, max_output, sent.held})));
  std::size_t pos = 0;
  std::uint64_t before = 0;  // bytes handed to the sink (or counted for it)
  const bool sink_counts = sent.sink != nullptr && !sent.sink->wants_bytes();
  auto table = std::make_unique<LzwTable>();
  table->reset();
  LzwTable& t = *table;

  const std::uint64_t total_bits = std::uint64_t{in.size()} * 8;
  std::uint64_t bit_pos = 0;
  unsigned width = 9;
  const std::uint32_t early = early_change ? 1 : 0;
  constexpr std::uint32_t kNone = 0xFFFFFFFF;
  std::uint32_t prev = kNone;  // previous code; may lie beyond the table

  while (total_bits - bit_pos >= width) {
    // Read `width` bits, most significant first, from up to three bytes.
    const std::size_t byte = static_cast<std::size_t>(bit_pos >> 3);
    std::uint32_t window = std::uint32_t{in[byte]} << 16;
    if (byte + 1 < in.size()) window |= std::uint32_t{in[byte + 1]} << 8;
    if (byte + 2 < in.size()) window |= in[byte + 2];
    const unsigned shift = 24 - static_cast<unsigned>(bit_pos & 7) - width;
    const std::uint32_t code = (window >> shift) & ((1u << width) - 1);
    bit_pos += width;

    if (code == kEndCode) break;
    if (code == kClearCode) {
      t.reset();
      width = 9;
      prev = kNone;
      continue;
    }

    const bool prev_in_table = prev < t.size;
    std::size_t len;
    std::uint8_t first_byte;
    if (code < t.size) {
      len = t.length[code];
      first_byte = t.first[code];
    } else {
      // Not yet in the table: the previous string plus its own first byte.
      if (!prev_in_table) {
        if (!partial) return fail(ParseErrorKind::BadStream, kBadLzw);
        complete = false;
        break;
      }
      len = std::size_t{t.length[prev]} + 1;
      first_byte = t.first[prev];
    }

    // The output bound is checked before the buffer grows.
    if (len > max_output - before - pos) return fail(ParseErrorKind::BadStream, kBadLzw);
    if (sink_counts && (sent.dropped || sent.held == 0)) {
      // Only the size is wanted from here on: strings are counted, not written.
      before += len;
      sent.dropped = true;
    } else {
      if (sent.sink != nullptr && pos + len > sent.held && pos != 0) {
        sent.sink->take(ByteView(out.data(), pos));
        sent.dropped = true;
        before += pos;
        pos = 0;
      }
      if (out.size() - pos < len) {
        out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(
            std::max<std::uint64_t>(std::uint64_t{pos} + len, std::uint64_t{out.size()} * 2 + 4096),
            std::max<std::uint64_t>(std::min(max_output - before, sent.held), std::uint64_t{pos} + len))));
      }
      std::uint8_t* dst = out.data() + pos;
      if (code < t.size) {
        t.write(code, dst + len);
      } else {
        t.write(prev, dst + len - 1);
        dst[len - 1] = first_byte;
      }
      pos += len;
    }

    if (prev_in_table && t.size < limits::kMaxLzwEntries) {
      const std::uint32_t entry = t.size++;
      t.parent[entry] = static_cast<std::uint16_t>(prev);
      t.length[entry] = static_cast<std::uint16_t>(t.length[prev] + 1);
      t.last[entry] = first_byte;
      t.first[entry] = t.first[prev];
    }
    if (width < kMaxWidth && t.size + early >= (1u << width)) ++width;
    prev = code;
  }
  out.resize(pos);
  sent.total = before + pos;
  return out;
}

// Output that stays within limits::kMaxInflateHeldBytes is decoded once. Larger output
// is first only measured, so that a bomb fails at the bound holding no more than that,
// and sound data is decoded again into a buffer of exactly its size.
Result<Bytes> lzw_measured(ByteView in, bool early_change, std::uint64_t max_output, bool partial,
                           bool& complete) {
  NullSink measure;
  LzwOutput first{&measure, limits::kMaxInflateHeldBytes};
  Bytes out = TRY(lzw_run(in, early_change, max_output, partial, complete, first));
  if (!first.dropped) return out;
  out = Bytes();
  LzwOutput whole{nullptr, first.total};
  return lzw_run(in, early_change, first.total, partial, complete, whole);
}

}  // namespace

Result<Bytes> lzw_decode(ByteView in, bool early_change, std::uint64_t max_output) {
  bool complete = true;
  return lzw_measured(in, early_change, max_output, false, complete);
}

Result<std::uint64_t> lzw_decode_to_sink(ByteView in, bool early_change, ByteSink& sink, std::uint64_t max_output) {
  bool complete = true;
  LzwOutput sent{&sink, sink.wants_bytes() ? kSinkHeldBytes : 0};
  const Bytes rest = TRY(lzw_run(in, early_change, max_output, false, complete, sent));
  if (!rest.empty()) sink.take(rest);
  return sent.total;
}

Result<PartialBytes> lzw_decode_partial(ByteView in, bool early_change, std::uint64_t max_output) {
  PartialBytes out;
  bool complete = true;
  out.data = TRY(lzw_measured(in, early_change, max_output, true, complete));
  // The fault is lzw_decode's error for the same data.
  if (!complete) out.fault = ParseError{kBadLzw, ParseErrorKind::BadStream};
  return out;
}

}  // namespace folioscan
