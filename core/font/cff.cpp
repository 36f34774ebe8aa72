// CFF programs read for text. INDEX offsets, DICT operands, charset and encoding
// ranges all come from the program and are checked against its size through
// FontBytes; every table by glyph is bounded by the CharStrings count (16-bit).
#include "cff.h"

#include <unordered_map>

#include "../input_limits.h"
#include "font_bytes.h"
#include "standard_names.h"

namespace folioscan::font {
namespace {

// An INDEX: a count, an offset size and count + 1 offsets (1-based, relative to the
// byte before the data).
struct Index {
  bool valid = false;
  std::uint32_t count = 0;
  unsigned offset_size = 0;
  std::uint64_t offsets_at = 0;
  std::uint64_t data_at = 0;  // the byte before the first item
  std::uint64_t end = 0;      // first byte after the INDEX
};

Index read_index(const FontBytes& bytes, std::uint64_t at) {
  Index index;
  if (!bytes.has(at, 2)) return index;
  index.count = bytes.u16(at);
  if (index.count == 0) {
    index.valid = true;
    index.end = at + 2;
    return index;
  }
  index.offset_size = bytes.u8(at + 2);
  if (index.offset_size < 1 || index.offset_size > 4) return index;
  index.offsets_at = at + 3;
  const std::uint64_t table = (std::uint64_t{index.count} + 1) * index.offset_size;
  if (!bytes.has(index.offsets_at, table)) return index;
  index.data_at = index.offsets_at + table - 1;
  index.end = index.data_at + bytes.uint(index.offsets_at + std::uint64_t{index.count} * index.offset_size,
                                         index.offset_size);
  index.valid = true;
  return index;
}

// Item `i`, empty when its offsets are out of order or point past the program.
ByteView index_item(const FontBytes& bytes, const Index& index, std::uint32_t i) {
  if (!index.valid || i >= index.count) return {};
  const std::uint64_t low = bytes.uint(index.offsets_at + std::uint64_t{i} * index.offset_size, index.offset_size);
  const std::uint64_t high =
      bytes.uint(index.offsets_at + (std::uint64_t{i} + 1) * index.offset_size, index.offset_size);
  if (low < 1 || high < low || !bytes.has(index.data_at + low, high - low)) return {};
  return bytes.sub(index.data_at + low, high - low);
}

// The Top DICT entries text needs. Offsets stay 0 when absent or not integers.
struct TopDict {
  std::int64_t charset = 0;
  std::int64_t encoding = 0;
  std::int64_t char_strings = -1;
  bool ros = false;
  std::int64_t registry = 0;
  std::int64_t ordering = 0;
};

TopDict read_top_dict(ByteView data) {
  const FontBytes bytes{data};
  TopDict dict;
  std::int64_t operands[limits::kMaxCffOperands] = {};
  std::size_t count = 0;
  const auto push = [&](std::int64_t value) {
    if (count < limits::kMaxCffOperands) operands[count++] = value;
  };
  std::uint64_t at = 0;
  while (at < data.size()) {
    const std::uint8_t b0 = bytes.u8(at);
    if (b0 >= 32 && b0 <= 246) {
      push(b0 - 139);
      at += 1;
    } else if (b0 >= 247 && b0 <= 250) {
      push((b0 - 247) * 256 + bytes.u8(at + 1) + 108);
      at += 2;
    } else if (b0 >= 251 && b0 <= 254) {
      push(-(b0 - 251) * 256 - bytes.u8(at + 1) - 108);
      at += 2;
    } else if (b0 == 28) {
      push(static_cast<std::int16_t>(bytes.u16(at + 1)));
      at += 3;
    } else if (b0 == 29) {
      push(static_cast<std::int32_t>(bytes.u32(at + 1)));
      at += 5;
    } else if (b0 == 30) {
      // A real: nibbles up to the end nibble 0xF. No entry read here is a real.
      ++at;
      while (at < data.size() && (bytes.u8(at) & 0x0F) != 0x0F && (bytes.u8(at) & 0xF0) != 0xF0) ++at;
      ++at;
      push(0);
    } else if (b0 <= 21) {
      std::uint32_t op = b0;
      at += 1;
      if (b0 == 12) {
        op = 1200 + bytes.u8(at);
        at += 1;
      }
      const std::int64_t first = count > 0 ? operands[0] : 0;
      switch (op) {
        case 15: dict.charset = count > 0 ? operands[count - 1] : 0; break;
        case 16: dict.encoding = count > 0 ? operands[count - 1] : 0; break;
        case 17: dict.char_strings = count > 0 ? operands[count - 1] : -1; break;
        case 1230:
          if (count >= 2) {
            dict.ros = true;
            dict.registry = first;
            dict.ordering = operands[1];
          }
          break;
        default: break;
      }
      count = 0;
    } else {
      at += 1;  // reserved byte
    }
  }
  return dict;
}

class Reader {
 public:
  explicit Reader(ByteView program) : bytes_{program} {}

  CffFont read() {
    CffFont font;
    if (bytes_.u8(0) != 1) return font;  // major version 1
    const Index names = read_index(bytes_, bytes_.u8(2));
    if (!names.valid) return font;
    const Index top = read_index(bytes_, names.end);
    if (!top.valid) return font;
    strings_ = read_index(bytes_, top.end);
    const TopDict dict = read_top_dict(index_item(bytes_, top, 0));
    if (dict.char_strings <= 0) return font;
    const Index char_strings = read_index(bytes_, static_cast<std::uint64_t>(dict.char_strings));
    if (!char_strings.valid) return font;
    font.num_glyphs = char_strings.count;
    font.cid_keyed = dict.ros;

    const std::vector<std::uint16_t> ids = charset(dict.charset, font.num_glyphs, font.cid_keyed);
    if (font.cid_keyed) {
      font.registry = string_of(dict.registry);
      font.ordering = string_of(dict.ordering);
      font.glyph_cids = ids;
      return font;
    }
    font.glyph_names.resize(ids.size());
    for (std::size_t g = 0; g < ids.size(); ++g) {
      if (g == 0 || ids[g] != 0) font.glyph_names[g] = string_of(ids[g]);
    }
    read_encoding(dict.encoding, ids, font);
    return font;
  }

