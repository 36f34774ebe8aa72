// The cross-reference rebuild: headers found by one scan for the keyword "obj", each
// read backwards over at most a few bytes, so the scan stays linear even on a file made
// of nothing but "obj" tokens or digits.
#include "repair.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "bounds.h"
#include "lex.h"

namespace folioscan {
namespace {

constexpr auto kXref = ParseErrorKind::InvalidXref;

// White space read backwards between the parts of a header; real files use one byte.
constexpr std::size_t kMaxHeaderSpace = 16;
// Digits of a number in a header: 4294967295 has ten.
constexpr std::size_t kMaxHeaderDigits = 10;

struct FoundHeader {
  std::uint32_t num = 0;
  std::uint16_t gen = 0;
  std::size_t offset = 0;  // first digit of the number
  std::size_t body = 0;    // just after "obj"
};

bool is_digit(std::uint8_t b) { return b >= '0' && b <= '9'; }

// Reads "N G" backwards from just before `end` (the position of "obj").
std::optional<FoundHeader> header_before(ByteView file, std::size_t end) {
  std::size_t p = end;
  const auto skip_space = [&](bool required) {
    std::size_t n = 0;
    while (p > 0 && n < kMaxHeaderSpace && is_whitespace(file[p - 1])) {
      --p;
      ++n;
    }
    return !required || n > 0;
  };
  const auto digits = [&](std::uint64_t& value) {
    const std::size_t stop = p;
    while (p > 0 && stop - p < kMaxHeaderDigits && is_digit(file[p - 1])) --p;
    if (p == stop) return false;
    value = 0;
    for (std::size_t i = p; i < stop; ++i) value = value * 10 + (file[i] - '0');
    return true;
  };
  std::uint64_t gen = 0;
  std::uint64_t num = 0;
  if (!skip_space(false) || !digits(gen) || !skip_space(true) || !digits(num)) return std::nullopt;
  // The number must start a token, and the values must fit an entry.
  if (p > 0 && is_regular(file[p - 1])) return std::nullopt;
  if (num > 0xFFFFFFFFu || gen > 0xFFFF) return std::nullopt;
  return FoundHeader{static_cast<std::uint32_t>(num), static_cast<std::uint16_t>(gen), p, end + 3};
}

// Offsets of a keyword standing as a token of its own (not inside "endobj").
std::vector<std::size_t> find_keyword(ByteView file, std::string_view keyword) {
  std::vector<std::size_t> found;
  const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
  for (std::size_t at = text.find(keyword); at != std::string_view::npos; at = text.find(keyword, at + 1)) {
    const std::size_t after = at + keyword.size();
    if (after < file.size() && is_regular(file[after])) continue;
    if (at > 0 && is_regular(file[at - 1])) continue;
    found.push_back(at);
  }
  return found;
}

// The dictionary that opens the bytes [from, to), parsed within them alone.
std::optional<Dictionary> leading_dictionary(ByteView file, std::size_t from, std::size_t to) {
  Lexer lexer(file.subspan(from, to - from));
  lexer.skip_whitespace();
  if (lexer.at_end() || lexer.peek() != '<') return std::nullopt;
  auto obj = parse_object(lexer);
  if (!obj) return std::nullopt;
  if (auto* dict = obj->as_dict()) return std::move(*dict);
  return std::nullopt;
}

bool has_name(const Dictionary& dict, std::string_view key, std::string_view value) {
  const Object* v = dict.lookup(key);
  const Name* name = v != nullptr ? v->as_name() : nullptr;
  return name != nullptr && name->text == value;
}

// The trailer keys of a cross-reference stream's dictionary.
Dictionary trailer_keys_of(const Dictionary& dict) {
  Dictionary out;
  for (const std::string_view key : {"Root", "Info", "Encrypt", "ID"}) {
    if (const Object* v = dict.lookup(key)) out.entries.push_back(DictEntry{std::string(key), *v});
  }
  return out;
}

}  // namespace

Result<RebuiltXref> rebuild_xref(ByteView file) {
  std::vector<FoundHeader> headers;
  for (const std::size_t at : find_keyword(file, "obj")) {
    if (auto header = header_before(file, at)) headers.push_back(*header);
  }
  if (headers.empty()) return fail(kXref, "no objects found");

  RebuiltXref out;
  // The last definition of each number, by its index in `headers`.
  std::unordered_map<std::uint32_t, std::size_t> last;
  for (std::size_t i = 0; i < headers.size(); ++i) {
    last[headers[i].num] = i;
    if (last.size() > limits::kMaxXrefEntries) return fail(kXref, "too many xref entries");
  }

  // Each object's own bytes run to the next header: parsing them can never run on
  // through the rest of the file, so every byte is parsed at most once.
  std::optional<std::pair<std::size_t, Dictionary>> xref_stream;  // offset, trailer keys
  std::optional<std::uint32_t> catalog;
  for (std::size_t i = 0; i < headers.size(); ++i) {
    const FoundHeader& h = headers[i];
    if (last[h.num] != i) continue;
    out.table[h.num] = XrefEntry{XrefKind::InFile, h.gen, 0, h.offset};
    const std::size_t end = i + 1 < headers.size() ? headers[i + 1].offset : file.size();
    if (end <= h.body) continue;
    const auto dict = leading_dictionary(file, h.body, end);
    if (!dict) continue;
    if (has_name(*dict, "Type", "ObjStm")) out.object_streams.push_back(h.num);
    if (has_name(*dict, "Type", "Catalog")) catalog = h.num;
    if (has_name(*dict, "Type", "XRef") && dict->lookup("Root") != nullptr) {
      xref_stream = std::pair{h.offset, trailer_keys_of(*dict)};
    }
  }

  // The last trailer dictionary with /Root: candidates from the end, each parsed only up
  // to the next one.
  const std::vector<std::size_t> trailers = find_keyword(file, "trailer");
  std::optional<std::pair<std::size_t, Dictionary>> trailer;
  for (std::size_t i = trailers.size(); i-- > 0;) {
    const std::size_t from = trailers[i] + 7;
    const std::size_t to = i + 1 < trailers.size() ? trailers[i + 1] : file.size();
    auto dict = leading_dictionary(file, from, to);
    if (dict && dict->lookup("Root") != nullptr) {
      trailer = std::pair{trailers[i], std::move(*dict)};
      break;
    }
  }
  if (trailer && (!xref_stream || trailer->first > xref_stream->first)) {
    out.trailer = std::move(trailer->second);
  } else if (xref_stream) {
    out.trailer = std::move(xref_stream->second);
  } else if (catalog) {
    out.trailer.entries.push_back(DictEntry{"Root", Object(ObjRef{*catalog, 0})});
  } else {
    return fail(kXref, "no trailer found");
  }
  return out;
}

void add_object_stream_entries(XrefTable& table, std::uint32_t stream_num, const ObjectStream& parsed) {
  for (std::size_t i = 0; i < parsed.numbers.size(); ++i) {
    const std::uint32_t num = parsed.numbers[i];
    if (num == stream_num) continue;
    const auto it = table.find(num);
    if (it != table.end() && it->second.kind == XrefKind::InFile) continue;
    if (it == table.end() && table.size() >= limits::kMaxXrefEntries) continue;
    table[num] = XrefEntry{XrefKind::Compressed, 0, stream_num, i};
  }
}

bool should_rebuild_after(const ParseError& error) {
  // The errors of reading "N G obj" at an entry's offset (parse_object_header) and of a
  // header naming another object; anything else is an object that is there but broken.
  if (error.kind != ParseErrorKind::InvalidObject) return false;
  return error.message == "missing obj keyword" || error.message == "object number mismatch" ||
         error.message == "expected integer" || error.message == "bad integer";
}

}  // namespace folioscan
