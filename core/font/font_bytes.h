// Bounded big-endian reads over a font program: every read past the end gives 0 and
// every range check is one call, so a reader never touches a byte outside the program
// whatever offsets and counts the program claims.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../cos/object.h"

namespace folioscan::font {

struct FontBytes {
  ByteView data;

  // Whether `count` bytes from `offset` lie inside the program (no overflow).
  bool has(std::uint64_t offset, std::uint64_t count) const {
    return offset <= data.size() && count <= data.size() - offset;
  }
  std::uint8_t u8(std::uint64_t at) const { return at < data.size() ? data[at] : 0; }
  std::uint16_t u16(std::uint64_t at) const {
    return has(at, 2) ? static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]) : 0;
  }
  std::uint32_t u32(std::uint64_t at) const {
    if (!has(at, 4)) return 0;
    return std::uint32_t{data[at]} << 24 | std::uint32_t{data[at + 1]} << 16 |
           std::uint32_t{data[at + 2]} << 8 | data[at + 3];
  }
  // Big-endian value of `size` (1 to 4) bytes.
  std::uint32_t uint(std::uint64_t at, unsigned size) const {
    if (!has(at, size)) return 0;
    std::uint32_t value = 0;
    for (unsigned i = 0; i < size; ++i) value = value << 8 | data[at + i];
    return value;
  }
  // The bytes from `offset` on, at most `count` of them; empty when `offset` is past the end.
  ByteView sub(std::uint64_t offset, std::uint64_t count) const {
    if (offset > data.size()) return {};
    const std::uint64_t left = data.size() - offset;
    return data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(count < left ? count : left));
  }
};

}  // namespace folioscan::font
