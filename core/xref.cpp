// Cross-reference sections: classic "xref" tables and cross-reference streams, and
// the chain loader that merges them newest first.
#include "xref.h"

#include <map>
#include <set>
#include <utility>

#include "cos/parser.h"
#include "filter/filter.h"
#include "input_limits.h"
#include "lex.h"

namespace folioscan {
namespace {

constexpr auto kXref = ParseErrorKind::InvalidXref;

// /Prev and /XRefStm count only as non-negative Integers.
std::optional<std::uint64_t> offset_entry(const Dictionary& dict, std::string_view key) {
  const Object* v = dict.lookup(key);
  if (v == nullptr) return std::nullopt;
  const auto* i = v->as_integer();
  if (i == nullptr || *i < 0) return std::nullopt;
  return static_cast<std::uint64_t>(*i);
}

// Unsigned big-endian field of `width` bytes; widths above 8 keep the low 64 bits.
std::uint64_t read_field(const std::uint8_t* p, std::uint64_t width) {
  std::uint64_t v = 0;
  for (std::uint64_t i = 0; i < width; ++i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

Result<XrefSection> read_classic_section(Lexer& lexer) {
  XrefSection section;
  // Entries each take bytes of the file, so the builder grows with the section's size.
  XrefTableBuilder entries;
  for (;;) {
    lexer.skip_whitespace();
    if (lexer.match_keyword("trailer")) {
      Object trailer = TRY(parse_object(lexer));
      auto* dict = trailer.as_dict();
      if (dict == nullptr) return fail(kXref, "trailer is not a dictionary");
      section.trailer = std::move(*dict);
      section.table = entries.finish(XrefKeep::First);
      return section;
    }
    const std::uint32_t first = TRY(lexer.read_u32(kXref));
    const std::uint32_t count = TRY(lexer.read_u32(kXref));
    // The count comes from the file: entries are read one by one (each needs bytes),
    // so a huge count simply runs into "expected integer" at the end of the data.
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t offset = TRY(lexer.read_u32(kXref));
      const std::uint32_t gen = TRY(lexer.read_u32(kXref));
      lexer.skip_whitespace();
      const std::string_view type = lexer.read_regular();
      if (type.size() != 1 || (type[0] != 'n' && type[0] != 'f')) {
        return fail(kXref, "bad xref entry type");
      }
      XrefEntry entry;
      if (type[0] == 'n') {
        entry.kind = XrefKind::InFile;
        entry.offset = offset;
        entry.generation = static_cast<std::uint16_t>(gen);
      }
      entries.add(static_cast<std::uint32_t>(first + i), entry);
    }
  }
}

Result<XrefSection> read_xref_stream(ByteView file, std::uint64_t offset) {
  Lexer lexer(file, static_cast<std::size_t>(std::min<std::uint64_t>(offset, file.size())));
  TRY(parse_object_header(lexer));
  Object obj = TRY(parse_object(lexer));
  if (auto* dict = obj.as_dict()) {
    std::optional<std::uint64_t> length;
    if (const Object* l = dict->lookup("Length")) {
      if (const auto* i = l->as_integer(); i != nullptr && *i >= 0) {
        length = static_cast<std::uint64_t>(*i);
      }
    }
    obj = parse_stream_body(lexer, std::move(*dict), length);
  }
  const Stream* stream = obj.as_stream();
  if (stream == nullptr) return fail(kXref, "xref stream is not a stream");
  const Dictionary& dict = stream->dict;

  auto decoded = decode_stream(dict, stream->data);
  if (!decoded) return fail(kXref, "xref decode");
  const Bytes& data = *decoded;

  const Object* w = dict.lookup("W");
  const Array* warr = w != nullptr ? w->as_array() : nullptr;
  if (warr == nullptr) return fail(kXref, "xref /W missing");
  std::vector<std::uint64_t> widths;
  for (const Object& e : *warr) {
    if (const auto* i = e.as_integer(); i != nullptr && *i >= 0) {
      widths.push_back(static_cast<std::uint64_t>(*i));
    }
  }
  if (widths.size() != 3) return fail(kXref, "xref /W must have three widths");

  std::vector<std::pair<std::uint32_t, std::uint32_t>> subsections;
  const Object* index = dict.lookup("Index");
  if (const Array* iarr = index != nullptr ? index->as_array() : nullptr) {
    for (std::size_t k = 0; k + 1 < iarr->size(); k += 2) {
      const auto* a = (*iarr)[k].as_integer();
      const auto* b = (*iarr)[k + 1].as_integer();
      if (a == nullptr || b == nullptr) continue;
      if (*a < 0 || *a > 0xFFFFFFFFLL || *b < 0 || *b > 0xFFFFFFFFLL) continue;
      subsections.emplace_back(static_cast<std::uint32_t>(*a), static_cast<std::uint32_t>(*b));
    }
  } else {
    const Object* size = dict.lookup("Size");
    const auto* s = size != nullptr ? size->as_integer() : nullptr;
    if (s == nullptr) return fail(kXref, "xref /Size missing");
    if (*s < 0 || *s > 0xFFFFFFFFLL) return fail(kXref, "bad /Size");
    subsections.emplace_back(0, static_cast<std::uint32_t>(*s));
  }

  // Widths are file values: a record wider than the data cannot be read anyway, so
  // anything beyond the data length is reported as truncation before any arithmetic
  // can overflow.
  const std::uint64_t w0 = widths[0], w1 = widths[1], w2 = widths[2];
  if (w0 == 0 && w1 == 0 && w2 == 0) return fail(kXref, "xref stream zero-width records");
  const std::uint64_t limit = data.size();
  const bool too_wide = w0 > limit || w1 > limit || w2 > limit || w0 + w1 + w2 > limit;
  const std::uint64_t record = w0 + w1 + w2;
  // Every record is read before any is kept: a stream one record short fails the same
  // way, but a tiny compressed stream of a billion one-byte records never fills a table.
  std::uint64_t records = 0;
  for (const auto& [first, count] : subsections) records += count;
  if (too_wide || records > limit / record) return fail(kXref, "xref stream truncated");
  if (records > limits::kMaxXrefEntries) return fail(kXref, "too many xref entries");

  XrefSection section;
  XrefTableBuilder entries;
  std::uint64_t pos = 0;
  for (const auto& [first, count] : subsections) {
    for (std::uint32_t j = 0; j < count; ++j) {
      if (too_wide || pos + record > limit) return fail(kXref, "xref stream truncated");
      const std::uint8_t* p = data.data() + pos;
      const std::uint64_t type = w0 == 0 ? 1 : read_field(p, w0);
      const std::uint64_t f2 = read_field(p + w0, w1);
      const std::uint64_t f3 = read_field(p + w0 + w1, w2);
      pos += record;
      XrefEntry entry;
      if (type == 0) {
        entry.kind = XrefKind::Free;
      } else if (type == 1) {
        entry.kind = XrefKind::InFile;
        entry.offset = f2;
        entry.generation = static_cast<std::uint16_t>(f3);
      } else if (type == 2) {
        entry.kind = XrefKind::Compressed;
        entry.stream = static_cast<std::uint32_t>(f2);
        entry.offset = static_cast<std::uint32_t>(f3);
      } else {
        continue;
      }
      entries.add(static_cast<std::uint32_t>(first + j), entry);
    }
  }
  section.table = entries.finish(XrefKeep::First);
  section.trailer = dict;
  return section;
}

namespace {

// Where a section read at `offset` starts: past the white space and comments before it.
// Offsets into the white space before one section all lead to it.
std::uint64_t section_start(ByteView file, std::uint64_t offset) {
  Lexer lexer(file, static_cast<std::size_t>(std::min<std::uint64_t>(offset, file.size())));
  lexer.skip_whitespace();
  return lexer.pos();
}

// The sections of one chain, each read once. A chain may name one section many times
// (/Prev and /XRefStm offsets landing in the white space before it, each a new
// offset): a section read again adds no entry the merged table lacks, so only its
// trailer (or its error) is kept for the next visit, not its entries.
class SectionReader {
 public:
  explicit SectionReader(ByteView file) : file_(file) {}

  // The section at `offset` as the chain reads it (classic after "xref", else a stream),
  // or as a hybrid /XRefStm stream; its entries are merged into `merged` (first wins)
  // the first time it is read.
  Result<const Dictionary*> read(std::uint64_t offset, bool as_stream, XrefTable& merged) {
    const std::uint64_t start = section_start(file_, offset);
    Lexer lexer(file_, static_cast<std::size_t>(start));
    const bool classic = !as_stream && lexer.match_keyword("xref");
    const auto key = std::make_pair(start, classic);
    auto it = read_.find(key);
    if (it == read_.end()) {
      Result<XrefSection> section = classic ? read_classic_section(lexer) : read_xref_stream(file_, offset);
      if (!section) {
        it = read_.emplace(key, std::unexpected(std::move(section).error())).first;
      } else {
        merged.merge(std::move(section->table), XrefKeep::First);
        it = read_.emplace(key, std::move(section->trailer)).first;
      }
    }
    if (!it->second) return std::unexpected(it->second.error());
    return &*it->second;
  }

 private:
  ByteView file_;
  std::map<std::pair<std::uint64_t, bool>, Result<Dictionary>> read_;
};

}  // namespace

Result<XrefSection> load_xref_chain(ByteView file, std::uint64_t startxref) {
  XrefSection merged;
  std::set<std::uint64_t> visited;
  SectionReader sections(file);
  std::uint64_t offset = startxref;
  for (;;) {
    if (!visited.insert(offset).second) break;
    const Dictionary* trailer = TRY(sections.read(offset, false, merged.table));
    const auto prev = offset_entry(*trailer, "Prev");
    const auto xrefstm = offset_entry(*trailer, "XRefStm");
    if (merged.trailer.empty()) merged.trailer = *trailer;
    // A failing hybrid stream is left out.
    if (xrefstm && visited.insert(*xrefstm).second) (void)sections.read(*xrefstm, true, merged.table);
    if (merged.table.size() > limits::kMaxXrefEntries) return fail(kXref, "too many xref entries");
    if (!prev) break;
    offset = *prev;
  }
  return merged;
}

}  // namespace folioscan
