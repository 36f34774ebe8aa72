// The recursive-descent object parser: direct objects with reference look-ahead (and
// the dictionary builder behind them), indirect object headers, stream bodies.
#include "parser.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "../input_limits.h"
#include "../lex.h"

namespace folioscan {

namespace {

// Builds a dictionary while parsing. Duplicate keys keep their first position and take
// the later value. Small dictionaries are searched linearly; past a few dozen entries a
// hash index takes over so that a hostile dictionary with a million keys stays linear.
class DictionaryBuilder {
 public:
  void set(std::string key, Object&& value) {
    auto& entries = dict_.entries;
    if (index_.empty() && entries.size() < kLinearLimit) {
      for (auto& entry : entries) {
        if (entry.key == key) {
          entry.value = std::move(value);
          return;
        }
      }
      entries.emplace_back(std::move(key), std::move(value));
      return;
    }
    if (index_.empty()) {
      for (std::size_t i = 0; i < entries.size(); ++i) index_.emplace(entries[i].key, i);
    }
    const auto [it, inserted] = index_.emplace(key, entries.size());
    if (!inserted) {
      entries[it->second].value = std::move(value);
      return;
    }
    entries.emplace_back(std::move(key), std::move(value));
  }

  Dictionary take() { return std::move(dict_); }

