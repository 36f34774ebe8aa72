// Joining a paragraph's lines.
#include "paragraphs.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "../utf8.h"

namespace folioscan {
namespace {

constexpr std::string_view kSoftHyphen = "\xC2\xAD";

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The code point that ends `text`, 0 when none.
std::uint32_t last_code_point(std::string_view text) {
  std::size_t at = text.size();
  while (at > 0 && (static_cast<std::uint8_t>(text[at - 1]) & 0xC0) == 0x80) --at;
  if (at == 0) return 0;
  --at;
  const auto lead = static_cast<std::uint8_t>(text[at]);
  std::uint32_t value = lead < 0x80 ? lead : lead < 0xE0 ? lead & 0x1F : lead < 0xF0 ? lead & 0x0F : lead & 0x07;
  for (std::size_t i = at + 1; i < text.size(); ++i) value = (value << 6) | (static_cast<std::uint8_t>(text[i]) & 0x3F);
  return value;
}

// Letters of the scripts that separate words with spaces, roughly: Latin, Greek,
// Cyrillic (lower case where the case counts).
bool is_letter(std::uint32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) ||
         (c >= 0x370 && c <= 0x4FF);
}

bool is_lower(std::uint32_t c) {
  if (c >= 'a' && c <= 'z') return true;
  if (c >= 0xDF && c <= 0xFF && c != 0xF7) return true;
  if (c >= 0x100 && c <= 0x17F) return (c & 1) == 1;  // Latin Extended-A alternates
  if (c >= 0x3AC && c <= 0x3CE) return true;          // Greek small letters
  return c >= 0x430 && c <= 0x45F;                      // Cyrillic small letters
}

// Scripts written without spaces between words: CJK symbols, kana, ideographs, Hangul,
// and the full-width forms.
bool is_unspaced(std::uint32_t c) {
  return (c >= 0x3000 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x2FFFF);
}

// Appends `text` without its soft hyphens, each tab (which producers put after a
// section number or a footnote mark) as a space.
void append_without_soft_hyphens(std::string& out, std::string_view text) {
  std::size_t at = 0;
  while (true) {
    const std::size_t found = text.find(kSoftHyphen, at);
    const std::size_t from = out.size();
    out.append(text.substr(at, found == std::string_view::npos ? std::string_view::npos : found - at));
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), '\t', ' ');
    if (found == std::string_view::npos) return;
    at = found + kSoftHyphen.size();
  }
}

std::string_view last_word(std::string_view text) {
  std::size_t at = text.size();
  while (at > 0 && text[at - 1] >= 'a' && text[at - 1] <= 'z') --at;
  if (at > 0 && text[at - 1] >= 'A' && text[at - 1] <= 'Z') --at;
  if (at > 0 && text[at - 1] != ' ' && text[at - 1] != '(' && text[at - 1] != '"') return {};
  return text.substr(at);
}

std::string_view first_word(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && text[at] >= 'a' && text[at] <= 'z') ++at;
  return text.substr(0, at);
}

