// TrueType and OpenType programs read for text. Every offset, count and length comes
// from the program and is checked against its size through FontBytes; cmap subtables
// are read under a step budget proportional to their size, capped by their code space.
#include "truetype.h"

#include <algorithm>

#include "../input_limits.h"
#include "font_bytes.h"
#include "standard_names.h"

namespace folioscan::font {
namespace {

constexpr std::uint32_t tag(const char (&name)[5]) {
  return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
         std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint8_t(name[3]);
}

struct Table {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;  // clipped to the program
  bool found = false;
};

// The table directory of the (first) font: an offset table at 0, or the first font of
// a collection ('ttcf').
class Directory {
 public:
  explicit Directory(const FontBytes& bytes) : bytes_(bytes) {
    std::uint64_t at = 0;
    if (bytes.u32(0) == tag("ttcf")) at = bytes.u32(12);
    const std::uint32_t version = bytes.u32(at);
    if (version != 0x00010000 && version != tag("true") && version != tag("OTTO")) return;
    at_ = at;
    count_ = bytes.u16(at + 4);
    valid_ = true;
  }

  Table find(std::uint32_t wanted) const {
    Table table;
    if (!valid_) return table;
    for (std::uint32_t i = 0; i < count_; ++i) {
      const std::uint64_t record = at_ + 12 + std::uint64_t{16} * i;
      if (!bytes_.has(record, 16)) break;
      if (bytes_.u32(record) != wanted) continue;
      const std::uint64_t offset = bytes_.u32(record + 8);
      if (offset >= bytes_.data.size()) return table;
      table.offset = offset;
      table.length = std::min<std::uint64_t>(bytes_.u32(record + 12), bytes_.data.size() - offset);
      table.found = true;
      return table;
    }
    return table;
  }

