// Test-only DEFLATE tools: a bit-at-a-time canonical-Huffman reference decoder (the
// definition the table-driven decoder must match bit for bit) and a bit writer for
// hand-built streams.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "bytes.h"

namespace folioscan::testing {

// Reads one bit at a time from the low end of each byte.
class RefBitReader {
 public:
  explicit RefBitReader(ByteView in) : in_(in) {}

  bool bit(std::uint32_t& b) {
    if (left_ == 0) {
      if (pos_ >= in_.size()) return false;
      buf_ = in_[pos_++];
      left_ = 8;
    }
    b = buf_ & 1;
    buf_ >>= 1;
    --left_;
    return true;
  }

  // n bits, first bit read is bit 0.
  bool bits(unsigned n, std::uint32_t& v) {
    v = 0;
    for (unsigned i = 0; i < n; ++i) {
      std::uint32_t b;
      if (!bit(b)) return false;
      v |= b << i;
    }
    return true;
  }

  void drop_partial_byte() { left_ = 0; }
  std::size_t bits_read() const { return pos_ * 8 - left_; }

  bool byte(std::uint32_t& v) {
    if (pos_ >= in_.size()) return false;
    v = in_[pos_++];
    return true;
  }

 private:
  ByteView in_;
  std::size_t pos_ = 0;
  std::uint32_t buf_ = 0;
  unsigned left_ = 0;
};

struct RefHuffman {
  std::uint16_t counts[16] = {};
  std::vector<std::uint16_t> symbols;

  explicit RefHuffman(const std::vector<std::uint8_t>& lengths) : symbols(lengths.size()) {
    for (std::uint8_t l : lengths) ++counts[l];
    counts[0] = 0;
    std::uint16_t offs[16] = {};
    for (int l = 1; l < 15; ++l) offs[l + 1] = static_cast<std::uint16_t>(offs[l] + counts[l]);
    for (std::size_t s = 0; s < lengths.size(); ++s) {
      if (lengths[s] != 0) symbols[offs[lengths[s]]++] = static_cast<std::uint16_t>(s);
    }
  }

  // Canonical decoding one bit at a time; code - first is computed in signed 64-bit
  // arithmetic exactly as written, and an index outside the symbol list aborts (the
  // table-driven decoder relies on that never happening).
  bool decode(RefBitReader& r, std::uint32_t& sym) const {
    std::int64_t code = 0, first = 0, index = 0;
    for (int len = 1; len <= 15; ++len) {
      std::uint32_t b;
      if (!r.bit(b)) return false;
      code |= b;
      const std::int64_t count = counts[len];
      if (code - first < count) {
        const std::int64_t at = index + code - first;
        if (at < 0 || at >= static_cast<std::int64_t>(symbols.size())) std::abort();
        sym = symbols[static_cast<std::size_t>(at)];
        return true;
      }
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    return false;
  }
};

inline constexpr std::uint16_t kRefLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11, 13,
                                                     15, 17, 19, 23, 27, 31, 35, 43, 51, 59,
                                                     67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::uint8_t kRefLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::uint16_t kRefDistBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::uint8_t kRefDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
inline constexpr std::uint8_t kRefClenOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                   11, 4,  12, 3, 13, 2, 14, 1, 15};

inline bool ref_codes(RefBitReader& r, const RefHuffman& lit, const RefHuffman& dist, Bytes& out) {
  for (;;) {
    std::uint32_t sym;
    if (!lit.decode(r, sym)) return false;
    if (sym < 256) {
      out.push_back(static_cast<std::uint8_t>(sym));
      continue;
    }
    if (sym == 256) return true;
    if (sym > 285) return false;
    std::uint32_t extra;
    if (!r.bits(kRefLengthExtra[sym - 257], extra)) return false;
    const std::size_t length = kRefLengthBase[sym - 257] + extra;
    std::uint32_t dsym;
    if (!dist.decode(r, dsym) || dsym > 29) return false;
    if (!r.bits(kRefDistExtra[dsym], extra)) return false;
    const std::size_t d = kRefDistBase[dsym] + extra;
    if (d > out.size()) return false;
    for (std::size_t i = 0; i < length; ++i) out.push_back(out[out.size() - d]);
  }
}

// The whole definition: nullopt for every failure.
inline std::optional<Bytes> reference_inflate(ByteView in) {
  RefBitReader r(in);
  Bytes out;
  for (;;) {
    std::uint32_t final_block, type;
    if (!r.bits(1, final_block) || !r.bits(2, type)) return std::nullopt;
    if (type == 0) {
      r.drop_partial_byte();
      std::uint32_t b[4];
      for (auto& v : b) {
        if (!r.byte(v)) return std::nullopt;
      }
      const std::uint32_t len = b[0] | (b[1] << 8);
      for (std::uint32_t i = 0; i < len; ++i) {
        std::uint32_t v;
        if (!r.byte(v)) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(v));
      }
    } else if (type == 1) {
      std::vector<std::uint8_t> lit(288, 8);
      for (int s = 144; s < 256; ++s) lit[s] = 9;
      for (int s = 256; s < 280; ++s) lit[s] = 7;
      if (!ref_codes(r, RefHuffman(lit), RefHuffman(std::vector<std::uint8_t>(30, 5)), out)) {
        return std::nullopt;
      }
    } else if (type == 2) {
      std::uint32_t hlit, hdist, hclen;
      if (!r.bits(5, hlit) || !r.bits(5, hdist) || !r.bits(4, hclen)) return std::nullopt;
      hlit += 257;
      hdist += 1;
      hclen += 4;
      std::vector<std::uint8_t> clen(19, 0);
      for (std::uint32_t i = 0; i < hclen; ++i) {
        std::uint32_t v;
        if (!r.bits(3, v)) return std::nullopt;
        clen[kRefClenOrder[i]] = static_cast<std::uint8_t>(v);
      }
      const RefHuffman clen_code(clen);
      std::vector<std::uint8_t> lengths;
      while (lengths.size() < hlit + hdist) {
        std::uint32_t sym, extra;
        if (!clen_code.decode(r, sym)) return std::nullopt;
        if (sym < 16) {
          lengths.push_back(static_cast<std::uint8_t>(sym));
        } else if (sym == 16) {
          if (lengths.empty() || !r.bits(2, extra)) return std::nullopt;
          const std::uint8_t last = lengths.back();
          lengths.insert(lengths.end(), 3 + extra, last);
        } else if (sym == 17) {
          if (!r.bits(3, extra)) return std::nullopt;
          lengths.insert(lengths.end(), 3 + extra, 0);
        } else {
          if (!r.bits(7, extra)) return std::nullopt;
          lengths.insert(lengths.end(), 11 + extra, 0);
        }
      }
      const std::vector<std::uint8_t> lit(lengths.begin(), lengths.begin() + hlit);
      const std::vector<std::uint8_t> dist(lengths.begin() + hlit, lengths.end());
      if (!ref_codes(r, RefHuffman(lit), RefHuffman(dist), out)) return std::nullopt;
    } else {
      return std::nullopt;
    }
    if (final_block) return out;
  }
}

