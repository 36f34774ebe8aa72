// The text interpreter: fed the operations of a content walk, it turns each string a
// text-showing operator shows into a positioned run.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../agl/font.h"
#include "operation.h"
#include "text_run.h"

namespace folioscan {

struct GraphicsState;

// The text interpreter, fed one operation at a time with the walk's graphics state
// (see walker.h), which holds the CTM and the text parameters; the text matrices and
// the runs are its own.
class TextInterpreter {
 public:
  explicit TextInterpreter(const SharedFontMap& fonts);  // borrowed for the interpreter's life
  explicit TextInterpreter(SharedFontMap&&) = delete;
  ~TextInterpreter();
  TextInterpreter(const TextInterpreter&) = delete;
  TextInterpreter& operator=(const TextInterpreter&) = delete;

  // Inline: every operation of every page passes here, and many are not text operators.
  void apply(const ContentOp& op, GraphicsState& gs) {
    if (is_text_operator(op.op)) apply_text(op, gs);
  }
  std::vector<TextRun> take_runs();

  // The fonts "Tf" looks names up in from now on (a form's own resources); borrowed.
  // Returns the map used until now.
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
  // With glyph boundaries kept: how many glyphs each font (by resource name) showed that
  // gave no text, for fonts that showed any.
  const std::vector<std::pair<std::string, std::size_t>>& glyphs_without_text() const;

 private:
  void apply_text(const ContentOp& op, GraphicsState& gs);

  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace folioscan
