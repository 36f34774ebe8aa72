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