 private:
  const FontBytes& bytes_;
  std::uint64_t at_ = 0;
  std::uint32_t count_ = 0;
  bool valid_ = false;
};

// Calls emit(code, glyph) for each mapping of the subtable at `at` of `cmap` whose glyph
// is neither 0 nor at or past `glyph_limit`. Formats 0, 4, 6 and 12; others yield
// nothing. At most kCmapStepsBase + kCmapStepsPerByte × (bytes from `at` on) codes and
// records are examined, and never more than the format's code space can hold.
template <class Emit>
void for_each_mapping(const FontBytes& cmap, std::uint64_t at, std::uint32_t glyph_limit, Emit&& emit) {
  if (!cmap.has(at, 4)) return;
  const std::uint32_t format = cmap.u16(at);
  const std::uint64_t code_space = format == 12 ? limits::kCmapGroupSteps : limits::kCmapSegmentSteps;
  std::uint64_t budget =
      std::min(limits::kCmapStepsBase + limits::kCmapStepsPerByte * (cmap.data.size() - at), code_space);
  const auto spend = [&budget] { return budget-- > 0; };
  const auto put = [&](std::uint32_t code, std::uint32_t glyph) {
    if (glyph != 0 && glyph < glyph_limit) emit(code, glyph);
  };
  switch (format) {
    case 0:
      for (std::uint32_t code = 0; code < 256 && cmap.has(at + 6 + code, 1); ++code) {
        put(code, cmap.u8(at + 6 + code));
      }
      return;
    case 4: {
      const std::uint32_t segments = cmap.u16(at + 6) / 2;
      const std::uint64_t ends = at + 14;
      const std::uint64_t starts = ends + 2 * std::uint64_t{segments} + 2;
      const std::uint64_t deltas = starts + 2 * std::uint64_t{segments};
      const std::uint64_t range_offsets = deltas + 2 * std::uint64_t{segments};
      for (std::uint32_t i = 0; i < segments; ++i) {
        const std::uint64_t range_at = range_offsets + 2 * std::uint64_t{i};
        if (!cmap.has(range_at, 2) || !spend()) return;
        const std::uint32_t end = cmap.u16(ends + 2 * i);
        const std::uint32_t start = cmap.u16(starts + 2 * i);
        const std::uint32_t delta = cmap.u16(deltas + 2 * i);
        const std::uint32_t range_offset = cmap.u16(range_at);
        for (std::uint32_t code = start; code <= end; ++code) {
          if (!spend()) return;
          if (range_offset == 0) {
            put(code, (code + delta) & 0xFFFF);
            continue;
          }
          const std::uint64_t glyph_at = range_at + range_offset + 2 * std::uint64_t{code - start};
          if (!cmap.has(glyph_at, 2)) break;
          const std::uint32_t glyph = cmap.u16(glyph_at);
          if (glyph != 0) put(code, (glyph + delta) & 0xFFFF);
        }
      }
      return;
    }
    case 6: {
      const std::uint32_t first = cmap.u16(at + 6);
      const std::uint32_t count = cmap.u16(at + 8);
      for (std::uint32_t k = 0; k < count && cmap.has(at + 10 + 2 * std::uint64_t{k}, 2); ++k) {
        put(first + k, cmap.u16(at + 10 + 2 * std::uint64_t{k}));
      }
      return;
    }
    case 12: {
      const std::uint32_t groups = cmap.u32(at + 12);
      for (std::uint32_t i = 0; i < groups; ++i) {
        const std::uint64_t group = at + 16 + std::uint64_t{12} * i;
        if (!cmap.has(group, 12) || !spend()) return;
        const std::uint32_t start = cmap.u32(group);
        const std::uint32_t end = std::min<std::uint32_t>(cmap.u32(group + 4), 0x10FFFF);
        const std::uint32_t first_glyph = cmap.u32(group + 8);
        if (start > end || first_glyph >= glyph_limit) continue;
        // Only the glyphs below the limit are walked, whatever range the group claims.
        const std::uint64_t count = std::min<std::uint64_t>(end - start + 1, glyph_limit - first_glyph);
        for (std::uint64_t k = 0; k < count; ++k) {
          if (!spend()) return;
          put(static_cast<std::uint32_t>(start + k), static_cast<std::uint32_t>(first_glyph + k));
        }
      }
      return;
    }
    default:
      return;
  }
}

constexpr bool is_private_use(std::uint32_t cp) {
  return (cp >= 0xE000 && cp <= 0xF8FF) || cp >= 0xF0000;
}

// Code points that make text: no controls, no surrogates, no noncharacters U+FFFE/F.
constexpr bool is_text(std::uint32_t cp) {
  if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) return false;
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  return cp <= 0x10FFFF && (cp & 0xFFFE) != 0xFFFE;
}

void read_cmap(const FontBytes& bytes, const Table& table, TrueTypeFont& font) {
  const FontBytes cmap{bytes.sub(table.offset, table.length)};
  const std::uint32_t glyph_limit = font.num_glyphs != 0 ? font.num_glyphs : limits::kMaxGlyphs;
  const std::uint32_t records = cmap.u16(2);

  // Unicode subtables, full-repertoire ones first; several records often share one.
  struct Choice {
    std::uint64_t offset;
    int rank;
  };
  std::vector<Choice> unicode;
  std::uint64_t symbol_at = 0;
  std::uint64_t mac_at = 0;
  for (std::uint32_t i = 0; i < records; ++i) {
    const std::uint64_t record = 4 + std::uint64_t{8} * i;
    if (!cmap.has(record, 8)) break;
    const std::uint32_t platform = cmap.u16(record);
    const std::uint32_t encoding = cmap.u16(record + 2);
    const std::uint64_t offset = cmap.u32(record + 4);
    if (!cmap.has(offset, 4)) continue;
    int rank = -1;
    if (platform == 3 && encoding == 10) rank = 0;
    if (platform == 0 && (encoding == 4 || encoding == 6)) rank = 1;
    if (platform == 3 && encoding == 1) rank = 2;
    if (platform == 0 && encoding <= 3) rank = 3;
    if (rank >= 0) {
      unicode.push_back({offset, rank});
    } else if (platform == 3 && encoding == 0 && symbol_at == 0) {
      symbol_at = offset;
      font.has_symbol_cmap = true;
    } else if (platform == 1 && encoding == 0 && mac_at == 0) {
      mac_at = offset;
      font.has_mac_cmap = true;
    }
  }
  std::stable_sort(unicode.begin(), unicode.end(), [](const Choice& a, const Choice& b) { return a.rank < b.rank; });

  constexpr std::size_t kMaxUnicodeSubtables = 4;
  std::vector<std::uint64_t> read;
  for (const Choice& choice : unicode) {
    if (read.size() == kMaxUnicodeSubtables) break;
    if (std::find(read.begin(), read.end(), choice.offset) != read.end()) continue;
    read.push_back(choice.offset);
    for_each_mapping(cmap, choice.offset, glyph_limit, [&](std::uint32_t code, std::uint32_t glyph) {
      if (!is_text(code)) return;
      font.has_unicode_cmap = true;
      if (glyph >= font.glyph_unicode.size()) font.glyph_unicode.resize(glyph + 1, 0);
      std::uint32_t& slot = font.glyph_unicode[glyph];
      if (slot == 0 || (is_private_use(slot) && !is_private_use(code))) slot = code;
    });
  }

  if (font.has_symbol_cmap) {
    // Pages 0xF0, 0xF1, 0xF2 (by rank 1 to 3) back up code c itself (rank 0).
    std::array<std::uint8_t, 256> rank;
    rank.fill(0xFF);
    for_each_mapping(cmap, symbol_at, glyph_limit, [&](std::uint32_t code, std::uint32_t glyph) {
      std::uint8_t r = 0;
      if (code < 0x100) {
        r = 0;
      } else if (code >= 0xF000 && code < 0xF300) {
        r = static_cast<std::uint8_t>(1 + ((code >> 8) & 0xF));
      } else {
        return;
      }
      const std::uint32_t c = code & 0xFF;
      if (r < rank[c]) {
        rank[c] = r;
        font.symbol_glyphs[c] = static_cast<std::uint16_t>(glyph);
      }
    });
  }
  if (font.has_mac_cmap) {
    for_each_mapping(cmap, mac_at, glyph_limit, [&](std::uint32_t code, std::uint32_t glyph) {
      if (code < 0x100) font.mac_glyphs[code] = static_cast<std::uint16_t>(glyph);
    });
  }
}

void read_post(const FontBytes& bytes, const Table& table, TrueTypeFont& font) {
  const FontBytes post{bytes.sub(table.offset, table.length)};
  const std::uint32_t format = post.u32(0);
  if (format == 0x00010000) {
    const std::uint32_t count = font.num_glyphs != 0 ? std::min<std::uint32_t>(font.num_glyphs, 258) : 258;
    for (std::uint32_t g = 0; g < count; ++g) font.glyph_names.push_back(mac_glyph_name(g));
    return;
  }
  if (format != 0x00020000) return;
  std::uint32_t count = post.u16(32);
  if (font.num_glyphs != 0) count = std::min(count, font.num_glyphs);
  if (!post.has(34, 2 * std::uint64_t{count})) return;
  // The Pascal strings after the index, in order: each glyph index 258 + k names the
  // k-th. Their number is bounded by the table's size.
  std::vector<std::string_view> custom;
  std::uint64_t at = 34 + 2 * std::uint64_t{post.u16(32)};
  while (post.has(at, 1)) {
    const std::uint32_t length = post.u8(at);
    if (!post.has(at + 1, length)) break;
    const ByteView name = post.sub(at + 1, length);
    custom.emplace_back(reinterpret_cast<const char*>(name.data()), name.size());
    at += 1 + length;
  }
  font.glyph_names.resize(count);
  for (std::uint32_t g = 0; g < count; ++g) {
    const std::uint32_t index = post.u16(34 + 2 * std::uint64_t{g});
    if (index < 258) {
      font.glyph_names[g] = mac_glyph_name(index);
    } else if (index - 258 < custom.size()) {
      font.glyph_names[g] = custom[index - 258];
    }
  }
}

}  // namespace

TrueTypeFont read_truetype(ByteView program) {
  TrueTypeFont font;
  const FontBytes bytes{program};
  const Directory directory(bytes);
  if (const Table maxp = directory.find(tag("maxp")); maxp.found && maxp.length >= 6) {
    font.num_glyphs = bytes.u16(maxp.offset + 4);
  }
  if (const Table cmap = directory.find(tag("cmap")); cmap.found) read_cmap(bytes, cmap, font);
  if (const Table post = directory.find(tag("post")); post.found) read_post(bytes, post, font);
  if (const Table cff = directory.find(tag("CFF ")); cff.found) font.cff = bytes.sub(cff.offset, cff.length);
  return font;
}

}  // namespace folioscan::font
