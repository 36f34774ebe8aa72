// Cutting content into operations: operands are parsed as objects and collected until
// a keyword ends them; inline images are skipped, strictly to the first "EI", in
// recovery to where their data ends.
#include "tokenizer.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "../cos/parser.h"
#include "../input_limits.h"
#include "../lex.h"

namespace folioscan {

namespace {

bool starts_operand(std::uint8_t b) {
  return b == '(' || b == '+' || b == '-' || b == '.' || b == '/' || b == '<' || b == '[' ||
         (b >= '0' && b <= '9');
}

// Offset of the first "EI" at or after `from`, or the end of the buffer.
std::size_t skip_inline_image(ByteView data, std::size_t from) {
  for (std::size_t i = from; i + 1 < data.size(); ++i) {
    if (data[i] == 'E' && data[i + 1] == 'I') return i + 2;
  }
  return data.size();
}

// Whether "EI" at `at` stands as an operator: white space (or the data's start) before
// it, and white space, a delimiter or the end after it.
bool standalone_ei(ByteView data, std::size_t at, std::size_t data_start) {
  if (at + 1 >= data.size() || data[at] != 'E' || data[at + 1] != 'I') return false;
  if (at > data_start && !is_whitespace(data[at - 1])) return false;
  return at + 2 == data.size() || is_whitespace(data[at + 2]) || is_delimiter(data[at + 2]);
}

// Offset just past "EI" when only white space separates it from `at`, else npos.
std::size_t ei_after(ByteView data, std::size_t at) {
  while (at < data.size() && is_whitespace(data[at])) ++at;
  return standalone_ei(data, at, at) ? at + 2 : std::string_view::npos;
}

std::size_t find_bytes(ByteView data, std::size_t from, std::string_view what) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  return text.find(what, std::min(from, data.size()));
}

// A forward search remembered across the inline images of one stream: a hostile stream
// of a million "BI" with no end mark would otherwise scan the rest of the stream once
// per image. A search from `from` reuses the last answer while it still lies ahead.
struct RememberedSearch {
  std::size_t searched_from = std::string_view::npos;
  std::size_t found = std::string_view::npos;

