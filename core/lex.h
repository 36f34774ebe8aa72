// The byte-level cursor under every parser: white space and comments, regular runs,
// keywords, unsigned integers, and the scalar token grammars (numbers, names, literal
// and hexadecimal strings, null/true/false). It never copies the buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "bytes.h"
#include "error.h"

namespace folioscan {

namespace lex_detail {
// 0 regular, 1 white space, 2 delimiter: the table behind the byte classes, visible here
// so that the cursor's hottest steps inline into the parsers.
extern const std::array<std::uint8_t, 256> kByteClasses;

// Exact powers of ten: every one up to 1e22 is representable in a double, so a single
// division by them is the only rounding step of the plain number path.
inline constexpr std::array<double, 23> kPow10 = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
}  // namespace lex_detail

// Byte classes by 64-bit mask and table, never <cctype> (locale dependent).
bool is_whitespace(std::uint8_t b);  // NUL TAB LF FF CR SPACE, nothing else
bool is_delimiter(std::uint8_t b);   // % ( ) / < > [ ] { }
bool is_regular(std::uint8_t b);     // neither of the above
int hex_value(std::uint8_t b);       // 0-15, or -1 when not a hex digit

// A number token: an Integer or a Real.
using Number = std::variant<std::int64_t, double>;

// The keywords that are objects by themselves.
enum class Keyword : std::uint8_t { Null, True, False };

class Lexer {
 public:
  // A start beyond the end becomes the end.
  explicit Lexer(ByteView data, std::size_t pos = 0);

  ByteView data() const { return data_; }
  std::size_t pos() const { return pos_; }
  void set_pos(std::size_t pos);  // clamped to the length
  bool at_end() const { return pos_ >= data_.size(); }
  std::uint8_t peek() const { return data_[pos_]; }  // only when !at_end()

  // White space and "%" comments (to and including the next CR or LF). Returns at once
  // when pos is on neither, the common case between tokens.
  void skip_whitespace() {
    // Plain white space is passed over here; only a comment takes the out-of-line run.
    const std::uint8_t* d = data_.data();
    const std::size_t n = data_.size();
    std::size_t p = pos_;
    while (p < n && lex_detail::kByteClasses[d[p]] == 1) ++p;
    pos_ = p;
    if (p < n && d[p] == '%') skip_whitespace_run();
  }
  // The maximal run of regular bytes at pos (empty, pos unchanged, when none).
  std::string_view read_regular() {
    const std::uint8_t* d = data_.data();
    const std::size_t n = data_.size();
    const std::size_t start = pos_;
    std::size_t p = start;
    while (p < n && lex_detail::kByteClasses[d[p]] == 0) ++p;
    pos_ = p;
    return {reinterpret_cast<const char*>(d + start), p - start};
  }
  // Matches `keyword` at pos when a token boundary follows; pos moves only on success.
  bool match_keyword(std::string_view keyword);
  // Skip white space, read a run, parse "+"? digits as unsigned 32 / 64 bit. Errors
  // "expected integer" (no run) and "bad integer" (not such a number), of `kind` and
  // `cause`.
  [[nodiscard]] Result<std::uint32_t> read_u32(ParseErrorKind kind,
                                               ParseErrorCause cause = ParseErrorCause::Other);
  // Same for 64 bits; the caller picks the kind and both messages.
  [[nodiscard]] Result<std::uint64_t> read_u64(ParseErrorKind kind, std::string_view missing,
                                               std::string_view bad);

  // Scalar token readers, entered with pos on the token's first byte.
  [[nodiscard]] Result<Number> read_number();
  // read_number's common case, digits with at most one point: true with the value and
  // pos past the run; false, pos unchanged, for any run read_number must read in full
  // (an exponent, a second point, another byte, too many digits). Inline, for the
  // content tokenizer, which reads most operands here.
  [[nodiscard]] bool read_plain_number(Number& out) {
    const std::uint8_t* d = data_.data();
    const std::size_t n = data_.size();
    const auto digit = [](std::uint8_t b) { return static_cast<unsigned>(b - '0') < 10; };
    std::size_t p = pos_;
    bool negative = false;
    if (p < n && (d[p] == '+' || d[p] == '-')) {
      negative = d[p] == '-';
      ++p;
    }
    if (!(p < n && (digit(d[p]) || (d[p] == '.' && p + 1 < n && digit(d[p + 1]))))) return false;
    constexpr std::int64_t kMax = INT64_MAX;
    // Below this, any digit appended stays within kMax: the exact test runs only past it.
    constexpr std::int64_t kSafe = (kMax - 9) / 10;
    std::int64_t magnitude = 0;
    const auto digits = [&] {
      for (; p < n && digit(d[p]); ++p) {
        const std::int64_t v = d[p] - '0';
        if (magnitude > kSafe && magnitude > (kMax - v) / 10) return false;
        magnitude = magnitude * 10 + v;
      }
      return true;
    };
    std::int64_t fraction = -1;  // digits after the point; -1 while no point was seen
    if (!digits()) return false;
    if (p < n && d[p] == '.') {
      const std::size_t point = ++p;
      if (!digits()) return false;
      fraction = static_cast<std::int64_t>(p - point);
    }
    if (p < n && lex_detail::kByteClasses[d[p]] == 0) return false;
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (fraction < 0) {
      out.emplace<std::int64_t>(value);
    } else if (fraction < static_cast<std::int64_t>(lex_detail::kPow10.size())) {
      // Integer zero has no sign, so "-0.0" is +0.0 here.
      out.emplace<double>(static_cast<double>(value) / lex_detail::kPow10[static_cast<std::size_t>(fraction)]);
    } else {
      return false;
    }
    pos_ = p;
    return true;
  }
  [[nodiscard]] Result<std::string> read_name();     // after "/", UTF-8 text
  [[nodiscard]] Result<Bytes> read_literal_string(); // "(" ... ")"
  [[nodiscard]] Result<Bytes> read_hex_string();     // "<" ... ">"
  [[nodiscard]] Result<Keyword> read_keyword();      // null / true / false

 private:
  void skip_whitespace_run();

  ByteView data_;
  std::size_t pos_ = 0;
};

}  // namespace folioscan
