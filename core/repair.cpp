// Recovery of damaged file structure: the cross-reference rebuild by one scan for object
// headers and trailers, object stream entries, the lenient header and the rebuild test.
#include "repair.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>

#include "cos/parser.h"
#include "input_limits.h"
#include "lex.h"

namespace folioscan {
namespace {

constexpr auto kXref = ParseErrorKind::InvalidXref;
constexpr std::string_view kObjKeyword = "obj";
constexpr std::string_view kTrailerKeyword = "trailer";

bool digit(std::uint8_t b) { return static_cast<unsigned>(b - '0') < 10; }

std::string_view text_of(ByteView file) {
  return {reinterpret_cast<const char*>(file.data()), file.size()};
}

// A run of decimal digits as an unsigned 32-bit value; nothing on overflow, as the
// header reader would fail it with "bad integer".
std::optional<std::uint32_t> parse_digits(ByteView file, std::size_t from, std::size_t to) {
  std::uint64_t value = 0;
  for (std::size_t i = from; i < to; ++i) {
    value = value * 10 + (file[i] - '0');
    if (value > 0xFFFFFFFFULL) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

// A place the scan stops at: an object header or a "trailer" keyword. `start` is the
// first byte (the first digit of a header), `body` the byte after the keyword.
struct Mark {
  enum class Kind : std::uint8_t { Header, Trailer };
  Kind kind = Kind::Header;
  std::size_t start = 0;
  std::size_t body = 0;
  std::uint32_t num = 0;
  std::uint16_t gen = 0;
};

// The header "N G obj" whose keyword starts at `q`, read backwards from it: the keyword
// then white space, digits, white space and digits: what the header reader accepts
// there, less comments between the tokens. Whatever precedes N is not looked at, since
// writers of incremental updates leave out line ends ("endobj55 0 obj" in real files).
// The walk crosses only white space and digits, so it never reaches back over the "obj"
// before this one: together the walks read each byte at most once.
std::optional<Mark> header_ending_at(ByteView file, std::size_t q) {
  const std::size_t after = q + kObjKeyword.size();
  if (after < file.size() && is_regular(file[after])) return std::nullopt;
  std::size_t i = q;
  const auto skip_back = [&](auto&& pred) {
    const std::size_t from = i;
    while (i > 0 && pred(file[i - 1])) --i;
    return from - i;
  };
  if (skip_back(is_whitespace) == 0) return std::nullopt;
  const std::size_t gen_end = i;
  if (skip_back(digit) == 0) return std::nullopt;
  const std::size_t gen_start = i;
  if (skip_back(is_whitespace) == 0) return std::nullopt;
  const std::size_t num_end = i;
  if (skip_back(digit) == 0) return std::nullopt;
  const std::size_t num_start = i;
  const auto num = parse_digits(file, num_start, num_end);
  const auto gen = parse_digits(file, gen_start, gen_end);
  if (!num || !gen) return std::nullopt;
  // The low 16 bits of the generation, as a classic table keeps it.
  return Mark{Mark::Kind::Header, num_start, after, *num, static_cast<std::uint16_t>(*gen)};
}

// "trailer" before a token boundary; what precedes it is not looked at, as for headers.
std::optional<Mark> trailer_at(ByteView file, std::size_t t) {
  const std::size_t after = t + kTrailerKeyword.size();
  if (after < file.size() && is_regular(file[after])) return std::nullopt;
  return Mark{Mark::Kind::Trailer, t, after};
}

// Headers and trailers in file order. Each kind has its own cursor that only moves
// forward, and the nearer of the two found next is handed out first, so the whole scan
// reads the file a bounded number of times.
class MarkScanner {
 public:
  explicit MarkScanner(ByteView file) : file_(file) {}

  std::optional<Mark> next() {
    if (!header_ && header_from_ != kDone) header_ = find(kObjKeyword, header_from_, header_ending_at);
    if (!trailer_ && trailer_from_ != kDone) trailer_ = find(kTrailerKeyword, trailer_from_, trailer_at);
    std::optional<Mark>* nearer = nullptr;
    if (header_ && (!trailer_ || header_->start < trailer_->start)) {
      nearer = &header_;
    } else if (trailer_) {
      nearer = &trailer_;
    }
    if (nearer == nullptr) return std::nullopt;
    std::optional<Mark> mark = std::move(*nearer);
    nearer->reset();
    return mark;
  }

  // Drops the marks before `pos` and goes on searching from there.
  void skip_to(std::size_t pos) {
    if (header_ && header_->start < pos) header_.reset();
    if (trailer_ && trailer_->start < pos) trailer_.reset();
    if (header_from_ != kDone) header_from_ = std::max(header_from_, pos);
    if (trailer_from_ != kDone) trailer_from_ = std::max(trailer_from_, pos);
  }

 private:
  static constexpr std::size_t kDone = std::string_view::npos;

  template <class Accept>
  std::optional<Mark> find(std::string_view keyword, std::size_t& from, Accept accept) {
    const std::string_view text = text_of(file_);
    for (;;) {
      const std::size_t at = text.find(keyword, from);
      if (at == std::string_view::npos) {
        from = kDone;
        return std::nullopt;
      }
      from = at + keyword.size();
      if (auto mark = accept(file_, at)) return mark;
    }
  }

  ByteView file_;
  std::size_t header_from_ = 0;
  std::size_t trailer_from_ = 0;
  std::optional<Mark> header_;
  std::optional<Mark> trailer_;
};

// The dictionary that starts at `body` (after white space and comments), parsed within
// [body, end) and at most kMaxRepairDictionaryBytes; nothing when none starts there or
// it does not parse in that window. Windows of successive marks do not overlap, so the
// parses of the whole scan read each byte at most once.
struct LeadingDictionary {
  Dictionary dict;
  std::optional<std::size_t> stream;  // just after a "stream" keyword that follows it
};

std::optional<LeadingDictionary> leading_dictionary(ByteView file, std::size_t body, std::size_t end) {
  if (end <= body) return std::nullopt;
  end = std::min(end, body + std::min(file.size() - body, limits::kMaxRepairDictionaryBytes));
  Lexer lexer(file.subspan(body, end - body));
  lexer.skip_whitespace();
  const ByteView window = lexer.data();
  const std::size_t p = lexer.pos();
  if (p + 1 >= window.size() || window[p] != '<' || window[p + 1] != '<') return std::nullopt;
  auto parsed = parse_object(lexer);
  if (!parsed) return std::nullopt;
  auto* dict = parsed->as_dict();
  if (dict == nullptr) return std::nullopt;
  LeadingDictionary out{std::move(*dict), std::nullopt};
  lexer.skip_whitespace();
  if (lexer.match_keyword("stream")) out.stream = body + lexer.pos();
  return out;
}

constexpr std::string_view kEndstream = "endstream";
constexpr std::string_view kStreamKeyword = "stream";
constexpr std::size_t kNotFound = std::string_view::npos;

// Where the stream data starting at `start` end when `declared` bytes long, if
// "endstream" follows there as the stream reader confirms it. Constant work: only the
// bytes after the declared end are read.
std::optional<std::size_t> confirmed_end(ByteView file, std::size_t start, std::uint64_t declared) {
  const std::size_t n = file.size();
  if (declared > n - start) return std::nullopt;
  const std::size_t data_end = start + static_cast<std::size_t>(declared);
  const std::size_t window = std::min<std::size_t>(n - data_end, 24);
  if (text_of(file.subspan(data_end, window)).find(kEndstream) == std::string_view::npos) return std::nullopt;
  return data_end;
}

// The integer object `num` of `table` holds, read within a few bytes of its header
// (a length is a short integer; anything longer is not one).
std::optional<std::uint64_t> integer_object(ByteView file, const XrefTable& table, std::uint32_t num) {
  constexpr std::size_t kWindow = 64;
  const XrefEntry* entry = table.find(num);
  if (entry == nullptr || entry->kind != XrefKind::InFile || entry->offset >= file.size()) return std::nullopt;
  const auto at = static_cast<std::size_t>(entry->offset);
  Lexer lexer(file.subspan(at, std::min(kWindow, file.size() - at)));
  const auto header = parse_object_header(lexer);
  if (!header || header->num != num) return std::nullopt;
  const auto value = parse_object(lexer);
  if (!value || value->as_integer() == nullptr || *value->as_integer() < 0) return std::nullopt;
  return static_cast<std::uint64_t>(*value->as_integer());
}

bool has_type(const Dictionary& dict, std::string_view type) {
  const Object* t = dict.lookup("Type");
  return t != nullptr && t->is_name(type);
}

// The keys of a trailer that matter once the table is rebuilt: the document's entry
// points and its security. The stream keys of a cross-reference stream (/Length,
// /Filter, /W, /Index, /Prev, /DecodeParms, ...) describe a table that is not used.
Dictionary document_keys(const Dictionary& from, bool with_root) {
  Dictionary out;
  for (const std::string_view key : {"Root", "Info", "Encrypt", "ID"}) {
    if (key == "Root" && !with_root) continue;
    if (const Object* v = from.lookup(key)) out.set(std::string(key), *v);
  }
  return out;
}

// The next place a keyword starts (kNotFound: none is left), searched forward only.
// For "stream", the end of an "endstream" does not count.
struct KeywordCursor {
  std::string_view keyword;
  bool searched = false;
  std::size_t at = kNotFound;

  std::size_t next(ByteView file, std::size_t from) {
    if (searched && (at == kNotFound || at >= from)) return at;
    searched = true;
    const std::string_view text = text_of(file);
    for (at = text.find(keyword, from); at != kNotFound; at = text.find(keyword, at + 1)) {
      if (keyword != kStreamKeyword || at < 3 || text.substr(at - 3, 3) != "end") break;
    }
    return at;
  }
};

struct ScanState {
  // The table of an earlier scan, through which indirect stream lengths are read; none
  // in the first scan.
  const XrefTable* lengths = nullptr;
  bool indirect_length_unread = false;  // a stream's /Length named an object not read
  // The first "endstream", and the first "stream" that is not the end of one, at or
  // after the last place each was searched from. The scan only moves forward, so one
  // search serves every stream up to the place found.
  KeywordCursor endstream{kEndstream};
  KeywordCursor stream{kStreamKeyword};
  RebuiltXref out;
  // Headers in file order, the last definition of a number winning once sorted. The
  // count of distinct numbers is checked whenever the headers added double.
  XrefTableBuilder headers;
  std::size_t next_count_at = limits::kMaxXrefEntries;
  // Numbers whose last definition is an object stream, or a catalog.
  std::set<std::uint32_t> object_streams;
  std::set<std::uint32_t> catalogs;
  std::optional<Dictionary> trailer;              // last "trailer" dictionary with /Root
  std::optional<Dictionary> xref_stream_trailer;  // last /Type /XRef with /Root, its keys
  Dictionary other_keys;  // /Info /Encrypt /ID of the last trailer-like dictionary
};

// Sorts the headers found so far into the table (later definitions win) and fails when
// they define too many numbers.
Result<void> count_headers(ScanState& state) {
  state.out.table.merge(state.headers.finish(XrefKeep::Last), XrefKeep::Last);
  if (state.out.table.size() > limits::kMaxXrefEntries) return fail(kXref, "too many xref entries");
  state.next_count_at = 2 * state.out.table.size() + limits::kMaxXrefEntries;
  return {};
}

// The end of the stream data that start at `start`: where their /Length (direct, or an
// object of the earlier scan's table) ends them when "endstream" confirms it, else the
// first "endstream" after them when no other stream starts first. The scan jumps
// there, so that headers inside stream data (an embedded PDF, a catalog in a content
// stream) are not taken for objects; nothing when no such end is found.
std::optional<std::size_t> stream_data_end(ScanState& state, ByteView file, const Dictionary& dict,
                                           std::size_t start) {
  const std::size_t n = file.size();
  if (start < n && file[start] == '\r') ++start;
  if (start < n && file[start] == '\n') ++start;
  std::optional<std::uint64_t> declared;
  if (const Object* length = dict.lookup("Length")) {
    if (const auto* direct = length->as_integer(); direct != nullptr && *direct >= 0) {
      declared = static_cast<std::uint64_t>(*direct);
    } else if (const auto* ref = length->as_ref()) {
      if (state.lengths != nullptr) declared = integer_object(file, *state.lengths, ref->num);
      if (!declared) state.indirect_length_unread = true;
    }
  }
  if (declared) {
    if (const auto end = confirmed_end(file, start, *declared)) return end;
  }
  // Another stream starting before the next "endstream" means this one's end is lost
  // (or its data hold whole streams): the data are then scanned like the rest.
  const std::size_t found = state.endstream.next(file, start);
  if (found == kNotFound || state.stream.next(file, start) < found) return std::nullopt;
  return found;
}

// Records the header and its leading dictionary; returns where the scan goes on (past
// the stream data, else `end`).
Result<std::size_t> take_header(ScanState& state, ByteView file, const Mark& mark, std::size_t end) {
  state.headers.add(mark.num, XrefEntry{XrefKind::InFile, mark.gen, 0, mark.start});
  if (state.headers.added() > state.next_count_at) TRY_VOID(count_headers(state));
  state.object_streams.erase(mark.num);
  state.catalogs.erase(mark.num);
  const auto leading = leading_dictionary(file, mark.body, end);
  if (!leading) return end;
  const Dictionary& dict = leading->dict;
  if (has_type(dict, "ObjStm")) state.object_streams.insert(mark.num);
  if (has_type(dict, "Catalog")) state.catalogs.insert(mark.num);
  if (has_type(dict, "XRef")) {
    if (dict.lookup("Root") != nullptr) state.xref_stream_trailer = document_keys(dict, true);
    state.other_keys = document_keys(dict, false);
  }
  if (!leading->stream) return end;
  return std::max(end, stream_data_end(state, file, dict, *leading->stream).value_or(end));
}

void take_trailer(ScanState& state, ByteView file, const Mark& mark, std::size_t end) {
  auto leading = leading_dictionary(file, mark.body, end);
  if (!leading) return;
  state.other_keys = document_keys(leading->dict, false);
  if (leading->dict.lookup("Root") != nullptr) state.trailer = std::move(leading->dict);
}

// Numbers of `numbers` ordered by the file offset of their (last) definition.
std::vector<std::uint32_t> in_file_order(const XrefTable& table, const std::set<std::uint32_t>& numbers) {
  std::vector<std::uint32_t> out(numbers.begin(), numbers.end());
  std::sort(out.begin(), out.end(), [&](std::uint32_t a, std::uint32_t b) {
    return table.at(a).offset < table.at(b).offset;
  });
  return out;
}

// One scan of the file for marks, reading indirect stream lengths through `lengths`
// when given.
Result<ScanState> scan_file(ByteView file, const XrefTable* lengths) {
  ScanState state;
  state.lengths = lengths;
  MarkScanner scanner(file);
  // A mark's dictionary is parsed once the next mark is known, since its window ends
  // there: one mark is held back. Marks inside skipped stream data are dropped.
  std::optional<Mark> pending;
  for (;;) {
    std::optional<Mark> next = scanner.next();
    if (pending) {
      const std::size_t end = next ? next->start : file.size();
      if (pending->kind == Mark::Kind::Header) {
        const std::size_t resume = TRY(take_header(state, file, *pending, end));
        if (resume > end) {
          scanner.skip_to(resume);
          next = scanner.next();
        }
      } else {
        take_trailer(state, file, *pending, end);
      }
    }
    if (!next) break;
    pending = std::move(next);
  }

  TRY_VOID(count_headers(state));
  return state;
}

}  // namespace

Result<RebuiltXref> rebuild_xref(ByteView file) {
  ScanState state = TRY(scan_file(file, nullptr));
  if (state.indirect_length_unread) {
    // Stream lengths that are objects are known once the file has been scanned: a
    // second scan skips those streams' data by them.
    ScanState first = std::move(state);
    state = TRY(scan_file(file, &first.out.table));
  }
  RebuiltXref& out = state.out;
  if (out.table.empty()) return fail(kXref, "no objects found");
  if (state.trailer) {
    out.trailer = std::move(*state.trailer);
  } else if (state.xref_stream_trailer) {
    out.trailer = std::move(*state.xref_stream_trailer);
  } else if (!state.catalogs.empty()) {
    const std::uint32_t root = in_file_order(out.table, state.catalogs).back();
    out.trailer.set("Root", Object(ObjRef{root, out.table.at(root).generation}));
    for (auto& entry : state.other_keys.entries) out.trailer.set(entry.key, std::move(entry.value));
  } else {
    return fail(kXref, "no trailer found");
  }
  out.object_streams = in_file_order(out.table, state.object_streams);
  return std::move(out);
}

void add_object_stream_entries(XrefTable& table, std::uint32_t stream_num, const ObjectStream& parsed,
                               std::unordered_set<std::uint32_t>* taken) {
  // The object streams that hold this one, innermost first. Adding an object of that
  // chain would close a loop; entries of the chain itself are never changed below, so
  // it stays valid for the whole call. Chains past the resolver's load nesting cannot
  // be loaded anyway and need not be followed further.
  std::vector<std::uint32_t> holders{stream_num};
  for (const XrefEntry* e = table.find(stream_num);
       e != nullptr && e->kind == XrefKind::Compressed && holders.size() < limits::kMaxLoadNesting;
       e = table.find(e->stream)) {
    holders.push_back(e->stream);
  }
  XrefTableBuilder added;
  for (std::size_t i = 0; i < parsed.numbers.size(); ++i) {
    const std::uint32_t num = parsed.numbers[i];
    if (std::find(holders.begin(), holders.end(), num) != holders.end()) continue;
    const XrefEntry* e = table.find(num);
    if (e != nullptr && e->kind == XrefKind::InFile) continue;
    if (taken != nullptr && taken->contains(num)) continue;
    added.add(num, XrefEntry{XrefKind::Compressed, 0, stream_num, i});
  }
  if (taken != nullptr) {
    for (const std::uint32_t num : parsed.numbers) {
      const XrefEntry* e = table.find(num);
      if (e == nullptr || e->kind != XrefKind::InFile) taken->insert(num);
    }
  }
  // The table stays within the bound of the cross-reference readers; past it new
  // numbers are dropped (the listed objects were never readable through a table).
  table.merge(added.finish(XrefKeep::Last), XrefKeep::Last, limits::kMaxXrefEntries);
}

bool should_rebuild_after(const ParseError& e) {
  if (e.kind == ParseErrorKind::InvalidXref) return true;
  return e.cause == ParseErrorCause::NoObjectHeader || e.cause == ParseErrorCause::ObjectNumberMismatch;
}

}  // namespace folioscan
