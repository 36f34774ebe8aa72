// Page content: the content streams gathered into one buffer, cut into operations,
// and the text interpreter that turns string-showing operators into positioned runs.
#include "content.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <utility>

#include "cos/parser.h"
#include "doc.h"
#include "filter/filter.h"
#include "input_limits.h"
#include "lex.h"
#include "pages.h"
#include "utf8.h"
#include "walker.h"

namespace folioscan {

namespace {

// One piece of a /Contents array: a decoded stream, shared by every element naming it.
struct ContentPiece {
  Bytes data;
  std::size_t uses = 0;  // elements of the array naming this stream
};

Result<Bytes> join_page_content(OpenDocument& doc, const PageRecord& page) {
  const Object* contents = page.dictionary.lookup("Contents");
  if (contents == nullptr) return Bytes{};
  Resolver& resolver = doc.resolver;
  const Object* value = TRY(resolver.resolve_view(*contents));
  if (const auto* stream = value->as_stream()) return resolver.decode(*stream);
  const Array* arr = value->as_array();
  if (arr == nullptr) return Bytes{};
  // First the elements in order: each distinct stream is decoded once (the resolver
  // hands out one cached object per number, so its address identifies it), and the
  // joined size is checked at each element before anything is copied. An array naming
  // one large stream many times thus fails after one decode, at the same element and
  // with the same error as joining element by element would.
  std::vector<ContentPiece> pieces;
  std::unordered_map<const Stream*, std::size_t> index_of;
  std::vector<std::size_t> order;  // index into `pieces` of each stream element
  std::uint64_t joined = 0;
  for (const Object& element : *arr) {
    const Object* item = TRY(resolver.resolve_view(element));
    const auto* stream = item->as_stream();
    if (stream == nullptr) continue;
    auto [slot, fresh] = index_of.try_emplace(stream, pieces.size());
    if (fresh) pieces.push_back(ContentPiece{TRY(resolver.decode(*stream)), 0});
    ContentPiece* it = &pieces[slot->second];
    // The joined content is bounded like one stream: an array naming one large stream
    // many times would otherwise grow without end.
    if (it->data.size() >= limits::kMaxDecodedBytes - joined) {
      return fail(ParseErrorKind::BadStream, "page content too large");
    }
    joined += it->data.size() + 1;
    ++it->uses;
    order.push_back(slot->second);
  }
  // Then the copy: each piece is released after its last use.
  Bytes out;
  for (const std::size_t index : order) {
    ContentPiece& piece = pieces[index];
    if (out.empty() && piece.uses == 1) {
      out = std::move(piece.data);
      out.reserve(static_cast<std::size_t>(joined));
    } else {
      if (out.capacity() < joined) out.reserve(static_cast<std::size_t>(joined));
      out.insert(out.end(), piece.data.begin(), piece.data.end());
    }
    out.push_back('\n');
    if (--piece.uses == 0) Bytes().swap(piece.data);
  }
  return out;
}

}  // namespace

std::uint64_t content_budget(const OpenDocument& doc) {
  return limits::kMaxContentBytesPerCall +
         limits::kMaxContentBytesPerFileByte * std::uint64_t{doc.resolver.file().size()};
}

Result<Bytes> gather_page_content(OpenDocument& doc, const PageRecord& page) {
  const std::uint64_t budget = content_budget(doc);
  // Spent already: only a reading that goes on past a failed page gets here, and it
  // must not decode more content for each page that follows.
  if (doc.content_bytes > budget) return fail(ParseErrorKind::BadStream, "document content too large");
  Bytes content = TRY(join_page_content(doc, page));
  doc.content_bytes += content.size();
  if (doc.content_bytes > budget) return fail(ParseErrorKind::BadStream, "document content too large");
  return content;
}

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
  constexpr int kMaxEntries = 64;
  Lexer lexer(data, from);
  Dictionary dict;
  bool found_id = false;
  for (int i = 0; i < kMaxEntries; ++i) {
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

}  // namespace

std::size_t for_each_content_op(ByteView content, const std::function<void(const ContentOp&)>& visit,
                                bool recover) {
  std::size_t mended = 0;
  InlineImageSearches searches;
  ContentOp op;
  std::vector<Object>& pending = op.operands;
  Lexer lexer(content);
  for (;;) {
    lexer.skip_whitespace();
    if (lexer.at_end()) break;
    const std::uint8_t b = lexer.peek();
    if (starts_operand(b)) {
      auto obj = parse_object(lexer);
      if (!obj) break;
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
    if (word == "BI") {
      const std::size_t strict_end = skip_inline_image(content, lexer.pos());
      const std::size_t end = recover ? inline_image_end(content, lexer.pos(), searches) : strict_end;
      if (end != strict_end) ++mended;
      lexer.set_pos(end);
      pending.clear();
      continue;
    }
    op.op_len = static_cast<std::uint8_t>(std::min<std::size_t>(word.size(), 4));
    std::copy_n(word.data(), op.op_len, op.op.begin());
    visit(op);
    pending.clear();
  }
  return mended;
}

std::vector<ContentOp> tokenize_content(ByteView content) {
  std::vector<ContentOp> ops;
  for_each_content_op(content, [&](const ContentOp& op) { ops.push_back(op); });
  return ops;
}

namespace {

double number_at(const std::vector<Object>& operands, std::size_t i) {
  if (i >= operands.size()) return 0.0;
  return operands[i].as_number().value_or(0.0);
}

}  // namespace

Matrix matrix_from(const std::vector<Object>& operands) {
  double v[6] = {1, 0, 0, 1, 0, 0};
  for (std::size_t i = 0; i < 6 && i < operands.size(); ++i) {
    if (auto n = operands[i].as_number()) v[i] = *n;
  }
  return Matrix{v[0], v[1], v[2], v[3], v[4], v[5]};
}

namespace {

// Whether a glyph starting at one of `starts` gives more than one character.
bool has_multi_character_glyph(const std::string& text, const std::vector<std::uint32_t>& starts) {
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
    std::size_t characters = 0;
    for (std::size_t at = starts[i]; at < end && at < text.size(); ++at) {
      characters += (static_cast<std::uint8_t>(text[at]) & 0xC0) != 0x80;
    }
    if (characters > 1) return true;
  }
  return false;
}

// The quarter turn nearest to the direction (a, b); a degenerate or NaN direction
// counts as no turn.
std::uint8_t quarter_turns_of(double a, double b) {
  if (std::fabs(b) > std::fabs(a)) return b > 0 ? 1 : 3;
  return a < 0 ? 2 : 0;
}

}  // namespace

struct TextInterpreter::State {
  const FontMap* plain = nullptr;
  const SharedFontMap* shared = nullptr;
  Matrix tm;
  Matrix tlm;
  std::vector<TextRun> runs;
  bool keep_glyph_starts = false;
  std::vector<std::uint32_t> glyph_starts;  // reused across strings
  // The open replacement: its text and the first run it covers.
  bool replacing = false;
  std::string replacement;
  std::size_t replaced_from = 0;