  template <typename Find>
  std::size_t next(std::size_t from, Find&& find) {
    if (searched_from != std::string_view::npos && from >= searched_from &&
        (found == std::string_view::npos || found >= from)) {
      return found;
    }
    searched_from = from;
    found = find(from);
    return found;
  }
};

// The searches inline_image_end makes, remembered for one stream.
struct InlineImageSearches {
  RememberedSearch ascii85_end, hex_end, standalone_ei;
};

// The components per pixel of an inline image's colour space, 0 when unknown.
int inline_components(const Object* space) {
  if (space == nullptr) return 0;
  if (space->is_name("G") || space->is_name("DeviceGray") || space->is_name("I") ||
      space->is_name("Indexed")) {
    return 1;
  }
  if (space->is_name("RGB") || space->is_name("DeviceRGB")) return 3;
  if (space->is_name("CMYK") || space->is_name("DeviceCMYK")) return 4;
  if (const Array* array = space->as_array(); array != nullptr && !array->empty() &&
                                               ((*array)[0].is_name("I") || (*array)[0].is_name("Indexed"))) {
    return 1;
  }
  return 0;
}

// Recovery's end of an inline image, from just after "BI": the image dictionary is read
// up to "ID", and the data ends where its own encoding says (ASCII85 at "~>", ASCII hex
// at ">", unfiltered data after its size in bytes) when "EI" follows there; otherwise
// at the first "EI" that stands as an operator, and only then at the first two bytes
// "EI". Image data (ASCII85 above all) often holds the bytes "EI".
std::size_t inline_image_end(ByteView data, std::size_t from, InlineImageSearches& searches) {
  Lexer lexer(data, from);
  Dictionary dict;
  bool found_id = false;
  for (int i = 0; i < limits::kMaxInlineImageEntries; ++i) {
    lexer.skip_whitespace();
    if (lexer.at_end()) return data.size();
    if (lexer.peek() != '/') {
      found_id = lexer.read_regular() == "ID";
      break;
    }
    auto key = parse_object(lexer);
    if (!key || key->as_name() == nullptr) break;
    lexer.skip_whitespace();
    auto value = parse_object(lexer);
    if (!value) break;
    dict.set(key->as_name()->text, std::move(*value));
  }
  if (!found_id) return skip_inline_image(data, from);
  std::size_t start = lexer.pos();
  if (start < data.size() && is_whitespace(data[start])) ++start;

  const Object* filter = dict.lookup("F");
  if (filter == nullptr) filter = dict.lookup("Filter");
  if (filter != nullptr) {
    if (const Array* array = filter->as_array()) filter = array->empty() ? nullptr : &(*array)[0];
  }
  std::size_t end = std::string_view::npos;
  if (filter != nullptr && (filter->is_name("A85") || filter->is_name("ASCII85Decode"))) {
    const std::size_t eod =
        searches.ascii85_end.next(start, [&](std::size_t at) { return find_bytes(data, at, "~>"); });
    if (eod != std::string_view::npos) end = ei_after(data, eod + 2);
  } else if (filter != nullptr && (filter->is_name("AHx") || filter->is_name("ASCIIHexDecode"))) {
    const std::size_t eod = searches.hex_end.next(start, [&](std::size_t at) { return find_bytes(data, at, ">"); });
    if (eod != std::string_view::npos) end = ei_after(data, eod + 1);
  } else if (filter == nullptr) {
    const auto number = [&](std::string_view short_key, std::string_view long_key) -> std::int64_t {
      const Object* value = dict.lookup(short_key);
      if (value == nullptr) value = dict.lookup(long_key);
      const std::int64_t* n = value != nullptr ? value->as_integer() : nullptr;
      return n != nullptr && *n > 0 && *n <= (1 << 24) ? *n : 0;
    };
    const Object* mask = dict.lookup("IM");
    if (mask == nullptr) mask = dict.lookup("ImageMask");
    const bool is_mask = mask != nullptr && mask->as_bool() != nullptr && *mask->as_bool();
    const std::int64_t width = number("W", "Width");
    const std::int64_t height = number("H", "Height");
    const std::int64_t bits = is_mask ? 1 : number("BPC", "BitsPerComponent");
    const Object* space = dict.lookup("CS");
    if (space == nullptr) space = dict.lookup("ColorSpace");
    const int components = is_mask ? 1 : inline_components(space);
    if (width > 0 && height > 0 && bits > 0 && bits <= 16 && components > 0) {
      // At most 2^24 × 4 × 16 bits a row: no overflow in 64 bits.
      const std::uint64_t row = (static_cast<std::uint64_t>(width) * components * bits + 7) / 8;
      const std::uint64_t size = row * static_cast<std::uint64_t>(height);
      if (size <= data.size() - start) end = ei_after(data, start + size);
    }
  }
  if (end != std::string_view::npos) return end;
  if (standalone_ei(data, start, start)) return start + 2;
  // Past the data's first byte an "EI" stands alone by its own neighbours only, so the
  // answer does not depend on where the image started and can be remembered.
  const std::size_t ei = searches.standalone_ei.next(start + 1, [&](std::size_t from_at) {
    for (std::size_t at = find_bytes(data, from_at, "EI"); at != std::string_view::npos;
         at = find_bytes(data, at + 1, "EI")) {
      if (standalone_ei(data, at, at - 1)) return at;
    }
    return std::string_view::npos;
  });
  if (ei != std::string_view::npos) return ei + 2;
  return skip_inline_image(data, from);
}

// Recovery's reading of an operand that does not parse as an object, which the parser
// gave up on at `failed_at`: an array keeps the elements that do parse and passes over
// keywords and bad tokens inside it (a producer writing an operator into a TJ array:
// "[(a) 3 Tf (b)] TJ"); nested arrays and dictionaries in it are flattened, not parsed
// again, so that no byte is read more than twice. Any other bad operand is dropped and
// reading goes on where the parser stopped. Empty when nothing at `start` makes an
// operand.
std::optional<Object> recover_operand(Lexer& lexer, std::size_t start, std::size_t failed_at) {
  // Past a bad token: from where the parser stopped, or a token on when it did not move.
  const auto pass = [&](std::size_t from, std::size_t stopped) {
    if (stopped > from) {
      lexer.set_pos(stopped);
    } else {
      lexer.set_pos(from);
      if (lexer.read_regular().empty()) lexer.set_pos(from + 1);
    }
  };
  if (lexer.data()[start] != '[') {
    pass(start, failed_at);
    return std::nullopt;
  }
  lexer.set_pos(start + 1);
  Array elements;
  std::size_t open = 0;  // nested "[" not yet closed
  for (;;) {
    lexer.skip_whitespace();
    if (lexer.at_end()) break;
    const std::size_t at = lexer.pos();
    const std::uint8_t b = lexer.peek();
    if (b == ']') {
      lexer.set_pos(at + 1);
      if (open == 0) break;
      --open;
      continue;
    }
    if (b == '[') {
      ++open;
      lexer.set_pos(at + 1);
      continue;
    }
    if (b == '<' && at + 1 < lexer.data().size() && lexer.data()[at + 1] == '<') {
      lexer.set_pos(at + 2);
      continue;
    }
    if (starts_operand(b)) {
      if (auto element = parse_object(lexer)) {
        if (elements.size() < limits::kMaxPendingOperands) elements.push_back(std::move(*element));
        continue;
      }
    }
    pass(at, starts_operand(b) ? lexer.pos() : at);
  }
  return Object(Object::Value(std::move(elements)));
}

// Whether the integer just read may begin "N G R": white space, a generation number,
// white space and a lone "R" follow (or a comment, which only the parser reads past).
bool may_be_reference(ByteView data, std::size_t p, std::int64_t number) {
  if (number < 0 || number > 0xFFFFFFFFLL) return false;
  const auto white = [&](std::size_t at) { return lex_detail::kByteClasses[data[at]] == 1; };
  const auto regular = [&](std::size_t at) { return lex_detail::kByteClasses[data[at]] == 0; };
  while (p < data.size() && white(p)) ++p;
  if (p == data.size()) return false;
  if (data[p] == '%') return true;
  std::size_t q = p;
  if (data[q] == '+') ++q;
  std::uint32_t generation = 0;
  const std::size_t digits = q;
  for (; q < data.size() && regular(q); ++q) {
    const auto d = static_cast<std::uint32_t>(data[q] - '0');
    if (d > 9) return false;
    generation = generation * 10 + d;
    if (generation > 0xFFFF) return false;
  }
  if (q == digits) return false;
  while (q < data.size() && white(q)) ++q;
  if (q == data.size()) return false;
  if (data[q] == '%') return true;
  return data[q] == 'R' && (q + 1 == data.size() || !regular(q + 1));
}

// A number operand read straight into `pending`, the common case of content; false (and
// the lexer back at the start) when the parser must read it: a reference or a bad token.
// Forced inline into the loop: as a call, its frame and the number's result cost about
// as much as reading the number.
[[gnu::always_inline]] inline bool read_number_operand(Lexer& lexer, std::vector<Object>& pending) {
  const std::size_t start = lexer.pos();
  Number number;
  if (!lexer.read_plain_number(number)) {
    const Result<Number> full = lexer.read_number();
    if (!full) {
      lexer.set_pos(start);
      return false;
    }
    number = *full;
  }
  if (const auto* integer = std::get_if<std::int64_t>(&number)) {
    if (may_be_reference(lexer.data(), lexer.pos(), *integer)) {
      lexer.set_pos(start);
      return false;
    }
    if (pending.size() >= limits::kMaxPendingOperands) pending.clear();
    pending.emplace_back(*integer);
    return true;
  }
  if (pending.size() >= limits::kMaxPendingOperands) pending.clear();
  pending.emplace_back(std::get<double>(number));
  return true;
}

}  // namespace

