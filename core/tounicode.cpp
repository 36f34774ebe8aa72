// ToUnicode CMaps: reads the bfchar, bfrange and codespacerange blocks of a decoded
// stream into code-to-text maps (recovery: also a used CID -> Unicode CMap), skipping
// everything else, and looks codes up.
#include "tounicode.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <string_view>

#include "cos/parser.h"
#include "lex.h"
#include "utf8.h"

namespace folioscan {

namespace {

// Big-endian value of the first (at most) four bytes; an empty string is code 0.
std::uint32_t code_of(const Bytes& bytes) {
  std::uint32_t code = 0;
  const std::size_t n = bytes.size() < 4 ? bytes.size() : 4;
  for (std::size_t i = 0; i < n; ++i) code = code << 8 | bytes[i];
  return code;
}

// Decodes UTF-16BE into code points. An odd last byte is a unit of its own; an unpaired
// surrogate becomes U+FFFD, and a unit after a lone high surrogate is decoded afresh.
template <class Sink>
void decode_utf16be(const Bytes& bytes, Sink&& sink) {
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  const auto unit_at = [&](std::size_t at) -> std::uint32_t {
    if (at + 1 < n) return static_cast<std::uint32_t>(bytes[at]) << 8 | bytes[at + 1];
    return bytes[at];
  };
  while (i < n) {
    const std::uint32_t unit = unit_at(i);
    i += 2;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i < n) {
        const std::uint32_t next = unit_at(i);
        if (next >= 0xDC00 && next <= 0xDFFF) {
          i += 2;
          if (!sink(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00))) return;
          continue;
        }
      }
      if (!sink(0xFFFD)) return;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      if (!sink(0xFFFD)) return;
    } else {
      if (!sink(unit)) return;
    }
  }
}

std::string utf16be_text(const Bytes& bytes) {
  std::string out;
  decode_utf16be(bytes, [&](std::uint32_t cp) {
    append_utf8(out, cp);
    return true;
  });
  return out;
}

// First code point of the decoded text, 0 when there is none.
std::uint32_t first_code_point(const Bytes& bytes) {
  std::uint32_t first = 0;
  decode_utf16be(bytes, [&](std::uint32_t cp) {
    first = cp;
    return false;
  });
  return first;
}

bool starts_object(std::uint8_t b) {
  switch (b) {
    case '(': case '+': case '-': case '.': case '/': case '<': case '[':
      return true;
    default:
      return b >= '0' && b <= '9';
  }
}

class CMapReader {
 public:
  CMapReader(ByteView data, bool recover) : lexer_(data), recover_(recover) {}

  ToUnicodeMap read() {
    for (;;) {
      lexer_.skip_whitespace();
      if (lexer_.at_end()) break;
      const std::size_t start = lexer_.pos();
      if (starts_object(lexer_.peek())) {
        // Counts, header dictionaries, names...: read over and dropped, even when broken
        // (the last name is kept for a usecmap after it).
        auto object = parse_object(lexer_);
        const Name* name = object ? object->as_name() : nullptr;
        last_name_ = name != nullptr ? name->text : std::string();
        ensure_progress(start);
        continue;
      }
      const std::string_view keyword = lexer_.read_regular();
      if (keyword.empty()) {
        lexer_.set_pos(start + 1);  // a stray delimiter
      } else if (keyword == "beginbfchar") {
        read_block(&CMapReader::read_bfchar_entry);
      } else if (keyword == "beginbfrange") {
        read_block(&CMapReader::read_bfrange_entry);
      } else if (keyword == "begincodespacerange") {
        read_block(&CMapReader::read_codespace_entry);
      } else if (recover_ && keyword == "usecmap" && !map_.cid_ordering) {
        map_.cid_ordering = cmap::ucs2_cmap_ordering(last_name_);
      }
      last_name_.clear();
    }
    return std::move(map_);
  }

 private:
  // An entry reader returns false to end the block early.
  using EntryReader = bool (CMapReader::*)();

  // Entries start with "<"; the first other token ends the block, and one keyword
  // after the entries (normally the closing one) is read and dropped.
  void read_block(EntryReader entry) {
    for (;;) {
      lexer_.skip_whitespace();
      if (lexer_.at_end() || lexer_.peek() != '<') break;
      const std::size_t start = lexer_.pos();
      const bool more = (this->*entry)();
      ensure_progress(start);
      if (!more) break;
    }
    lexer_.skip_whitespace();
    (void)lexer_.read_regular();
  }

  // One object, kept when it is a string.
  std::optional<Bytes> read_string() {
    lexer_.skip_whitespace();
    auto object = parse_object(lexer_);
    if (!object) return std::nullopt;
    if (auto* s = object->as_string()) return std::move(s->bytes);
    return std::nullopt;
  }

  bool read_codespace_entry() {
    (void)read_string();
    (void)read_string();
    return true;
  }

  bool read_bfchar_entry() {
    const auto source = read_string();
    const auto destination = read_string();
    if (source && destination) map_.singles[code_of(*source)] = utf16be_text(*destination);
    return true;
  }