 private:
  static constexpr std::size_t kLinearLimit = 32;
  Dictionary dict_;
  std::unordered_map<std::string, std::size_t> index_;
};

ParseError eof_error() { return ParseError{"input ended mid-object", ParseErrorKind::UnexpectedEof}; }

// A parsed object built in place in its result, from the one alternative it holds: no
// Object to move in and destroy after, on the path every object of a file takes.
template <class T>
Result<Object> made(T&& value) {
  return Result<Object>(std::in_place, std::forward<T>(value));
}

// A generation number: "+"? digits, at most 65535.
bool is_generation(std::string_view run) {
  std::size_t i = 0;
  if (!run.empty() && run[0] == '+') i = 1;
  if (i == run.size()) return false;
  std::uint32_t value = 0;
  for (; i < run.size(); ++i) {
    const auto d = static_cast<std::uint32_t>(static_cast<std::uint8_t>(run[i]) - '0');
    if (d > 9) return false;
    value = value * 10 + d;
    if (value > 0xFFFF) return false;
  }
  return true;
}

std::uint16_t generation_value(std::string_view run) {
  std::uint32_t value = 0;
  for (char c : run) {
    if (c != '+') value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return static_cast<std::uint16_t>(value);
}

Result<Object> parse_at(Lexer& lexer, int depth);

Result<Object> parse_array(Lexer& lexer, int depth) {
  lexer.set_pos(lexer.pos() + 1);  // "["
  Array items;
  for (;;) {
    lexer.skip_whitespace();
    if (lexer.at_end()) return std::unexpected(eof_error());
    if (lexer.peek() == ']') {
      lexer.set_pos(lexer.pos() + 1);
      return made(std::move(items));
    }
    // Moved straight from the result into the array: one move, not two.
    Result<Object> item = parse_at(lexer, depth + 1);
    if (!item) return std::unexpected(std::move(item).error());
    // An array of more than one element (a TJ array above all) starts with room for
    // four rather than growing from one; a lone element keeps its exact size.
    if (items.empty()) {
      lexer.skip_whitespace();
      if (lexer.at_end() || lexer.peek() != ']') items.reserve(4);
    }
    items.push_back(std::move(*item));
  }
}

Result<Object> parse_dictionary(Lexer& lexer, int depth) {
  lexer.set_pos(lexer.pos() + 2);  // "<<"
  DictionaryBuilder builder;
  for (;;) {
    lexer.skip_whitespace();
    if (lexer.at_end()) return std::unexpected(eof_error());
    if (lexer.peek() == '>') {
      // Only the first ">" is looked at: the closing pair is stepped over whatever the
      // second byte is (set_pos clamps at the end of the buffer).
      lexer.set_pos(lexer.pos() + 2);
      return made(builder.take());
    }
    Result<Object> key = parse_at(lexer, depth + 1);
    if (!key) return std::unexpected(std::move(key).error());
    auto* name = std::get_if<Name>(&key->value);
    if (name == nullptr) return fail(ParseErrorKind::UnexpectedToken, "dictionary key is not a name");
    Result<Object> value = parse_at(lexer, depth + 1);
    if (!value) return std::unexpected(std::move(value).error());
    builder.set(std::move(name->text), std::move(*value));
  }
}

// "N G R" after an integer N from 0 to 4294967295: a Reference; otherwise the lexer
// goes back to just after N and N stays an Integer.
Result<Object> reference_or_integer(Lexer& lexer, std::int64_t number) {
  if (number < 0 || number > 0xFFFFFFFFLL) return made(number);
  // Most integers (content operands above all) are followed by white space and then a
  // token that cannot be a generation number: told by one byte, without reading it.
  {
    const ByteView data = lexer.data();
    std::size_t p = lexer.pos();
    while (p < data.size() && lex_detail::kByteClasses[data[p]] == 1) ++p;  // white space
    if (p == data.size()) return made(number);
    const std::uint8_t next = data[p];
    if (next != '%' && next != '+' && (next < '0' || next > '9')) return made(number);
  }
  const std::size_t mark = lexer.pos();
  lexer.skip_whitespace();
  const std::string_view gen = lexer.read_regular();
  if (is_generation(gen)) {
    lexer.skip_whitespace();
    // The next run is exactly "R": an "R" that no regular byte follows. Tested in place
    // rather than by reading the run, which content streams (numbers before operators
    // everywhere) would do for every integer operand.
    const ByteView data = lexer.data();
    const std::size_t p = lexer.pos();
    if (p < data.size() && data[p] == 'R' && (p + 1 == data.size() || !is_regular(data[p + 1]))) {
      lexer.set_pos(p + 1);
      return made(ObjRef{static_cast<std::uint32_t>(number), generation_value(gen)});
    }
  }
  lexer.set_pos(mark);
  return made(number);
}

Result<Object> parse_at(Lexer& lexer, int depth) {
  lexer.skip_whitespace();
  if (lexer.at_end()) return std::unexpected(eof_error());
  const std::uint8_t b = lexer.peek();
  switch (b) {
    case '(': return made(String{TRY(lexer.read_literal_string())});
    case '/': return made(Name{TRY(lexer.read_name())});
    case '+': case '-': case '.':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9': {
      Number number;
      if (!lexer.read_plain_number(number)) number = TRY(lexer.read_number());
      if (const auto* i = std::get_if<std::int64_t>(&number)) return reference_or_integer(lexer, *i);
      return made(*std::get_if<double>(&number));
    }
    case '[':
      if (depth >= limits::kMaxNestingDepth) {
        return fail(ParseErrorKind::InvalidObject, "objects nested too deeply");
      }
      return parse_array(lexer, depth);
    case '<': {
      const ByteView data = lexer.data();
      const std::size_t p = lexer.pos();
      if (p + 1 < data.size() && data[p + 1] == '<') {
        if (depth >= limits::kMaxNestingDepth) {
          return fail(ParseErrorKind::InvalidObject, "objects nested too deeply");
        }
        return parse_dictionary(lexer, depth);
      }
      return made(String{TRY(lexer.read_hex_string())});
    }
    default: {
      const Keyword keyword = TRY(lexer.read_keyword());
      if (keyword == Keyword::Null) return made(Null{});
      return made(keyword == Keyword::True);
    }
  }
}

// First occurrence of "endstream" in [from, to), or `to`. memchr finds each candidate
// "e", so the search is linear even over runs of "e".
std::size_t find_endstream(ByteView data, std::size_t from, std::size_t to) {
  static constexpr char kWord[] = "endstream";
  constexpr std::size_t kLen = sizeof(kWord) - 1;
  const std::uint8_t* d = data.data();
  std::size_t p = from;
  while (to - p >= kLen) {
    const void* hit = std::memchr(d + p, 'e', to - p - kLen + 1);
    if (hit == nullptr) break;
    p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - d);
    if (std::memcmp(d + p, kWord, kLen) == 0) return p;
    ++p;
  }
  return to;
}

}  // namespace