  const Font* find_font(const std::string& name) const {
    if (shared != nullptr) {
      const auto it = shared->find(name);
      return it != shared->end() ? it->second.get() : nullptr;
    }
    const auto it = plain->find(name);
    return it != plain->end() ? &it->second : nullptr;
  }

  void move_line(double tx, double ty) {
    tlm.e += tx * tlm.a + ty * tlm.c;
    tlm.f += tx * tlm.b + ty * tlm.d;
    tm = tlm;
  }

  void show(const Bytes& bytes, const GraphicsState& gs) {
    const TextState& ts = gs.text;
    const Matrix p = multiply(tm, gs.ctm);
    TextRun run;
    run.x = ts.ts * p.c + p.e;
    run.y = ts.ts * p.d + p.f;
    if (ts.current != nullptr) {
      if (keep_glyph_starts) {
        glyph_starts.clear();
        run.width = decode_and_measure(*ts.current, bytes, ts.tc, ts.tw, ts.tfs, ts.th, run.text, &glyph_starts);
        if (has_multi_character_glyph(run.text, glyph_starts)) run.glyph_starts = glyph_starts;
      } else {
        run.width = decode_and_measure(*ts.current, bytes, ts.tc, ts.tw, ts.tfs, ts.th, run.text);
      }
    } else {
      // No such font: bytes are ISO 8859-1 and every byte is half an em wide.
      double width = 0;
      run.text.reserve(bytes.size());
      for (const std::uint8_t byte : bytes) {
        append_utf8(run.text, byte);
        width += (0.5 * ts.tfs + ts.tc + (byte == 0x20 ? ts.tw : 0.0)) * ts.th;
      }
      run.width = width;
    }
    run.font = ts.font;
    run.font_size = ts.tfs;
    // Under a scaled text matrix ("1 Tf" with "9.96 0 0 9.96 x y Tm") the unscaled width
    // and size say nothing about distances on the page; these carry them through P.
    run.end_x = run.x + run.width * p.a;
    run.page_size = ts.tfs * std::hypot(p.c, p.d);
    run.end_y = run.y + run.width * p.b;
    run.quarter_turns = quarter_turns_of(p.a, p.b);
    run.flat = p.a * p.d - p.b * p.c == 0.0;
    if (ts.current != nullptr && ts.current->vertical_advance != 0.0) {
      // Vertical writing: the glyphs move along the text space's y axis, so the run
      // reads down its column (and the next string starts below it).
      const double glyphs = static_cast<double>((bytes.size() + 1) / 2);
      const double ty = glyphs * (ts.current->vertical_advance * ts.tfs + ts.tc);
      run.end_x = run.x + ty * p.c;
      run.end_y = run.y + ty * p.d;
      run.quarter_turns = quarter_turns_of(ty * p.c, ty * p.d);
      tm.e += ty * tm.c;
      tm.f += ty * tm.d;
      runs.push_back(std::move(run));
      return;
    }
    tm.e += run.width * tm.a;
    tm.f += run.width * tm.b;
    runs.push_back(std::move(run));
  }
};

TextInterpreter::TextInterpreter(const FontMap& fonts) : state_(std::make_unique<State>()) {
  state_->plain = &fonts;
}

TextInterpreter::TextInterpreter(const SharedFontMap& fonts) : state_(std::make_unique<State>()) {
  state_->shared = &fonts;
}
TextInterpreter::~TextInterpreter() = default;

std::vector<TextRun> TextInterpreter::take_runs() {
  end_replacement();
  return std::move(state_->runs);
}

void TextInterpreter::add_run(TextRun run) { state_->runs.push_back(std::move(run)); }

void TextInterpreter::keep_glyph_starts(bool keep) { state_->keep_glyph_starts = keep; }

const SharedFontMap* TextInterpreter::use_fonts(const SharedFontMap* fonts) {
  return std::exchange(state_->shared, fonts);
}

bool TextInterpreter::begin_replacement(std::string text) {
  State& st = *state_;
  if (st.replacing) return false;
  st.replacing = true;
  st.replacement = std::move(text);
  st.replaced_from = st.runs.size();
  return true;
}

void TextInterpreter::end_replacement() {
  State& st = *state_;
  if (!st.replacing) return;
  st.replacing = false;
  std::vector<TextRun>& runs = st.runs;
  const std::size_t from = st.replaced_from;
  if (from >= runs.size()) return;
  if (st.replacement.empty()) {
    // Text replaced by nothing (decorations drawn with glyphs) is not shown.
    runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(from), runs.end());
    return;
  }
  TextRun& first = runs[from];
  double width = 0;
  for (std::size_t i = from; i < runs.size(); ++i) width += runs[i].width;
  first.text = std::move(st.replacement);
  first.glyph_starts = {0};  // replacement text is already in logical order
  first.width = width;
  first.end_x = runs.back().end_x;
  first.end_y = runs.back().end_y;
  runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(from) + 1, runs.end());
}

