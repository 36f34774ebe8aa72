// The byte-level cursor: byte classes, white space and comments, regular runs, keywords,
// unsigned integers, and the grammars of numbers, names, literal and hexadecimal strings
// and the keywords null/true/false. Works on the caller's buffer; only names and strings
// allocate.
#include "lex.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>
#include <system_error>

#include "utf8.h"

namespace folioscan {

namespace {
enum ByteClass : std::uint8_t { kRegular = 0, kWhite = 1, kDelimiter = 2 };
}  // namespace

namespace lex_detail {

// Bits 0, 9, 10, 12, 13 and 32: NUL TAB LF FF CR SPACE.
constexpr std::uint64_t kWhitespaceMask = (std::uint64_t{1} << 0) | (std::uint64_t{1} << 9) |
                                          (std::uint64_t{1} << 10) | (std::uint64_t{1} << 12) |
                                          (std::uint64_t{1} << 13) | (std::uint64_t{1} << 32);

constexpr std::array<std::uint8_t, 256> make_classes() {
  std::array<std::uint8_t, 256> table{};
  for (unsigned b = 0; b < 64; ++b) {
    if ((kWhitespaceMask >> b) & 1) table[b] = kWhite;
  }
  for (char c : std::string_view("%()/<>[]{}")) table[static_cast<std::uint8_t>(c)] = kDelimiter;
  return table;
}

constinit const std::array<std::uint8_t, 256> kByteClasses = make_classes();

}  // namespace lex_detail

namespace {

using lex_detail::kWhitespaceMask;

constexpr std::array<std::int8_t, 256> make_hex() {
  std::array<std::int8_t, 256> table{};
  for (auto& v : table) v = -1;
  for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<std::int8_t>(i);
  for (int i = 0; i < 6; ++i) {
    table['a' + i] = static_cast<std::int8_t>(10 + i);
    table['A' + i] = static_cast<std::int8_t>(10 + i);
  }
  return table;
}

constexpr auto& kClasses = lex_detail::kByteClasses;
constexpr auto kHex = make_hex();

inline bool white(std::uint8_t b) { return kClasses[b] == kWhite; }
inline bool regular(std::uint8_t b) { return kClasses[b] == kRegular; }
inline bool boundary(std::uint8_t b) { return kClasses[b] != kRegular; }
inline bool digit(std::uint8_t b) { return static_cast<unsigned>(b - '0') < 10; }

// Word-at-a-time search for the first of a few byte values: a byte of `w` equal to
// the pattern byte becomes zero after the XOR, and the classic zero-byte test finds it.
// Spurious hits can only sit above a true one, so the lowest flagged byte is exact.
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

inline std::uint64_t zero_bytes(std::uint64_t v) { return (v - kOnes) & ~v & kHighs; }

template <std::uint8_t... Wanted>
std::size_t find_first_of(const std::uint8_t* d, std::size_t p, std::size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    while (n - p >= 8) {
      std::uint64_t w;
      std::memcpy(&w, d + p, 8);
      const std::uint64_t hit = (zero_bytes(w ^ (kOnes * Wanted)) | ...);
      if (hit != 0) return p + (static_cast<std::size_t>(std::countr_zero(hit)) >> 3);
      p += 8;
    }
  }
  for (; p < n; ++p) {
    const std::uint8_t b = d[p];
    if (((b == Wanted) || ...)) return p;
  }
  return n;
}

ParseError eof_error() { return ParseError{"input ended mid-object", ParseErrorKind::UnexpectedEof}; }

// "+"? digits, at most `max`; nothing for any other text.
std::optional<std::uint64_t> parse_unsigned(std::string_view run, std::uint64_t max) {
  std::size_t i = 0;
  if (!run.empty() && run[0] == '+') i = 1;
  if (i == run.size()) return std::nullopt;
  std::uint64_t value = 0;
  for (; i < run.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(run[i]);
    if (!digit(b)) return std::nullopt;
    const std::uint64_t d = b - '0';
    if (value > (max - d) / 10) return std::nullopt;
    value = value * 10 + d;
  }
  return value;
}

bool valid_utf8(std::string_view run) {
  bool ascii = true;
  for (char c : run) ascii &= static_cast<std::uint8_t>(c) < 0x80;
  if (ascii) return true;
  const ByteView bytes(reinterpret_cast<const std::uint8_t*>(run.data()), run.size());
  return utf8_lossy(bytes) == run;  // lossless exactly when nothing was replaced
}

// from_chars reports values beyond the double range as out of range without a value;
// they round to an infinity (overflow) or to zero (underflow). Which one follows from
// the decimal exponent of the leading nonzero digit, text already known to be valid.
double saturate(const char* b, const char* e) {
  bool negative = false;
  if (b < e && *b == '-') {
    negative = true;
    ++b;
  }
  std::int64_t lead = 0;
  bool found = false;
  bool point = false;
  std::int64_t int_digits = 0;
  std::int64_t frac_digits = 0;
  for (; b < e && *b != 'e' && *b != 'E'; ++b) {
    if (*b == '.') {
      point = true;
      continue;
    }
    if (point) {
      ++frac_digits;
      if (!found && *b != '0') {
        lead = -frac_digits;
        found = true;
      }
    } else {
      if (!found && *b != '0') {
        found = true;
        lead = int_digits;  // counted from the left, fixed up below
      }
      ++int_digits;
    }
  }
  if (found && lead >= 0) lead = int_digits - 1 - lead;
  std::int64_t exponent = 0;
  if (b < e) {
    ++b;
    bool exp_negative = false;
    if (b < e && (*b == '+' || *b == '-')) exp_negative = *b++ == '-';
    for (; b < e; ++b) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (*b - '0');
    }
    if (exp_negative) exponent = -exponent;
  }
  const double magnitude = lead + exponent >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -magnitude : magnitude;
}