 private:
  std::string_view string_of(std::int64_t sid) const {
    if (sid < 0) return {};
    if (sid < kStandardStringCount) return standard_string(static_cast<std::uint32_t>(sid));
    if (sid - kStandardStringCount > 0xFFFF) return {};
    const ByteView item = index_item(bytes_, strings_, static_cast<std::uint32_t>(sid - kStandardStringCount));
    return {reinterpret_cast<const char*>(item.data()), item.size()};
  }

  // String ids (or CIDs) by glyph id; glyph 0 is .notdef (id 0). Predefined charsets
  // (offsets 0 to 2) give name-keyed fonts' ids; glyphs past what the charset covers
  // keep id 0.
  std::vector<std::uint16_t> charset(std::int64_t offset, std::uint32_t glyphs, bool cid_keyed) const {
    std::vector<std::uint16_t> ids(glyphs, 0);
    if (offset >= 0 && offset <= 2) {
      if (cid_keyed) return ids;
      if (offset == 0) {
        // ISOAdobe: glyph g is standard string g, up to "zcaron" (228).
        for (std::uint32_t g = 0; g < glyphs && g <= 228; ++g) ids[g] = static_cast<std::uint16_t>(g);
      } else {
        const auto table = offset == 1 ? expert_charset() : expert_subset_charset();
        for (std::uint32_t g = 0; g < glyphs && g < table.size(); ++g) ids[g] = table[g];
      }
      return ids;
    }
    std::uint64_t at = static_cast<std::uint64_t>(offset);
    const std::uint8_t format = bytes_.u8(at);
    ++at;
    std::uint32_t glyph = 1;
    while (glyph < glyphs) {
      if (format == 0) {
        if (!bytes_.has(at, 2)) break;
        ids[glyph++] = bytes_.u16(at);
        at += 2;
      } else if (format == 1 || format == 2) {
        const unsigned left_size = format == 1 ? 1 : 2;
        if (!bytes_.has(at, 2 + left_size)) break;
        const std::uint32_t first = bytes_.u16(at);
        const std::uint32_t left = bytes_.uint(at + 2, left_size);
        at += 2 + left_size;
        for (std::uint32_t k = 0; k <= left && glyph < glyphs; ++k) {
          ids[glyph++] = static_cast<std::uint16_t>(first + k);
        }
      } else {
        break;
      }
    }
    return ids;
  }

  void read_encoding(std::int64_t offset, const std::vector<std::uint16_t>& sids, CffFont& font) const {
    // String id -> first glyph with that name, for the standard encoding and supplements.
    std::unordered_map<std::uint16_t, std::uint16_t> glyph_of_sid;
    const auto glyph_of = [&](std::uint16_t sid) -> std::uint16_t {
      if (glyph_of_sid.empty()) {
        for (std::size_t g = sids.size(); g-- > 1;) glyph_of_sid[sids[g]] = static_cast<std::uint16_t>(g);
      }
      const auto it = glyph_of_sid.find(sid);
      return it != glyph_of_sid.end() ? it->second : 0;
    };
    if (offset == 1 || offset < 0) return;  // the expert encoding: see CffFont::encoding
    if (offset == 0) {
      for (std::uint32_t code = 0; code < 256; ++code) {
        if (const std::uint16_t sid = standard_encoding_sid(static_cast<std::uint8_t>(code))) {
          font.encoding[code] = glyph_of(sid);
        }
      }
      return;
    }
    std::uint64_t at = static_cast<std::uint64_t>(offset);
    const std::uint8_t format = bytes_.u8(at);
    const std::uint32_t count = bytes_.u8(at + 1);
    at += 2;
    std::uint32_t glyph = 1;
    if ((format & 0x7F) == 0) {
      for (std::uint32_t i = 0; i < count && bytes_.has(at, 1); ++i, ++at, ++glyph) {
        if (glyph < font.num_glyphs) font.encoding[bytes_.u8(at)] = static_cast<std::uint16_t>(glyph);
      }
    } else if ((format & 0x7F) == 1) {
      for (std::uint32_t i = 0; i < count && bytes_.has(at, 2); ++i, at += 2) {
        const std::uint32_t first = bytes_.u8(at);
        const std::uint32_t left = bytes_.u8(at + 1);
        for (std::uint32_t k = 0; k <= left; ++k, ++glyph) {
          if (first + k < 256 && glyph < font.num_glyphs) {
            font.encoding[first + k] = static_cast<std::uint16_t>(glyph);
          }
        }
      }
    } else {
      return;
    }
    if ((format & 0x80) == 0) return;
    // Supplements: more codes for glyphs named by string id.
    const std::uint32_t supplements = bytes_.u8(at);
    ++at;
    for (std::uint32_t i = 0; i < supplements && bytes_.has(at, 3); ++i, at += 3) {
      font.encoding[bytes_.u8(at)] = glyph_of(bytes_.u16(at + 1));
    }
  }

  FontBytes bytes_;
  Index strings_;
};

}  // namespace

CffFont read_cff(ByteView program) { return Reader(program).read(); }

}  // namespace folioscan::font