namespace {

// The strict reading's walk over collected operations.
template <typename Fonts>
std::vector<TextRun> interpret_all(const std::vector<ContentOp>& ops, const Fonts& fonts) {
  GraphicsWalker walker;
  TextInterpreter interpreter(fonts);
  for (const ContentOp& op : ops) walker.apply(op, interpreter);
  return interpreter.take_runs();
}

}  // namespace

std::vector<TextRun> interpret_content(const std::vector<ContentOp>& ops, const FontMap& fonts) {
  return interpret_all(ops, fonts);
}

std::vector<TextRun> interpret_content(const std::vector<ContentOp>& ops, const SharedFontMap& fonts) {
  return interpret_all(ops, fonts);
}

// Operators are ASCII; a name that is not valid UTF-8 can match none of them and is
// ignored like any other unknown operator. "q", "Q" and "cm" are the walker's.
void TextInterpreter::apply(const ContentOp& op, GraphicsState& gs) {
  State& st = *state_;
  TextState& ts = gs.text;
  const std::string_view name = op.name();
  const auto& args = op.operands;
  switch (name.size()) {
    case 1:
      switch (name[0]) {
        case '\'':
          st.move_line(0, -ts.tl);
          if (!args.empty()) {
            if (const auto* s = args[0].as_string()) st.show(s->bytes, gs);
          }
          return;
        case '"':
          if (!args.empty()) {
            ts.tw = number_at(args, 0);
            ts.tc = number_at(args, 1);
          } else {
            ts.tw = 0;
            ts.tc = 0;
          }
          st.move_line(0, -ts.tl);
          if (args.size() >= 3) {
            if (const auto* s = args[2].as_string()) st.show(s->bytes, gs);
          }
          return;
        default:
          return;
      }
    case 2:
      break;
    default:
      return;
  }
  const char c0 = name[0], c1 = name[1];
  if (c0 == 'B' && c1 == 'T') {
    st.tm = st.tlm = Matrix{};
  } else if (c0 != 'T') {
    return;
  } else if (c1 == 'd') {
    st.move_line(number_at(args, 0), number_at(args, 1));
  } else if (c1 == 'D') {
    const double ty = number_at(args, 1);
    ts.tl = -ty;
    st.move_line(number_at(args, 0), ty);
  } else if (c1 == 'm') {
    st.tm = st.tlm = matrix_from(args);
  } else if (c1 == '*') {
    st.move_line(0, -ts.tl);
  } else if (c1 == 'f') {
    if (!args.empty()) {
      if (const auto* n = args[0].as_name()) {
        ts.font = n->text;
      }
    }
    ts.current = st.find_font(ts.font);
    ts.tfs = number_at(args, 1);
  } else if (c1 == 'c') {
    ts.tc = number_at(args, 0);
  } else if (c1 == 'w') {
    ts.tw = number_at(args, 0);
  } else if (c1 == 'z') {
    ts.th = number_at(args, 0) / 100.0;
  } else if (c1 == 'L') {
    ts.tl = number_at(args, 0);
  } else if (c1 == 's') {
    ts.ts = number_at(args, 0);
  } else if (c1 == 'j') {
    if (!args.empty()) {
      if (const auto* s = args[0].as_string()) st.show(s->bytes, gs);
    }
  } else if (c1 == 'J') {
    if (args.empty()) return;
    const Array* arr = args[0].as_array();
    if (arr == nullptr) return;
    for (const Object& e : *arr) {
      if (const auto* s = e.as_string()) {
        st.show(s->bytes, gs);
      } else if (auto n = e.as_number()) {
        if (ts.current != nullptr && ts.current->vertical_advance != 0.0) {
          // In vertical writing the adjustment moves along y, unscaled by Th.
          const double ty = (-*n / 1000.0) * ts.tfs;
          st.tm.e += ty * st.tm.c;
          st.tm.f += ty * st.tm.d;
          continue;
        }
        const double tx = (-*n / 1000.0) * ts.tfs * ts.th;
        st.tm.e += tx * st.tm.a;
        st.tm.f += tx * st.tm.b;
      }
    }
  }
}

}  // namespace folioscan
