// The glyph-name tables: the three built-in 256-entry code tables and the glyph-name
// table with its "uniXXXX"/"uXXXX" rules.
#include "glyph_names.h"

#include <algorithm>
#include <iterator>

namespace folioscan {
namespace {

using CodeTable = std::array<std::uint32_t, 256>;

// Codes 0x01-0x7F map to themselves in the default and Mac Roman tables.
constexpr CodeTable with_ascii_low_half(CodeTable table) {
  for (std::uint32_t code = 1; code < 0x80; ++code) table[code] = code;
  return table;
}

// Windows code page 1252. Its five unassigned codes (0x81, 0x8D, 0x8F, 0x90, 0x9D) have no
// text; 0xA0-0xFF coincide with Latin-1.
constexpr CodeTable make_win_ansi() {
  constexpr std::array<std::uint32_t, 32> kHigh = {
      0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x0000, 0x017D, 0x0000,  // 0x88
      0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178,  // 0x98
  };
  CodeTable table = with_ascii_low_half({});
  for (std::uint32_t i = 0; i < 32; ++i) table[0x80 + i] = kHigh[i];
  for (std::uint32_t code = 0xA0; code < 0x100; ++code) table[code] = code;
  return table;
}

// Mac OS Roman in Apple's current mapping (0xDB is the euro sign, 0xF0 the Apple logo in
// the private use area).
constexpr CodeTable make_mac_roman() {
  constexpr std::array<std::uint32_t, 128> kHigh = {
      0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,  // 0x80
      0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,  // 0x88
      0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,  // 0x90
      0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,  // 0x98
      0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,  // 0xA0
      0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,  // 0xA8
      0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,  // 0xB0
      0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,  // 0xB8
      0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,  // 0xC0
      0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,  // 0xC8
      0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,  // 0xD0
      0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,  // 0xD8
      0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,  // 0xE0
      0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,  // 0xE8
      0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,  // 0xF0
      0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,  // 0xF8
  };
  CodeTable table = with_ascii_low_half({});
  for (std::uint32_t i = 0; i < 128; ++i) table[0x80 + i] = kHigh[i];
  return table;
}

// Only the printable ASCII range, with typographic single quotes at 0x27 and 0x60; the
// upper half depends on glyph names this table does not carry, so it has no text.
constexpr CodeTable make_standard() {
  CodeTable table{};
  for (std::uint32_t code = 0x20; code < 0x7F; ++code) table[code] = code;
  table[0x27] = 0x2019;
  table[0x60] = 0x2018;
  return table;
}

constexpr CodeTable kWinAnsi = make_win_ansi();
constexpr CodeTable kMacRoman = make_mac_roman();
constexpr CodeTable kStandard = make_standard();

struct GlyphEntry {
  std::string_view name;
  std::uint32_t value;
};

// Sorted by the bytes of the name (capitals before small letters) for binary search.
constexpr GlyphEntry kGlyphs[] = {
    {"A", 0x0041}, {"AE", 0x00C6}, {"B", 0x0042}, {"C", 0x0043}, {"D", 0x0044}, {"E", 0x0045},
    {"F", 0x0046}, {"G", 0x0047}, {"H", 0x0048}, {"I", 0x0049}, {"J", 0x004A}, {"K", 0x004B},
    {"L", 0x004C}, {"M", 0x004D}, {"N", 0x004E}, {"O", 0x004F}, {"Oslash", 0x00D8},
    {"P", 0x0050}, {"Q", 0x0051}, {"R", 0x0052}, {"S", 0x0053}, {"T", 0x0054}, {"U", 0x0055},
    {"V", 0x0056}, {"W", 0x0057}, {"X", 0x0058}, {"Y", 0x0059}, {"Z", 0x005A}, {"a", 0x0061},
    {"aacute", 0x00E1}, {"adieresis", 0x00E4}, {"ae", 0x00E6}, {"agrave", 0x00E0},
    {"ampersand", 0x0026}, {"asciicircum", 0x005E}, {"asciitilde", 0x007E},
    {"asterisk", 0x002A}, {"at", 0x0040}, {"b", 0x0062}, {"backslash", 0x005C}, {"bar", 0x007C},
    {"braceleft", 0x007B}, {"braceright", 0x007D}, {"bracketleft", 0x005B},
    {"bracketright", 0x005D}, {"bullet", 0x2022}, {"c", 0x0063}, {"ccedilla", 0x00E7},
    {"cent", 0x00A2}, {"colon", 0x003A}, {"comma", 0x002C}, {"copyright", 0x00A9},
    {"d", 0x0064}, {"dagger", 0x2020}, {"daggerdbl", 0x2021}, {"degree", 0x00B0},
    {"divide", 0x00F7}, {"dollar", 0x0024}, {"e", 0x0065}, {"eacute", 0x00E9},
    {"edieresis", 0x00EB}, {"egrave", 0x00E8}, {"eight", 0x0038}, {"ellipsis", 0x2026},
    {"emdash", 0x2014}, {"endash", 0x2013}, {"equal", 0x003D}, {"euro", 0x20AC},
    {"exclam", 0x0021}, {"f", 0x0066}, {"ff", 0xFB00}, {"ffi", 0xFB03}, {"ffl", 0xFB04},
    {"fi", 0xFB01}, {"five", 0x0035}, {"fl", 0xFB02}, {"florin", 0x0192}, {"four", 0x0034},
    {"g", 0x0067}, {"germandbls", 0x00DF}, {"grave", 0x0060}, {"greater", 0x003E},
    {"guilsinglleft", 0x2039}, {"guilsinglright", 0x203A}, {"h", 0x0068}, {"hyphen", 0x002D},
    {"i", 0x0069}, {"iacute", 0x00ED}, {"j", 0x006A}, {"k", 0x006B}, {"l", 0x006C},
    {"less", 0x003C}, {"m", 0x006D}, {"minus", 0x2212}, {"multiply", 0x00D7}, {"n", 0x006E},
    {"nbspace", 0x00A0}, {"nine", 0x0039}, {"ntilde", 0x00F1}, {"numbersign", 0x0023},
    {"o", 0x006F}, {"oacute", 0x00F3}, {"odieresis", 0x00F6}, {"one", 0x0031},
    {"oslash", 0x00F8}, {"p", 0x0070}, {"paragraph", 0x00B6}, {"parenleft", 0x0028},
    {"parenright", 0x0029}, {"percent", 0x0025}, {"period", 0x002E}, {"periodcentered", 0x00B7},
    {"perthousand", 0x2030}, {"plus", 0x002B}, {"q", 0x0071}, {"question", 0x003F},
    {"quotedbl", 0x0022}, {"quotedblbase", 0x201E}, {"quotedblleft", 0x201C},
    {"quotedblright", 0x201D}, {"quoteleft", 0x2018}, {"quoteright", 0x2019},
    {"quotesinglbase", 0x201A}, {"quotesingle", 0x0027}, {"r", 0x0072}, {"registered", 0x00AE},
    {"s", 0x0073}, {"section", 0x00A7}, {"semicolon", 0x003B}, {"seven", 0x0037},
    {"six", 0x0036}, {"slash", 0x002F}, {"space", 0x0020}, {"sterling", 0x00A3}, {"t", 0x0074},
    {"three", 0x0033}, {"trademark", 0x2122}, {"two", 0x0032}, {"u", 0x0075},
    {"uacute", 0x00FA}, {"udieresis", 0x00FC}, {"underscore", 0x005F}, {"v", 0x0076},
    {"w", 0x0077}, {"x", 0x0078}, {"y", 0x0079}, {"yen", 0x00A5}, {"z", 0x007A},
    {"zero", 0x0030},
};

static_assert(std::size(kGlyphs) == 149);
// string_view compares bytes as unsigned char, which is the order binary search needs.
static_assert(std::is_sorted(std::begin(kGlyphs), std::end(kGlyphs),
                             [](const GlyphEntry& a, const GlyphEntry& b) { return a.name < b.name; }));

constexpr bool is_surrogate(std::uint32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

// An unsigned hexadecimal number filling all of `digits`; one leading '+' is accepted
// (as unsigned integer parsing usually does), nothing else but 0-9, A-F, a-f.
std::optional<std::uint32_t> parse_hex(std::string_view digits) {
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  return hex_digits_value(digits);
}

}  // namespace

const std::array<std::uint32_t, 256>& win_ansi_table() { return kWinAnsi; }
const std::array<std::uint32_t, 256>& mac_roman_table() { return kMacRoman; }
const std::array<std::uint32_t, 256>& standard_table() { return kStandard; }

std::optional<std::uint32_t> hex_digits_value(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (const char ch : digits) {
    std::uint32_t nibble = 0;
    if (ch >= '0' && ch <= '9') {
      nibble = static_cast<std::uint32_t>(ch - '0');
    } else if (ch >= 'A' && ch <= 'F') {
      nibble = static_cast<std::uint32_t>(ch - 'A' + 10);
    } else if (ch >= 'a' && ch <= 'f') {
      nibble = static_cast<std::uint32_t>(ch - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value * 16 + nibble;  // at most eight digits: no overflow
  }
  return value;
}

std::optional<std::uint32_t> glyph_name_to_unicode(std::string_view name) {
  // Suffixes name variants of the same character: "a.sc" is "a"; ".notdef" is empty.
  if (const auto dot = name.find('.'); dot != std::string_view::npos) name = name.substr(0, dot);

  const auto* it = std::lower_bound(std::begin(kGlyphs), std::end(kGlyphs), name,
                                    [](const GlyphEntry& e, std::string_view n) { return e.name < n; });
  if (it != std::end(kGlyphs) && it->name == name) return it->value;

  if (name.size() > 2 && name.starts_with("uni")) {
    // "uniXXXX": exactly four digits count; any further ones ("uni00410042", a ligature)
    // are ignored, so the name yields its first character.
    if (name.size() < 7) return std::nullopt;
    const auto value = parse_hex(name.substr(3, 4));
    if (!value || is_surrogate(*value)) return std::nullopt;
    return value;
  }
  if (name.size() >= 5 && name.size() <= 7 && name.front() == 'u') {
    const auto value = parse_hex(name.substr(1));
    if (!value || *value > 0x10FFFF || is_surrogate(*value)) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

}  // namespace folioscan
