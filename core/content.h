// Page content: gathering the content streams, cutting them into operations, and the
// interpreter that turns text-showing operations into positioned runs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "agl/font.h"
#include "cos/object.h"
#include "error.h"

namespace folioscan {

struct OpenDocument;
struct PageRecord;

struct ContentOp {
  std::vector<Object> operands;
  std::array<char, 4> op{};  // the keyword's first (at most) 4 bytes
  std::uint8_t op_len = 0;
  std::string_view name() const { return {op.data(), op_len}; }
};

struct TextRun {
  std::string text;
  std::string font;
  double x = 0.0;  // origin in page space
  double y = 0.0;
  double width = 0.0;      // advance in unscaled text space
  double font_size = 0.0;  // Tfs as set by "Tf"
  // The same two in page space, for comparing runs with each other: the x of the
  // string's end point, and the font size scaled by the matrices' vertical axis.
  double end_x = 0.0;
  double page_size = 0.0;
  // Where the text runs to on the page: the y of the end point, and the quarter turn
  // nearest to the direction of the baseline (0 left to right, 1 upwards, 2 right to
  // left, 3 downwards). Recovery's layout reads rotated text along its own baseline.
  double end_y = 0.0;
  std::uint8_t quarter_turns = 0;
  // Shown through a singular matrix: the glyphs have no area on the page.
  bool flat = false;
  // Recovery only: the offset in `text` where each glyph's text starts, kept when some
  // glyph gives several characters (a ligature, or a word a font maps one glyph to),
  // so that putting right-to-left text in logical order moves glyphs whole. Empty:
  // each character is a glyph of its own.
  std::vector<std::uint32_t> glyph_starts = {};
};

// A 2D affine matrix [a b c d e f], row-vector convention.
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};
// m × n (apply m first, then n).
Matrix multiply(const Matrix& m, const Matrix& n);
// The six operands of "cm" or "Tm"; a missing or non-numeric one keeps the identity's value.
Matrix matrix_from(const std::vector<Object>& operands);

// Content (of pages and forms) one call may interpret: doc.content_bytes counts it.
std::uint64_t content_budget(const OpenDocument& doc);
[[nodiscard]] Result<Bytes> gather_page_content(OpenDocument& doc, const PageRecord& page);
// Calls `visit` with each operation in content order; an operation lives only for the
// call. The page driver feeds them straight to the interpreter and the rule collector,
// so a page of millions of operations never holds them all.
// In recovery an inline image ends where its data does (its size, or the end of its
// ASCII encoding), not at the first bytes "EI" inside it; gives how many inline images
// were read so (always 0 in the strict reading).
std::size_t for_each_content_op(ByteView content, const std::function<void(const ContentOp&)>& visit,
                                bool recover = false);
std::vector<ContentOp> tokenize_content(ByteView content);

struct GraphicsState;

// The text interpreter, fed one operation at a time with the walk's graphics state
// (see walker.h), which holds the CTM and the text parameters; the text matrices and
// the runs are its own.
class TextInterpreter {
 public:
  explicit TextInterpreter(const FontMap& fonts);  // borrowed for the interpreter's life
  explicit TextInterpreter(const SharedFontMap& fonts);  // likewise
  explicit TextInterpreter(FontMap&&) = delete;
  explicit TextInterpreter(SharedFontMap&&) = delete;
  ~TextInterpreter();
  TextInterpreter(const TextInterpreter&) = delete;
  TextInterpreter& operator=(const TextInterpreter&) = delete;

  void apply(const ContentOp& op, GraphicsState& gs);
  std::vector<TextRun> take_runs();

  // The fonts "Tf" looks names up in from now on (a form's own resources); borrowed.
  // Returns the map used until now, null when it was the constructor's.
  const SharedFontMap* use_fonts(const SharedFontMap* fonts);

  // Replacement text (marked content's /ActualText): the runs shown from begin to end
  // become one run with `text`, at the first run's origin and ending where the last
  // ends; with no run between them nothing is added. Replacements do not nest: a begin
  // while one is open is ignored and returns false.
  bool begin_replacement(std::string text);
  void end_replacement();

  // A run shown by the reader rather than by content (a form field's value).
  void add_run(TextRun run);

  // Recovery: runs keep their glyphs' boundaries (TextRun::glyph_starts).
  void keep_glyph_starts(bool keep);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

std::vector<TextRun> interpret_content(const std::vector<ContentOp>& ops, const FontMap& fonts);
// The same with fonts shared through a FontCache.
std::vector<TextRun> interpret_content(const std::vector<ContentOp>& ops, const SharedFontMap& fonts);

}  // namespace folioscan
