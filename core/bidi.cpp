// Reading order for lines drawn in visual order: resolving bidirectional levels over the
// drawn units and reversing runs of odd and raised levels.
#include "bidi.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace folioscan {
namespace {

struct BidiRange {
  char32_t first;
  char32_t last;
  BidiClass cls;
};

constexpr BidiRange kRanges[] = {
#include "bidi_classes.inc"
};

constexpr std::array<BidiClass, 128> make_ascii_table() {
  std::array<BidiClass, 128> table{};
  for (char32_t cp = 0; cp < 128; ++cp) {
    table[cp] = BidiClass::L;
    for (const auto& r : kRanges) {
      if (r.first > cp) break;
      if (cp <= r.last) table[cp] = r.cls;
    }
  }
  return table;
}

constexpr std::array<BidiClass, 128> kAscii = make_ascii_table();

// One decoded step of UTF-8: a code point, or one byte that does not start a valid
// sequence (invalid is then true).
struct Decoded {
  char32_t cp;
  std::size_t length;
  bool invalid;
};

Decoded decode(std::string_view s, std::size_t at, std::size_t end) {
  const auto b0 = static_cast<unsigned char>(s[at]);
  if (b0 < 0x80) return {b0, 1, false};
  std::size_t need = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return {0, 1, true};
  }
  if (end - at <= need) return {0, 1, true};
  for (std::size_t i = 1; i <= need; ++i) {
    const auto b = static_cast<unsigned char>(s[at + i]);
    if ((b & 0xC0) != 0x80) return {0, 1, true};
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {0, 1, true};
  return {cp, need + 1, false};
}

// Bytes that are not UTF-8 read like U+FFFD, an other neutral.
BidiClass class_of(const Decoded& d) { return d.invalid ? BidiClass::ON : bidi_class(d.cp); }

bool is_strong(BidiClass c) { return c == BidiClass::L || c == BidiClass::R || c == BidiClass::AL; }

bool is_neutral(BidiClass c) {
  return c == BidiClass::B || c == BidiClass::S || c == BidiClass::WS || c == BidiClass::ON;
}

struct Unit {
  std::size_t begin;
  std::size_t end;
  BidiClass cls;
};

BidiClass unit_class(std::string_view s, std::size_t begin, std::size_t end) {
  BidiClass first = BidiClass::ON;
  for (std::size_t at = begin; at < end;) {
    const Decoded d = decode(s, at, end);
    const BidiClass c = class_of(d);
    if (at == begin) first = c;
    if (is_strong(c)) return c;
    at += d.length;
  }
  return first;
}

std::vector<Unit> split_units(std::string_view s, std::span<const std::uint32_t> starts) {
  std::vector<Unit> units;
  if (starts.empty()) {
    for (std::size_t at = 0; at < s.size();) {
      const Decoded d = decode(s, at, s.size());
      units.push_back({at, at + d.length, class_of(d)});
      at += d.length;
    }
    return units;
  }
  std::size_t begin = 0;
  for (const std::uint32_t start : starts) {
    if (start <= begin || start >= s.size()) continue;
    units.push_back({begin, start, unit_class(s, begin, start)});
    begin = start;
  }
  if (begin < s.size()) units.push_back({begin, s.size(), unit_class(s, begin, s.size())});
  return units;
}

// Embedding and isolate controls carry no direction here and are skipped by the weak
// and neutral rules, like boundary neutrals.
bool is_boundary_neutral(BidiClass c) {
  switch (c) {
    case BidiClass::BN: case BidiClass::LRE: case BidiClass::LRO: case BidiClass::RLE:
    case BidiClass::RLO: case BidiClass::PDF: case BidiClass::LRI: case BidiClass::RLI:
    case BidiClass::FSI: case BidiClass::PDI:
      return true;
    default:
      return false;
  }
}

// The levels of the units: one line, one level run, start and end of line taking the
// paragraph's direction.
std::vector<std::uint8_t> resolve_levels(const std::vector<Unit>& units) {
  const std::size_t n = units.size();
  std::uint8_t para = 0;
  for (const Unit& u : units) {
    if (is_strong(u.cls)) {
      para = u.cls == BidiClass::L ? 0 : 1;
      break;
    }
  }
  const BidiClass edge = para == 0 ? BidiClass::L : BidiClass::R;

  // The units the weak and neutral rules see, and their classes.
  std::vector<std::size_t> idx;
  std::vector<BidiClass> t;
  idx.reserve(n);
  t.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (is_boundary_neutral(units[i].cls)) continue;
    idx.push_back(i);
    t.push_back(units[i].cls);
  }
  const std::size_t m = t.size();

