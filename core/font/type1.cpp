// Type 1 clear text read for its /Encoding: a small PostScript tokenizer (names,
// numbers, words, strings skipped) over the bytes before "eexec".
#include "type1.h"

#include <cstdint>
#include <optional>

#include "standard_names.h"

namespace folioscan::font {
namespace {

constexpr bool is_space(std::uint8_t b) {
  return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == '\f' || b == 0;
}
constexpr bool is_delimiter(std::uint8_t b) {
  return b == '(' || b == ')' || b == '<' || b == '>' || b == '[' || b == ']' || b == '{' || b == '}' ||
         b == '/' || b == '%';
}

struct Token {
  enum Kind { End, Name, Word, Other } kind = End;
  std::string_view text;  // without the slash of a name
};

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view text) : text_(text) {}

  Token next() {
    for (;;) {
      while (at_ < text_.size() && is_space(byte(at_))) ++at_;
      if (at_ >= text_.size()) return {};
      const std::uint8_t b = byte(at_);
      if (b == '%') {
        while (at_ < text_.size() && byte(at_) != '\n' && byte(at_) != '\r') ++at_;
        continue;
      }
      if (b == '(') {
        skip_string();
        return {Token::Other, {}};
      }
      if (b == '<') {
        while (at_ < text_.size() && byte(at_) != '>') ++at_;
        ++at_;
        return {Token::Other, {}};
      }
      if (b == '/') {
        ++at_;
        return {Token::Name, regular()};
      }
      if (is_delimiter(b)) {
        ++at_;
        return {Token::Other, text_.substr(at_ - 1, 1)};
      }
      return {Token::Word, regular()};
    }
  }

 private:
  std::uint8_t byte(std::size_t i) const { return static_cast<std::uint8_t>(text_[i]); }

  std::string_view regular() {
    const std::size_t start = at_;
    while (at_ < text_.size() && !is_space(byte(at_)) && !is_delimiter(byte(at_))) ++at_;
    return text_.substr(start, at_ - start);
  }

  // A literal string with nested parentheses and backslash escapes.
  void skip_string() {
    std::size_t depth = 0;
    while (at_ < text_.size()) {
      const std::uint8_t b = byte(at_++);
      if (b == '\\') {
        ++at_;
      } else if (b == '(') {
        ++depth;
      } else if (b == ')' && --depth == 0) {
        return;
      }
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

std::optional<std::uint32_t> small_integer(std::string_view word) {
  if (word.empty() || word.size() > 3) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

// The clear text: a PFB program's first segment (type 1), else everything up to "eexec".
std::string_view clear_text(ByteView program) {
  std::string_view text(reinterpret_cast<const char*>(program.data()), program.size());
  if (program.size() >= 6 && program[0] == 0x80 && program[1] == 0x01) {
    const std::uint64_t length = std::uint64_t{program[2]} | std::uint64_t{program[3]} << 8 |
                                 std::uint64_t{program[4]} << 16 | std::uint64_t{program[5]} << 24;
    text = text.substr(6, length);
  }
  if (const auto eexec = text.find("eexec"); eexec != std::string_view::npos) text = text.substr(0, eexec);
  return text;
}

}  // namespace

Type1Encoding read_type1_encoding(ByteView program) {
  Type1Encoding encoding;
  Tokenizer tokens(clear_text(program));
  Token token;
  do {
    token = tokens.next();
  } while (token.kind != Token::End && !(token.kind == Token::Name && token.text == "Encoding"));
  if (token.kind == Token::End) return encoding;

  token = tokens.next();
  if (token.kind == Token::Word && token.text == "StandardEncoding") {
    encoding.found = true;
    encoding.standard = true;
    for (std::uint32_t code = 0; code < 256; ++code) {
      if (const std::uint16_t sid = standard_encoding_sid(static_cast<std::uint8_t>(code))) {
        encoding.names[code] = standard_string(sid);
      }
    }
    return encoding;
  }
  if (token.kind != Token::Word || !small_integer(token.text)) return encoding;
  encoding.found = true;
  // "dup <code> /<name> put" entries up to the "def" that stores the array (the
  // ".notdef" fill loop before them has no "dup").
  Token previous[3];
  for (token = tokens.next(); token.kind != Token::End; token = tokens.next()) {
    if (token.kind == Token::Word && (token.text == "def" || token.text == "readonly")) break;
    if (token.kind == Token::Word && token.text == "put" && previous[0].kind == Token::Word &&
        previous[0].text == "dup" && previous[1].kind == Token::Word && previous[2].kind == Token::Name) {
      if (const auto code = small_integer(previous[1].text); code && *code < 256) {
        encoding.names[*code] = previous[2].text;
      }
    }
    previous[0] = previous[1];
    previous[1] = previous[2];
    previous[2] = token;
  }
  return encoding;
}

}  // namespace folioscan::font