Result<Number> parse_number_fallback(std::string_view run) {
  if (!valid_utf8(run)) return fail(ParseErrorKind::UnexpectedToken, "non-utf8 number");
  const char* b = run.data();
  const char* e = b + run.size();
  // from_chars takes no leading "+"; take exactly one off, and no sign may follow it.
  if (b < e && *b == '+') {
    ++b;
    if (b < e && (*b == '+' || *b == '-')) return fail(ParseErrorKind::UnexpectedToken, "bad number");
  }
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(b, e, value, std::chars_format::general);
  if (ec == std::errc::invalid_argument || ptr != e) {
    return fail(ParseErrorKind::UnexpectedToken, "bad number");
  }
  if (ec == std::errc::result_out_of_range) value = saturate(b, e);
  return Number(value);
}

}  // namespace

bool is_whitespace(std::uint8_t b) { return b < 64 && ((kWhitespaceMask >> b) & 1) != 0; }
bool is_delimiter(std::uint8_t b) { return kClasses[b] == kDelimiter; }
bool is_regular(std::uint8_t b) { return kClasses[b] == kRegular; }
int hex_value(std::uint8_t b) { return kHex[b]; }

Lexer::Lexer(ByteView data, std::size_t pos) : data_(data), pos_(pos < data.size() ? pos : data.size()) {}

void Lexer::set_pos(std::size_t pos) { pos_ = pos < data_.size() ? pos : data_.size(); }

void Lexer::skip_whitespace_run() {
  const std::uint8_t* d = data_.data();
  const std::size_t n = data_.size();
  std::size_t p = pos_;
  while (p < n) {
    const std::uint8_t b = d[p];
    if (white(b)) {
      ++p;
    } else if (b == '%') {
      p = find_first_of<'\r', '\n'>(d, p + 1, n);
      if (p < n) ++p;
    } else {
      break;
    }
  }
  pos_ = p;
}

bool Lexer::match_keyword(std::string_view keyword) {
  const std::size_t n = data_.size();
  if (n - pos_ < keyword.size()) return false;
  if (std::memcmp(data_.data() + pos_, keyword.data(), keyword.size()) != 0) return false;
  const std::size_t after = pos_ + keyword.size();
  if (after < n && !boundary(data_[after])) return false;
  pos_ = after;
  return true;
}

Result<std::uint32_t> Lexer::read_u32(ParseErrorKind kind, ParseErrorCause cause) {
  skip_whitespace();
  const std::string_view run = read_regular();
  if (run.empty()) return fail(kind, cause, "expected integer");
  const auto value = parse_unsigned(run, std::numeric_limits<std::uint32_t>::max());
  if (!value) return fail(kind, cause, "bad integer");
  return static_cast<std::uint32_t>(*value);
}

Result<std::uint64_t> Lexer::read_u64(ParseErrorKind kind, std::string_view missing,
                                      std::string_view bad) {
  skip_whitespace();
  const std::string_view run = read_regular();
  if (run.empty()) return fail(kind, std::string(missing));
  const auto value = parse_unsigned(run, std::numeric_limits<std::uint64_t>::max());
  if (!value) return fail(kind, std::string(bad));
  return *value;
}

Result<Number> Lexer::read_number() {
  Number number;
  if (read_plain_number(number)) return number;
  return parse_number_fallback(read_regular());
}

