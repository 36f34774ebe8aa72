// UTF-8 encoding and lossy decoding, and the text strings of the file (UTF-16BE, UTF-8
// or PDFDocEncoding) decoded to UTF-8.
#include "utf8.h"

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

namespace {

// PDFDocEncoding where it differs from ISO 8859-1: 0x18-0x1F and 0x80-0x9F (0 where a
// code has no character; 0x7F and 0xAD are undefined as well).
constexpr std::uint16_t kDocLow[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr std::uint16_t kDocHigh[32] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0};

}  // namespace

std::string decode_text_string(ByteView bytes) {
  std::string out;
  if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      std::uint32_t unit = (std::uint32_t{bytes[i]} << 8) | bytes[i + 1];
      if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
        const std::uint32_t low = (std::uint32_t{bytes[i + 2]} << 8) | bytes[i + 3];
        if (low >= 0xDC00 && low < 0xE000) {
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          i += 2;
        }
      }
      append_utf8(out, unit);  // a lone surrogate becomes U+FFFD
    }
    return out;
  }
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return utf8_lossy(bytes.subspan(3));
  }
  for (const std::uint8_t b : bytes) {
    std::uint32_t cp = b;
    if (b >= 0x18 && b <= 0x1F) cp = kDocLow[b - 0x18];
    if (b >= 0x80 && b <= 0x9F) cp = kDocHigh[b - 0x80];
    if (b == 0x7F || b == 0xAD || (b >= 0x80 && cp == 0)) cp = 0xFFFD;
    append_utf8(out, cp);
  }
  return out;
}

std::uint32_t first_code_point(std::string_view text, std::size_t* length) {
  if (length != nullptr) *length = 0;
  if (text.empty()) return 0;
  const auto lead = static_cast<std::uint8_t>(text[0]);
  const std::size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (length != nullptr) *length = bytes;
  if (bytes == 1) return lead;
  std::uint32_t value = lead < 0xE0 ? lead & 0x1F : lead < 0xF0 ? lead & 0x0F : lead & 0x07;
  for (std::size_t i = 1; i < bytes && i < text.size(); ++i) {
    value = (value << 6) | (static_cast<std::uint8_t>(text[i]) & 0x3F);
  }
  return value;
}

}  // namespace folioscan