// Canonical code of every symbol that the bit-at-a-time decoder can actually produce
// (incomplete and over-subscribed length sets included), found by decoding each
// candidate code with RefHuffman; unreachable symbols get length 0.
struct RefCode {
  std::uint32_t value = 0;
  unsigned length = 0;
};

class BitWriter;
std::vector<RefCode> reachable_codes(const std::vector<std::uint8_t>& lengths);

// Writes fields least-significant bit first and Huffman codes most-significant bit first.
class BitWriter {
 public:
  void bits(std::uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) put((value >> i) & 1);
  }
  void code(std::uint32_t value, unsigned n) {
    for (unsigned i = n; i-- > 0;) put((value >> i) & 1);
  }
  void align() {
    while (fill_ != 0) put(0);
  }
  void byte(std::uint8_t b) {
    align();
    out_.push_back(b);
  }
  Bytes finish() {
    align();
    return out_;
  }
  std::size_t bit_count() const { return out_.size() * 8 + fill_; }

  // Fixed-code helpers.
  void fixed_literal(std::uint32_t sym) {
    if (sym < 144) code(0x30 + sym, 8);
    else if (sym < 256) code(0x190 + sym - 144, 9);
    else if (sym < 280) code(sym - 256, 7);
    else code(0xC0 + sym - 280, 8);
  }
  // A length 3..258 (symbol and extra bits), then a distance 1..32768.
  void fixed_match(std::uint32_t length, std::uint32_t distance) {
    int ls = 28;
    while (kRefLengthBase[ls] > length) --ls;
    fixed_literal(257 + ls);
    bits(length - kRefLengthBase[ls], kRefLengthExtra[ls]);
    int ds = 29;
    while (kRefDistBase[ds] > distance) --ds;
    code(ds, 5);
    bits(distance - kRefDistBase[ds], kRefDistExtra[ds]);
  }

 private:
  void put(std::uint32_t b) {
    if (fill_ == 0) out_.push_back(0);
    out_.back() |= static_cast<std::uint8_t>(b << fill_);
    fill_ = (fill_ + 1) & 7;
  }
  Bytes out_;
  unsigned fill_ = 0;
};

inline std::vector<RefCode> reachable_codes(const std::vector<std::uint8_t>& lengths) {
  const RefHuffman h(lengths);
  std::vector<RefCode> codes(lengths.size());
  std::uint32_t first = 0, index = 0;
  for (unsigned len = 1; len <= 15; ++len) {
    for (std::uint32_t i = 0; i < h.counts[len]; ++i) {
      const std::uint32_t candidate = first + i;
      if (candidate >= (1u << len)) continue;
      BitWriter w;
      w.code(candidate, len);
      const Bytes bytes = w.finish();
      RefBitReader r(bytes);
      std::uint32_t sym;
      if (h.decode(r, sym) && sym == h.symbols[index + i] && r.bits_read() == len) {
        codes[sym] = RefCode{candidate, len};
      }
    }
    index += h.counts[len];
    first = (first + h.counts[len]) * 2;
    if (first > (1u << 16)) break;  // nothing longer can be reached
  }
  return codes;
}

}  // namespace folioscan::testing
