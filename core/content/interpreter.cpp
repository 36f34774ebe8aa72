// The text interpreter: the text matrices, and a positioned run for each string a
// text-showing operator shows.
#include "interpreter.h"

#include <cmath>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "../float_ops.h"
#include "../matrix.h"
#include "../utf8.h"
#include "walker.h"

namespace folioscan {

namespace {

double number_at(const std::vector<Object>& operands, std::size_t i) {
  if (i >= operands.size()) return 0.0;
  return operands[i].as_number().value_or(0.0);
}

// Whether a glyph starting at one of `starts` gives more than one character.
bool has_multi_character_glyph(const std::string& text, const std::vector<std::uint32_t>& starts) {
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
    if (end <= std::size_t{starts[i]} + 1) continue;  // one byte at most: one character at most
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
  const SharedFontMap* fonts = nullptr;
  Matrix tm;
  Matrix tlm;
  std::vector<TextRun> runs;
  bool keep_glyph_starts = false;
  std::vector<std::uint32_t> glyph_starts;  // reused across strings
  // The open replacement: its text and the first run it covers.
  bool replacing = false;
  std::string replacement;
  std::size_t replaced_from = 0;

  // Each font name the page's content sets, held once.
  std::unordered_map<std::string_view, std::shared_ptr<const std::string>> names;

  const std::shared_ptr<const std::string>& intern(const std::string& name) {
    if (const auto it = names.find(name); it != names.end()) return it->second;
    auto held = std::make_shared<const std::string>(name);
    const std::string_view key = *held;
    return names.emplace(key, std::move(held)).first->second;
  }

  const Font* find_font(const std::string& name) const {
    const auto it = fonts->find(name);
    return it != fonts->end() ? it->second.get() : nullptr;
  }

  // Glyphs shown with no text, by font resource name, in the order fonts first lack one.
  std::vector<std::pair<std::string, std::size_t>> without_text;

  std::size_t count_glyphs_without_text(const std::string& font, const std::string& text,
                                        const std::vector<std::uint32_t>& starts) {
    std::size_t empty = 0;
    for (std::size_t i = 0; i < starts.size(); ++i) {
      const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
      empty += end <= starts[i];
    }
    if (empty == 0) return 0;
    for (auto& [name, count] : without_text) {
      if (name == font) {
        count += empty;
        return empty;
      }
    }
    without_text.emplace_back(font, empty);
    return empty;
  }

  // Recovery: glyphs that give no text still take their room on the page (a space glyph
  // a font's maps leave out). One wider than a word gap, before, between or after the
  // run's words, is a word break and becomes one space; the run's origin stays where it
  // was drawn. A run with no text at all stays empty. `glyph_starts` follows the text.
  void space_blank_glyphs(TextRun& run, const std::vector<double>& advances, const Matrix& p, double tfs) {
    if (run.text.empty()) return;
    const double scale = hypot_of(p.a, p.b);
    const double gap = 0.2 * fmax_of(std::fabs(tfs) * hypot_of(p.c, p.d), 1.0);
    std::string text;
    std::vector<std::uint32_t> starts;
    text.reserve(run.text.size() + 8);
    for (std::size_t i = 0; i < glyph_starts.size() && i < advances.size(); ++i) {
      const std::size_t begin = glyph_starts[i];
      const std::size_t end = i + 1 < glyph_starts.size() ? glyph_starts[i + 1] : run.text.size();
      if (end > begin) {
        starts.push_back(static_cast<std::uint32_t>(text.size()));
        text.append(run.text, begin, end - begin);
        continue;
      }
      const bool after_space = text.empty() ? false : text.back() == ' ';
      const bool before_space = end < run.text.size() && run.text[end] == ' ';
      if (advances[i] * scale > gap && !after_space && !before_space) {
        starts.push_back(static_cast<std::uint32_t>(text.size()));
        text += ' ';
      }
    }
    run.text = std::move(text);
    glyph_starts = std::move(starts);
  }

  // Recovery: character spacing (Tc) wider than a word gap sets each glyph apart from the
  // next, as spaced-out letters are drawn ("H e l l o"): a space goes between glyphs that
  // are not spaces, as a glyph of its own. A negative size mirrors the glyphs, so the
  // spacing that parts them has the other sign; in vertical writing glyphs advance down,
  // so a negative Tc is the one that parts them (and the horizontal scale plays no part).
  // `glyph_starts` follows the text.
  void space_letters(TextRun& run, const TextState& ts, bool vertical) {
    const double along = vertical ? -ts.tc : ts.tc * ts.th;
    const double spacing = ts.tfs < 0 ? -along : along;
    if (!(spacing > 0.15 * std::fabs(ts.tfs)) || glyph_starts.size() < 2) return;
    std::string text;
    std::vector<std::uint32_t> starts;
    text.reserve(run.text.size() + glyph_starts.size());
    starts.reserve(glyph_starts.size());
    for (std::size_t i = 0; i < glyph_starts.size(); ++i) {
      const std::size_t begin = glyph_starts[i];
      const std::size_t end = i + 1 < glyph_starts.size() ? glyph_starts[i + 1] : run.text.size();
      const bool space = end > begin && run.text[begin] == ' ';
      if (end > begin && !space && !text.empty() && text.back() != ' ') {
        starts.push_back(static_cast<std::uint32_t>(text.size()));
        text += ' ';
      }
      starts.push_back(static_cast<std::uint32_t>(text.size()));
      text.append(run.text, begin, end - begin);
    }
    run.text = std::move(text);
    glyph_starts = std::move(starts);
  }

  // Recovery: a string whose text is only spaces and that takes no room (a zero-width
  // mark glyph that a ToUnicode map calls a space, drawn inside a word) parts nothing and
  // is not a run.
  static bool is_weightless_space(const TextRun& run, double tfs) {
    return !run.text.empty() && run.text.find_first_not_of(' ') == std::string::npos &&
           std::fabs(run.width) <= 0.01 * std::fabs(tfs);
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
    bool weightless = false;
    run.x = ts.ts * p.c + p.e;
    run.y = ts.ts * p.d + p.f;
    if (ts.current != nullptr) {
      if (keep_glyph_starts) {
        glyph_starts.clear();
        run.width = decode_and_measure(*ts.current, bytes, ts.tc, ts.tw, ts.tfs, ts.th, run.text, &glyph_starts);
        // The name by reference: a copy per string shown would cost its length each time.
        static const std::string kNoFont;
        const std::string& font = ts.font != nullptr ? *ts.font : kNoFont;
        if (count_glyphs_without_text(font, run.text, glyph_starts) > 0) {
          space_blank_glyphs(run, glyph_advances(*ts.current, bytes, ts.tc, ts.tw, ts.tfs, ts.th), p, ts.tfs);
        }
        space_letters(run, ts, ts.current->vertical_advance != 0.0);
        if (has_multi_character_glyph(run.text, glyph_starts)) run.glyph_starts = glyph_starts;
        weightless = ts.current->vertical_advance == 0.0 && is_weightless_space(run, ts.tfs);
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
    run.page_size = ts.tfs * hypot_of(p.c, p.d);
    run.end_y = run.y + run.width * p.b;
    run.quarter_turns = quarter_turns_of(p.a, p.b);
    run.flat = p.a * p.d - p.b * p.c == 0.0;
    if (ts.current != nullptr) {
      const FontFace& face = ts.current->face;
      run.bold = face.bold;
      run.italic = face.italic;
      run.ascent = face.ascent * run.page_size;
      run.descent = face.descent * run.page_size;
    }
    if (ts.current != nullptr && ts.current->vertical_advance != 0.0) {
      // Vertical writing: the glyphs move along the text space's y axis, so the run
      // reads down its column (and the next string starts below it).
      const double glyphs = static_cast<double>(count_codes(*ts.current, bytes));
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
    if (!weightless) runs.push_back(std::move(run));
  }

  // "TJ": strings shown, numbers moving the text matrix back by thousandths of an em.
  void show_array(const Object& operand, const GraphicsState& gs) {
    const Array* arr = operand.as_array();
    if (arr == nullptr) return;
    const TextState& ts = gs.text;
    for (const Object& e : *arr) {
      if (const auto* s = e.as_string()) {
        show(s->bytes, gs);
      } else if (auto n = e.as_number()) {
        if (ts.current != nullptr && ts.current->vertical_advance != 0.0) {
          // In vertical writing the adjustment moves along y, unscaled by Th.
          const double ty = (-*n / 1000.0) * ts.tfs;
          tm.e += ty * tm.c;
          tm.f += ty * tm.d;
          continue;
        }
        const double tx = (-*n / 1000.0) * ts.tfs * ts.th;
        tm.e += tx * tm.a;
        tm.f += tx * tm.b;
      }
    }
  }
};

TextInterpreter::TextInterpreter(const SharedFontMap& fonts) : state_(std::make_unique<State>()) {
  state_->fonts = &fonts;
}
TextInterpreter::~TextInterpreter() = default;

std::vector<TextRun> TextInterpreter::take_runs() {
  end_replacement();
  return std::move(state_->runs);
}

void TextInterpreter::add_run(TextRun run) { state_->runs.push_back(std::move(run)); }

void TextInterpreter::keep_glyph_starts(bool keep) { state_->keep_glyph_starts = keep; }

const std::vector<std::pair<std::string, std::size_t>>& TextInterpreter::glyphs_without_text() const {
  return state_->without_text;
}

const SharedFontMap* TextInterpreter::use_fonts(const SharedFontMap* fonts) {
  return std::exchange(state_->fonts, fonts);
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

// "q", "Q" and "cm" are the walker's; operators not listed are not the interpreter's.
void TextInterpreter::apply_text(const ContentOp& op, GraphicsState& gs) {
  State& st = *state_;
  TextState& ts = gs.text;
  const auto& args = op.operands;
  switch (op.op) {
    case Operator::NextLineShowText:
      st.move_line(0, -ts.tl);
      if (!args.empty()) {
        if (const auto* s = args[0].as_string()) st.show(s->bytes, gs);
      }
      return;
    case Operator::NextLineSpacedShowText:
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
    case Operator::BeginText:
      st.tm = st.tlm = Matrix{};
      return;
    case Operator::MoveText:
      st.move_line(number_at(args, 0), number_at(args, 1));
      return;
    case Operator::MoveTextSetLeading: {
      const double ty = number_at(args, 1);
      ts.tl = -ty;
      st.move_line(number_at(args, 0), ty);
      return;
    }
    case Operator::SetTextMatrix:
      st.tm = st.tlm = matrix_from(args);
      return;
    case Operator::NextLine:
      st.move_line(0, -ts.tl);
      return;
    case Operator::SetFont:
      if (!args.empty()) {
        if (const auto* n = args[0].as_name()) {
          ts.font = st.intern(n->text);
        }
      }
      ts.current = st.find_font(ts.font != nullptr ? *ts.font : std::string());
      ts.tfs = number_at(args, 1);
      return;
    case Operator::SetCharSpacing:
      ts.tc = number_at(args, 0);
      return;
    case Operator::SetWordSpacing:
      ts.tw = number_at(args, 0);
      return;
    case Operator::SetHorizontalScaling:
      ts.th = number_at(args, 0) / 100.0;
      return;
    case Operator::SetLeading:
      ts.tl = number_at(args, 0);
      return;
    case Operator::SetRise:
      ts.ts = number_at(args, 0);
      return;
    case Operator::ShowText:
      if (!args.empty()) {
        if (const auto* s = args[0].as_string()) st.show(s->bytes, gs);
      }
      return;
    case Operator::ShowTextArray:
      if (!args.empty()) st.show_array(args[0], gs);
      return;
    default:
      return;
  }
}

}  // namespace folioscan