  // Non-spacing marks take the class of what precedes them.
  for (std::size_t i = 0; i < m; ++i) {
    if (t[i] == BidiClass::NSM) t[i] = i == 0 ? edge : t[i - 1];
  }
  // European digits after Arabic letters are Arabic digits; Arabic letters are then R.
  BidiClass last_strong = edge;
  for (std::size_t i = 0; i < m; ++i) {
    if (is_strong(t[i])) last_strong = t[i];
    else if (t[i] == BidiClass::EN && last_strong == BidiClass::AL) t[i] = BidiClass::AN;
  }
  for (auto& c : t) {
    if (c == BidiClass::AL) c = BidiClass::R;
  }
  // One separator between two numbers of one kind joins them.
  for (std::size_t i = 1; i + 1 < m; ++i) {
    const BidiClass before = t[i - 1];
    if (before != t[i + 1]) continue;
    if ((t[i] == BidiClass::ES && before == BidiClass::EN) ||
        (t[i] == BidiClass::CS && (before == BidiClass::EN || before == BidiClass::AN)))
      t[i] = before;
  }
  // Terminators next to European digits join them.
  for (std::size_t i = 0; i < m;) {
    if (t[i] != BidiClass::ET) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < m && t[j] == BidiClass::ET) ++j;
    const bool touches = (i > 0 && t[i - 1] == BidiClass::EN) || (j < m && t[j] == BidiClass::EN);
    if (touches) std::fill(t.begin() + static_cast<std::ptrdiff_t>(i),
                           t.begin() + static_cast<std::ptrdiff_t>(j), BidiClass::EN);
    i = j;
  }
  for (auto& c : t) {
    if (c == BidiClass::ES || c == BidiClass::ET || c == BidiClass::CS) c = BidiClass::ON;
  }
  // European digits after L read as L.
  last_strong = edge;
  for (std::size_t i = 0; i < m; ++i) {
    if (t[i] == BidiClass::L || t[i] == BidiClass::R) last_strong = t[i];
    else if (t[i] == BidiClass::EN && last_strong == BidiClass::L) t[i] = BidiClass::L;
  }
  // Neutrals between two of one direction take it (digits count as R), otherwise the
  // paragraph's.
  const auto direction = [](BidiClass c) {
    return c == BidiClass::L ? BidiClass::L : BidiClass::R;
  };
  for (std::size_t i = 0; i < m;) {
    if (!is_neutral(t[i])) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < m && is_neutral(t[j])) ++j;
    const BidiClass before = i == 0 ? edge : direction(t[i - 1]);
    const BidiClass after = j == m ? edge : direction(t[j]);
    const BidiClass resolved = before == after ? before : edge;
    std::fill(t.begin() + static_cast<std::ptrdiff_t>(i),
              t.begin() + static_cast<std::ptrdiff_t>(j), resolved);
    i = j;
  }

  std::vector<std::uint8_t> levels(n, para);
  std::vector<bool> resolved(n, false);
  for (std::size_t k = 0; k < m; ++k) {
    std::uint8_t level = para;
    if (para == 0) {
      if (t[k] == BidiClass::R) level = 1;
      else if (t[k] == BidiClass::EN || t[k] == BidiClass::AN) level = 2;
    } else if (t[k] == BidiClass::L || t[k] == BidiClass::EN || t[k] == BidiClass::AN) {
      level = 2;
    }
    levels[idx[k]] = level;
    resolved[idx[k]] = true;
  }
  // Boundary neutrals take the level of the unit before them, at the start the next
  // unit's.
  std::size_t first_resolved = n;
  for (std::size_t i = 0; i < n && first_resolved == n; ++i) {
    if (resolved[i]) first_resolved = i;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (resolved[i]) continue;
    if (i > 0) levels[i] = levels[i - 1];
    else if (first_resolved < n) levels[i] = levels[first_resolved];
  }
  // Tabs and paragraph separators, and white space before them or at the end of the
  // line, are at the paragraph level so columns keep their order.
  bool trailing = true;
  for (std::size_t i = n; i-- > 0;) {
    const BidiClass c = units[i].cls;
    if (c == BidiClass::S || c == BidiClass::B) {
      levels[i] = para;
      trailing = true;
    } else if (trailing && (c == BidiClass::WS || is_boundary_neutral(c))) {
      levels[i] = para;
    } else {
      trailing = false;
    }
  }
  return levels;
}

}  // namespace

