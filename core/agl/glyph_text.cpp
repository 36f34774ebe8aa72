// Recovery's reading of glyph names through Adobe's full glyph list and the "uni",
// "u", ligature and suffix rules.
#include "glyph_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <optional>

#include "../input_limits.h"
#include "../utf8.h"
#include "glyph_names.h"

namespace folioscan {
namespace {

struct GlyphListEntry {
  std::string_view name;
  std::array<std::uint32_t, 4> points;
  std::uint8_t count;
};

#include "glyph_list.inc"

static_assert(std::is_sorted(std::begin(kGlyphList), std::end(kGlyphList),
                             [](const GlyphListEntry& a, const GlyphListEntry& b) { return a.name < b.name; }));


constexpr bool is_character(std::uint32_t cp) { return cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF); }

// One part of a name (no "." or "_" in it).
bool append_part(std::string_view part, std::u32string& out) {
  if (part.empty()) return false;
  const auto* it = std::lower_bound(std::begin(kGlyphList), std::end(kGlyphList), part,
                                    [](const GlyphListEntry& e, std::string_view n) { return e.name < n; });
  if (it != std::end(kGlyphList) && it->name == part) {
    for (std::uint8_t i = 0; i < it->count; ++i) out.push_back(it->points[i]);
    return true;
  }
  if (part.size() >= 7 && part.size() % 4 == 3 && part.starts_with("uni")) {
    std::u32string text;
    for (std::size_t at = 3; at < part.size(); at += 4) {
      const auto value = hex_digits_value(part.substr(at, 4));
      if (!value || !is_character(*value)) return false;
      text.push_back(*value);
    }
    out += text;
    return true;
  }
  if (part.size() >= 5 && part.size() <= 7 && part.front() == 'u') {
    const auto value = hex_digits_value(part.substr(1));
    if (!value || !is_character(*value)) return false;
    out.push_back(*value);
    return true;
  }
  // The strict table also holds names the list lacks (the Apple logo, "nbspace").
  if (const auto value = glyph_name_to_unicode(part); value && *value != 0) {
    out.push_back(*value);
    return true;
  }
  return false;
}

}  // namespace

std::optional<std::u32string> glyph_name_points(std::string_view name) {
  if (const auto dot = name.find('.'); dot != std::string_view::npos) name = name.substr(0, dot);
  if (name.empty()) return std::nullopt;
  std::u32string points;
  std::size_t parts = 0;
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(name.find('_', start), name.size());
    if (++parts > limits::kMaxLigatureParts || !append_part(name.substr(start, end - start), points)) return std::nullopt;
    if (end == name.size()) break;
    start = end + 1;
  }
  return points;
}

bool append_glyph_name_text(std::string_view name, std::string& out) {
  const auto points = glyph_name_points(name);
  if (!points) return false;
  for (const char32_t cp : *points) append_utf8(out, cp);
  return true;
}

}  // namespace folioscan