Result<Object> parse_object(Lexer& lexer) { return parse_at(lexer, 0); }

Result<ObjectHeader> parse_object_header(Lexer& lexer) {
  constexpr auto kObj = ParseErrorKind::InvalidObject;
  constexpr auto kNoHeader = ParseErrorCause::NoObjectHeader;
  ObjectHeader header;
  header.num = TRY(lexer.read_u32(kObj, kNoHeader));
  header.gen = TRY(lexer.read_u32(kObj, kNoHeader));
  lexer.skip_whitespace();
  if (!lexer.match_keyword("obj")) return fail(kObj, kNoHeader, "missing obj keyword");
  return header;
}

std::size_t EndstreamSearch::next(std::size_t from) {
  const std::size_t n = data_.size();
  if (from >= n) return n;
  auto after = searched_.upper_bound(from);
  if (after != searched_.begin()) {
    const auto before = std::prev(after);
    if (from <= before->second) return before->second;  // inside a searched stretch
  }
  std::size_t hit = 0;
  if (after == searched_.end()) {
    hit = find_endstream(data_, from, n);
  } else {
    // Up to the next searched stretch (plus the keyword's length, for a hit that
    // starts before it); from there on its answer holds.
    constexpr std::size_t kKeywordTail = 8;
    const std::size_t to = std::min(n, after->first + kKeywordTail);
    hit = find_endstream(data_, from, to);
    if (hit >= after->first) hit = after->second;
  }
  searched_.emplace(from, hit);
  return hit;
}

std::optional<StreamExtent> find_stream_data(Lexer& lexer, std::optional<std::uint64_t> declared_length,
                                             EndstreamSearch* search) {
  lexer.skip_whitespace();
  if (!lexer.match_keyword("stream")) return std::nullopt;
  const ByteView data = lexer.data();
  const std::size_t n = data.size();
  std::size_t start = lexer.pos();
  if (start < n && data[start] == '\r') ++start;
  if (start < n && data[start] == '\n') ++start;

  std::size_t end = n;
  bool declared_fits = false;
  if (declared_length && *declared_length <= n - start) {
    // The declared end is trusted when "endstream" starts within 16 bytes after it.
    const std::size_t declared_end = start + static_cast<std::size_t>(*declared_length);
    const std::size_t window_end = n - declared_end > 24 ? declared_end + 24 : n;
    if (find_endstream(data, declared_end, window_end) != window_end) {
      end = declared_end;
      declared_fits = true;
    }
  }
  if (!declared_fits) {
    // A missing or wrong /Length: the data run to the first "endstream" (or the end of
    // the buffer) less the line end that precedes the keyword.
    const bool shared = search != nullptr && search->data().data() == data.data() && search->data().size() == n;
    end = shared ? search->next(start) : find_endstream(data, start, n);
    if (end > start && data[end - 1] == '\n') {
      --end;
      if (end > start && data[end - 1] == '\r') --end;
    } else if (end > start && data[end - 1] == '\r') {
      --end;
    }
  }
  lexer.set_pos(end);
  return StreamExtent{start, end};
}

Object parse_stream_body(Lexer& lexer, Dictionary dict, std::optional<std::uint64_t> declared_length) {
  const std::optional<StreamExtent> extent = find_stream_data(lexer, declared_length);
  if (!extent) return Object(std::move(dict));
  const ByteView data = lexer.data();
  Stream stream{std::move(dict), Bytes(data.begin() + static_cast<std::ptrdiff_t>(extent->start),
                                       data.begin() + static_cast<std::ptrdiff_t>(extent->end))};
  return Object(std::move(stream));
}

}  // namespace folioscan