std::size_t for_each_content_op(ByteView content, const std::function<void(const ContentOp&)>& visit,
                                bool recover) {
  std::size_t read_to_end = 0;
  InlineImageSearches searches;
  ContentOp op;
  std::vector<Object>& pending = op.operands;
  Lexer lexer(content);
  for (;;) {
    lexer.skip_whitespace();
    if (lexer.at_end()) break;
    const std::uint8_t b = lexer.peek();
    if (starts_operand(b)) {
      if (b != '(' && b != '/' && b != '<' && b != '[' && read_number_operand(lexer, pending)) continue;
      const std::size_t start = lexer.pos();
      auto obj = parse_object(lexer);
      if (!obj) {
        if (!recover) break;
        auto repaired = recover_operand(lexer, start, lexer.pos());
        if (!repaired) {
          pending.clear();
          continue;
        }
        obj = std::move(*repaired);
      }
      // Operands without an operator are garbage; past a bound they are dropped
      // (the operator that finally comes sees none) so memory stays bounded.
      if (pending.size() >= limits::kMaxPendingOperands) pending.clear();
      pending.push_back(std::move(*obj));
      continue;
    }
    const std::string_view word = lexer.read_regular();
    if (word.empty()) {
      lexer.set_pos(lexer.pos() + 1);
      pending.clear();
      continue;
    }
    op.op = operator_of(word);
    if (op.op == Operator::BeginImage) {
      const std::size_t strict_end = skip_inline_image(content, lexer.pos());
      const std::size_t end = recover ? inline_image_end(content, lexer.pos(), searches) : strict_end;
      if (end != strict_end) ++read_to_end;
      lexer.set_pos(end);
      pending.clear();
      continue;
    }
    op.keyword_len = static_cast<std::uint8_t>(std::min<std::size_t>(word.size(), 4));
    // At most four bytes, copied in place rather than by a library call per operation.
    for (std::size_t k = 0; k < op.keyword_len; ++k) op.keyword[k] = word[k];
    visit(op);
    pending.clear();
  }
  return read_to_end;
}


}  // namespace folioscan