Result<std::string> Lexer::read_name() {
  const std::uint8_t* d = data_.data();
  const std::size_t n = data_.size();
  const std::size_t start = pos_ + 1;  // past "/"
  std::size_t p = start;
  while (p < n && regular(d[p]) && d[p] != '#') ++p;
  if (p >= n || d[p] != '#') {
    pos_ = p;
    return utf8_lossy(ByteView(d + start, p - start));
  }
  // Escapes present: decode into a scratch buffer.
  Bytes raw(d + start, d + p);
  while (p < n && regular(d[p])) {
    if (d[p] != '#') {
      raw.push_back(d[p++]);
      continue;
    }
    if (p + 1 >= n) {
      pos_ = n;
      return std::unexpected(eof_error());
    }
    const int high = kHex[d[p + 1]];
    if (high < 0) {
      pos_ = p + 1;
      return fail(ParseErrorKind::UnexpectedToken, "bad #xx escape in name");
    }
    if (p + 2 >= n) {
      pos_ = n;
      return std::unexpected(eof_error());
    }
    const int low = kHex[d[p + 2]];
    if (low < 0) {
      pos_ = p + 2;
      return fail(ParseErrorKind::UnexpectedToken, "bad #xx escape in name");
    }
    raw.push_back(static_cast<std::uint8_t>(high << 4 | low));
    p += 3;
  }
  pos_ = p;
  return utf8_lossy(raw);
}

Result<Bytes> Lexer::read_literal_string() {
  const std::uint8_t* d = data_.data();
  const std::size_t n = data_.size();
  std::size_t p = pos_ + 1;  // past "("
  std::size_t depth = 1;
  Bytes out;
  for (;;) {
    const std::size_t q = find_first_of<'(', ')', '\\'>(d, p, n);
    if (q >= n) {
      pos_ = n;
      return std::unexpected(eof_error());
    }
    out.insert(out.end(), d + p, d + q);
    const std::uint8_t b = d[q];
    p = q + 1;
    if (b == '(') {
      ++depth;
      out.push_back('(');
      continue;
    }
    if (b == ')') {
      if (--depth == 0) {
        pos_ = p;
        return out;
      }
      out.push_back(')');
      continue;
    }
    // Backslash escape.
    if (p >= n) {
      pos_ = n;
      return std::unexpected(eof_error());
    }
    const std::uint8_t e = d[p++];
    switch (e) {
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'b': out.push_back(8); break;
      case 'f': out.push_back(12); break;
      case '\n': break;  // line continuation
      case '\r':
        if (p < n && d[p] == '\n') ++p;
        break;
      case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
        unsigned value = e - '0';
        for (int k = 1; k < 3 && p < n && d[p] >= '0' && d[p] <= '7'; ++k) value = value * 8 + (d[p++] - '0');
        out.push_back(static_cast<std::uint8_t>(value & 0xFF));
        break;
      }
      default: out.push_back(e); break;
    }
  }
}

Result<Bytes> Lexer::read_hex_string() {
  const std::uint8_t* d = data_.data();
  const std::size_t n = data_.size();
  std::size_t p = pos_ + 1;  // past "<"
  // No look-ahead for ">" to size the output: a run of short broken strings would then
  // rescan the same tail again and again.
  Bytes out;
  // The first byte out reserves 24: the smallest heap block holds that many anyway, and
  // short strings (two-byte codes above all) then grow no more.
  constexpr std::size_t kFirstRoom = 24;
  int high = -1;
  while (p < n) {
    const std::uint8_t b = d[p];
    if (b == '>') {
      if (high >= 0) {
        if (out.empty()) out.reserve(kFirstRoom);
        out.push_back(static_cast<std::uint8_t>(high << 4));
      }
      pos_ = p + 1;
      return out;
    }
    if (!white(b)) {
      const int v = kHex[b];
      if (v < 0) {
        pos_ = p;
        return fail(ParseErrorKind::UnexpectedToken, "bad hex digit");
      }
      if (high < 0) {
        high = v;
      } else {
        if (out.empty()) out.reserve(kFirstRoom);
        out.push_back(static_cast<std::uint8_t>(high << 4 | v));
        high = -1;
      }
    }
    ++p;
  }
  pos_ = n;
  return std::unexpected(eof_error());
}

Result<Keyword> Lexer::read_keyword() {
  const std::string_view run = read_regular();
  if (run == "null") return Keyword::Null;
  if (run == "true") return Keyword::True;
  if (run == "false") return Keyword::False;
  return fail(ParseErrorKind::UnexpectedToken, "unexpected token");
}

}  // namespace folioscan
