#include "text.h"

namespace folioscan {

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string utf8_lossy(ByteView bytes) {
  const std::size_t n = bytes.size();
  // ASCII text (nearly every name) is copied as it is in one step.
  std::size_t i = 0;
  while (i < n && bytes[i] < 0x80) ++i;
  std::string out(reinterpret_cast<const char*>(bytes.data()), i);
  if (i == n) return out;
  out.reserve(n);
  while (i < n) {
    const std::uint8_t b0 = bytes[i];
    if (b0 < 0x80) {
      out += static_cast<char>(b0);
      ++i;
      continue;
    }
    // Expected length and the valid range of the second byte (RFC 3629 table).
    std::size_t len = 0;
    std::uint8_t lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      len = 3;
      if (b0 == 0xE0) lo = 0xA0;
      if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      len = 4;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    }
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    std::size_t j = 1;
    for (; j < len && i + j < n; ++j) {
      const std::uint8_t b = bytes[i + j];
      const std::uint8_t l = j == 1 ? lo : 0x80;
      const std::uint8_t h = j == 1 ? hi : 0xBF;
      if (b < l || b > h) break;
    }
    if (j == len) {
      out.append(reinterpret_cast<const char*>(bytes.data() + i), len);
      i += len;
    } else {
      // The maximal valid prefix counts as one invalid sequence.
      out += "\xEF\xBF\xBD";
      i += j;
    }
  }
  return out;
}

}  // namespace folioscan
