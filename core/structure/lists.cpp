// Recognising bullets and enumerators at the start of a line.
#include "lists.h"

#include <array>

namespace folioscan {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }

std::size_t skip_spaces(std::string_view text, std::size_t at) {
  while (at < text.size() && is_space(text[at])) ++at;
  return at;
}

// Lower-case roman numerals up to "xxxix", as list enumerators use them.
bool is_roman(std::string_view word) {
  if (word.empty() || word.size() > 6) return false;
  for (const char c : word) {
    if (c != 'i' && c != 'v' && c != 'x') return false;
  }
  return true;
}

// The UTF-8 bullets: •, ◦, ▪, ▫, ‣, ●, ○, ■, □, ◆, ➢, ✓, –, −, ·, and the
// private-use code points U+F000 to U+F0FF where symbol fonts put theirs (Symbol's
// bullet at U+F0B7, Wingdings' at U+F0A7 and U+F0D8).
std::size_t bullet_length(std::string_view text) {
  static constexpr std::array<std::string_view, 15> kBullets = {
      "\xE2\x80\xA2", "\xE2\x97\xA6", "\xE2\x96\xAA", "\xE2\x96\xAB", "\xE2\x80\xA3",
      "\xE2\x97\x8F", "\xE2\x97\x8B", "\xE2\x96\xA0", "\xE2\x96\xA1", "\xE2\x97\x86",
      "\xE2\x9E\xA2", "\xE2\x9C\x93", "\xE2\x80\x93", "\xE2\x88\x92", "\xC2\xB7"};
  for (const std::string_view bullet : kBullets) {
    if (text.starts_with(bullet)) return bullet.size();
  }
  if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
      static_cast<unsigned char>(text[1]) == 0x80) {
    return 3;  // U+F000 to U+F03F
  }
  if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
      static_cast<unsigned char>(text[1]) == 0x82) {
    return 3;  // U+F080 to U+F0BF
  }
  if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
      static_cast<unsigned char>(text[1]) == 0x83) {
    return 3;  // U+F0C0 to U+F0FF
  }
  if (!text.empty() && (text[0] == '-' || text[0] == '*')) return 1;
  return 0;
}

}  // namespace

ListMarker list_marker(std::string_view text) {
  const std::size_t start = skip_spaces(text, 0);
  const std::string_view rest = text.substr(start);
  if (const std::size_t bullet = bullet_length(rest); bullet != 0) {
    const std::size_t after = start + bullet;
    // "-", "*" and the dashes that serve as minus signs need white space after them
    // ("-5 %" and "\u2013$5,000" are numbers, "*note" a mark); the other glyphs need
    // some text after them.
    const bool spaced = bullet == 1 || rest.starts_with("\xE2\x80\x93") || rest.starts_with("\xE2\x88\x92");
    if (after < text.size() && (is_space(text[after]) || !spaced)) {
      const std::size_t end = skip_spaces(text, after);
      if (end < text.size()) return {MarkerKind::Bullet, end};
    }
    return {};
  }
  std::size_t at = start;
  const bool bracketed = at < text.size() && text[at] == '(';
  if (bracketed) ++at;
  const std::size_t word_start = at;
  if (at < text.size() && is_digit(text[at])) {
    while (at < text.size() && is_digit(text[at]) && at - word_start < 3) ++at;
  } else if (at < text.size() && is_lower(text[at])) {
    while (at < text.size() && is_lower(text[at])) ++at;
    const std::string_view word = text.substr(word_start, at - word_start);
    if (word.size() != 1 && !is_roman(word)) return {};
  } else if (at < text.size() && is_upper(text[at]) && bracketed) {
    ++at;
  } else {
    return {};
  }
  if (at >= text.size()) return {};
  const char close = text[at];
  if (bracketed ? close != ')' : close != '.' && close != ')') return {};
  ++at;
  // "1.5" and "2.3.1" number sections, not list items.
  if (at >= text.size() || !is_space(text[at])) return {};
  const std::size_t end = skip_spaces(text, at);
  if (end >= text.size()) return {};
  return {MarkerKind::Enumerator, end};
}

}  // namespace folioscan
