// Test-only LZW encoder: codes packed most significant bit first, widths chosen exactly
// as the decoder will read them, optional clear codes and end code.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "bytes.h"

namespace folioscan::testing {

// Packs codes most significant bit first.
class CodeWriter {
 public:
  void put(std::uint32_t code, unsigned width) {
    for (unsigned i = width; i-- > 0;) {
      if (fill_ == 0) out_.push_back(0);
      out_.back() |= static_cast<std::uint8_t>(((code >> i) & 1) << (7 - fill_));
      fill_ = (fill_ + 1) & 7;
    }
  }
  Bytes finish() const { return out_; }

 private:
  Bytes out_;
  unsigned fill_ = 0;
};

struct EncoderOptions {
  bool early_change = true;
  std::size_t clear_at = 0;  // emit a clear code once the table reaches this size (0: never)
  bool end_code = true;
};

// A plain LZW encoder. The width of each code is the one the decoder will use: it has
// 258 entries until its second code and one more per code after that (at most 4096).
inline Bytes lzw_encode(ByteView data, const EncoderOptions& opt) {
  CodeWriter w;
  std::vector<std::array<std::int32_t, 256>> child;
  std::size_t next = 258;
  std::size_t emitted = 0;
  auto reset = [&] {
    child.assign(4096, {});
    for (auto& c : child) c.fill(-1);
    next = 258;
    emitted = 0;
  };
  auto width = [&] {
    const std::size_t size = std::min<std::size_t>(emitted == 0 ? 258 : 258 + emitted - 1, 4096);
    unsigned bits = 9;
    while (bits < 12 && size + (opt.early_change ? 1 : 0) >= (std::size_t{1} << bits)) ++bits;
    return bits;
  };
  reset();
  w.put(256, 9);
  std::int32_t cur = -1;
  for (std::uint8_t b : data) {
    if (cur < 0) {
      cur = b;
      continue;
    }
    if (child[cur][b] >= 0) {
      cur = child[cur][b];
      continue;
    }
    w.put(static_cast<std::uint32_t>(cur), width());
    ++emitted;
    if (next < 4096) child[cur][b] = static_cast<std::int32_t>(next++);
    if (opt.clear_at != 0 && next >= opt.clear_at) {
      w.put(256, width());
      reset();
    }
    cur = b;
  }
  if (cur >= 0) {
    w.put(static_cast<std::uint32_t>(cur), width());
    ++emitted;
  }
  if (opt.end_code) w.put(257, width());
  return w.finish();
}

}  // namespace folioscan::testing