BidiClass bidi_class(char32_t cp) {
  if (cp < 128) return kAscii[cp];
  const auto* end = std::end(kRanges);
  const auto* it = std::upper_bound(std::begin(kRanges), end, cp,
                                    [](char32_t v, const BidiRange& r) { return v < r.first; });
  if (it == std::begin(kRanges)) return BidiClass::L;
  --it;
  return cp <= it->last ? it->cls : BidiClass::L;
}

std::string logical_order(std::string_view visual_utf8, std::span<const std::uint32_t> unit_starts) {
  // Nothing right-to-left: the line reads as drawn.
  bool any_rtl = false;
  for (std::size_t at = 0; at < visual_utf8.size() && !any_rtl;) {
    if (static_cast<unsigned char>(visual_utf8[at]) < 0x80) {
      ++at;
      continue;
    }
    const Decoded d = decode(visual_utf8, at, visual_utf8.size());
    const BidiClass c = class_of(d);
    any_rtl = c == BidiClass::R || c == BidiClass::AL || c == BidiClass::AN;
    at += d.length;
  }
  if (!any_rtl) return std::string(visual_utf8);

  const std::vector<Unit> units = split_units(visual_utf8, unit_starts);
  const std::vector<std::uint8_t> levels = resolve_levels(units);
  const std::size_t n = units.size();
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;

  std::uint8_t highest = 0;
  std::uint8_t lowest = 255;
  for (const std::uint8_t l : levels) {
    highest = std::max(highest, l);
    lowest = std::min(lowest, l);
  }
  // Down to the lowest level made odd, so a run raised by two (digits in left-to-right
  // text) is reversed twice and keeps its order. Levels never exceed 2.
  const int lowest_odd = lowest | 1;
  for (int level = highest; level >= lowest_odd; --level) {
    for (std::size_t i = 0; i < n;) {
      if (levels[order[i]] < level) {
        ++i;
        continue;
      }
      std::size_t j = i;
      while (j < n && levels[order[j]] >= level) ++j;
      std::reverse(order.begin() + static_cast<std::ptrdiff_t>(i),
                   order.begin() + static_cast<std::ptrdiff_t>(j));
      i = j;
    }
  }

  std::string out;
  out.reserve(visual_utf8.size());
  for (const std::size_t k : order) {
    out.append(visual_utf8.substr(units[k].begin, units[k].end - units[k].begin));
  }
  return out;
}

bool holds_both_directions(std::string_view utf8) {
  bool left = false;
  bool right = false;
  for (std::size_t at = 0; at < utf8.size();) {
    const Decoded d = decode(utf8, at, utf8.size());
    const BidiClass c = class_of(d);
    left = left || c == BidiClass::L;
    right = right || c == BidiClass::R || c == BidiClass::AL;
    if (left && right) return true;
    at += d.length;
  }
  return false;
}

}  // namespace folioscan