// Whether a hyphen at a line end after `before` (the text up to the hyphen) belongs to
// a compound rather than breaking a word:
// - the part before it is a small word of a hyphenated compound ("state-of-" +
//   "the-art", "end-to-" + "end");
// - the first part is a word that forms such compounds ("long-" + "term", "self-" +
//   "aware", "thirty-" + "seven"), the second a word of its own, not a suffix that
//   hyphenation splits off ("short-" + "ly", "high-" + "er");
// - the second part is a word that ends compounds ("task-" + "oriented", "rule-" +
//   "based") after a first part of three letters or more that is not a prefix
//   hyphenation splits off ("un-" + "aware", "dis-" + "oriented").
bool compound_hyphen(std::string_view before, std::string_view line) {
  const std::string_view head = last_word(before);
  if (head.empty()) {
    // A word run up to the hyphen from an earlier hyphen: "state-of-", "one-to-".
    // Only a small word is taken for a compound's link ("of", "to"): a longer one may
    // be the first syllables of a compound's last word ("mass-pro-" + "duced").
    static constexpr std::string_view kLinks[] = {"of", "to", "the", "and", "or", "in", "on", "by", "for", "at"};
    std::size_t at = before.size();
    while (at > 0 && before[at - 1] >= 'a' && before[at - 1] <= 'z') --at;
    const std::string_view link = before.substr(at);
    return at >= 2 && before[at - 1] == '-' && before[at - 2] != ' ' && before[at - 2] != '-' &&
           std::find(std::begin(kLinks), std::end(kLinks), link) != std::end(kLinks);
  }
  std::string lower(head);
  if (lower[0] >= 'A' && lower[0] <= 'Z') lower[0] = static_cast<char>(lower[0] - 'A' + 'a');
  const std::string_view tail = first_word(line);
  static constexpr std::string_view kHeads[] = {
      "self",   "well",   "long",  "short", "high",  "low",   "full",    "half",   "cross",   "ill",
      "end",    "state",  "so",    "twenty", "thirty", "forty", "fifty", "sixty", "seventy", "eighty",
      "ninety"};
  if (std::find(std::begin(kHeads), std::end(kHeads), lower) != std::end(kHeads)) {
    if (tail.size() < 3) return false;
    static constexpr std::string_view kSuffixes[] = {
        "er",  "ers",  "est", "ly",    "ness", "ish",  "ing",  "ings",  "ed",     "en",      "ened",   "ered",
        "ering", "age", "ages", "ize", "ise",  "ized", "ised", "ity",   "ism",    "ist",     "way",    "ways",
        "ward", "wards", "light", "lights", "lighted", "lighting", "ening", "ens", "itude", "ocation"};
    return std::find(std::begin(kSuffixes), std::end(kSuffixes), tail) == std::end(kSuffixes);
  }
  static constexpr std::string_view kTails[] = {
      "oriented", "based",     "driven",    "specific", "related",  "aware",    "friendly", "dependent",
      "centric",  "agnostic",  "intensive", "tuned",    "trained",  "defined",  "sized",    "shaped"};
  static constexpr std::string_view kPrefixes[] = {"non", "dis", "pre", "sub", "mis", "over", "under", "inter",
                                                   "anti", "semi", "post", "super", "counter"};
  return lower.size() >= 3 && std::find(std::begin(kTails), std::end(kTails), tail) != std::end(kTails) &&
         std::find(std::begin(kPrefixes), std::end(kPrefixes), lower) == std::end(kPrefixes);
}

// Whether `text` ends with an en or em dash right after a character that is no space:
// a range or a pair of names ("Mann\u2013" + "Whitney", "10\u2013" + "20") that the
// line end split, whose halves join without a space.
bool ends_with_attached_dash(std::string_view text) {
  for (const std::string_view dash : {std::string_view("\xE2\x80\x93"), std::string_view("\xE2\x80\x94")}) {
    if (text.size() > dash.size() && text.ends_with(dash) && text[text.size() - dash.size() - 1] != ' ') return true;
  }
  return false;
}

}  // namespace

void append_paragraph_line(std::string& text, std::string_view line) {
  line = trimmed(line);
  if (line.empty()) return;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.empty()) {
    append_without_soft_hyphens(text, line);
    return;
  }
  const std::uint32_t next = first_code_point(line);
  if (text.ends_with(kSoftHyphen)) {
    text.resize(text.size() - kSoftHyphen.size());
  } else if (text.back() == '-' && text.size() >= 2) {
    const std::uint32_t before = last_code_point(std::string_view(text).substr(0, text.size() - 1));
    if (is_letter(before) && is_lower(next) &&
        !compound_hyphen(std::string_view(text).substr(0, text.size() - 1), line)) {
      text.pop_back();
    } else if (before == ' ') {
      text += ' ';  // a dash standing alone
    }
  } else if (ends_with_attached_dash(text)) {
    // joined without a space
  } else if (!(is_unspaced(last_code_point(text)) && is_unspaced(next))) {
    text += ' ';
  }
  append_without_soft_hyphens(text, line);
}

}  // namespace folioscan