  bool read_bfrange_entry() {
    const auto low = read_string();
    const auto high = read_string();
    lexer_.skip_whitespace();
    if (!lexer_.at_end() && lexer_.peek() == '[') {
      // Without a low code the array means nothing; the main loop reads over it.
      if (!low) return false;
      auto array = parse_object(lexer_);
      if (!array || array->as_array() == nullptr) return true;
      // One entry per element, so the map never outgrows the input, whatever the
      // range claims. Codes stop at the top of the 32-bit range instead of wrapping.
      std::uint64_t code = code_of(*low);
      for (const Object& element : *array->as_array()) {
        if (code > 0xFFFFFFFFu) break;
        if (const String* s = element.as_string()) {
          map_.singles[static_cast<std::uint32_t>(code)] = utf16be_text(s->bytes);
        }
        ++code;
      }
      return true;
    }
    const auto destination = read_string();
    if (low && high && destination) {
      map_.ranges.push_back(ToUnicodeRange{code_of(*low), code_of(*high), first_code_point(*destination)});
    }
    return true;
  }

  void ensure_progress(std::size_t start) {
    if (lexer_.pos() <= start) lexer_.set_pos(start + 1);
  }

  Lexer lexer_;
  bool recover_ = false;
  std::string last_name_;  // the name read just before the current keyword
  ToUnicodeMap map_;
};

}  // namespace

ToUnicodeMap parse_tounicode(ByteView data, bool recover) {
  ToUnicodeMap map = CMapReader(data, recover).read();
  index_tounicode_ranges(map);
  return map;
}

// A range serves code c when low <= c <= high and its code point base + (c - low) is a
// scalar value (at most 0x10FFFF, no surrogate): at most two intervals of codes. Ranges
// are then painted in reading order onto the codes no earlier range took; `covered`
// holds the merged painted intervals, so each is walked over once before it is merged.
void index_tounicode_ranges(ToUnicodeMap& map) {
  std::map<std::uint64_t, std::uint64_t> covered;  // low -> high, disjoint
  std::vector<ToUnicodeSegment> segments;
  const auto paint = [&](std::uint64_t low, std::uint64_t high, std::uint32_t range) {
    auto it = covered.upper_bound(low);
    if (it != covered.begin() && std::prev(it)->second >= low) --it;
    std::uint64_t next = low;  // first code not yet examined
    std::uint64_t merged_low = low;
    std::uint64_t merged_high = high;
    while (it != covered.end() && it->first <= high) {
      if (it->first > next) {
        segments.push_back({static_cast<std::uint32_t>(next), static_cast<std::uint32_t>(it->first - 1), range});
      }
      next = std::max(next, it->second + 1);
      merged_low = std::min(merged_low, it->first);
      merged_high = std::max(merged_high, it->second);
      it = covered.erase(it);
    }
    if (next <= high) {
      segments.push_back({static_cast<std::uint32_t>(next), static_cast<std::uint32_t>(high), range});
    }
    covered.emplace(merged_low, merged_high);
  };
  for (std::size_t i = 0; i < map.ranges.size(); ++i) {
    const ToUnicodeRange& r = map.ranges[i];
    if (r.low > r.high || r.base > 0x10FFFF) continue;
    // Offsets d = c - low with a valid code point base + d, split around the surrogates.
    const std::uint64_t last = std::min<std::uint64_t>(r.high - r.low, 0x10FFFF - r.base);
    const auto add = [&](std::uint64_t d_low, std::uint64_t d_high) {
      d_high = std::min(d_high, last);
      if (d_low <= d_high) paint(r.low + d_low, r.low + d_high, static_cast<std::uint32_t>(i));
    };
    if (r.base < 0xD800) add(0, 0xD7FF - r.base);
    add(r.base <= 0xE000 ? 0xE000 - r.base : 0, last);
  }
  std::sort(segments.begin(), segments.end(),
            [](const ToUnicodeSegment& a, const ToUnicodeSegment& b) { return a.low < b.low; });
  map.segments = std::move(segments);
  map.indexed = true;
}

bool lookup_tounicode(const ToUnicodeMap& map, std::uint32_t code, std::string& out) {
  if (const auto it = map.singles.find(code); it != map.singles.end()) {
    out += it->second;
    return true;
  }
  if (map.indexed) {
    const auto it = std::upper_bound(map.segments.begin(), map.segments.end(), code,
                                     [](std::uint32_t c, const ToUnicodeSegment& s) { return c < s.low; });
    if (it != map.segments.begin() && code <= std::prev(it)->high) {
      const ToUnicodeRange& range = map.ranges[std::prev(it)->range];
      append_utf8(out, range.base + (code - range.low));
      return true;
    }
  } else {
    for (const ToUnicodeRange& range : map.ranges) {
      if (code < range.low || code > range.high) continue;
      const std::uint64_t cp = std::uint64_t{range.base} + (code - range.low);
      if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) continue;
      append_utf8(out, static_cast<std::uint32_t>(cp));
      return true;
    }
  }
  return map.cid_ordering && cmap::cid_to_unicode(*map.cid_ordering, code, out);
}

}  // namespace folioscan
