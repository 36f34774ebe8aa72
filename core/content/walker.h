// The graphics state of a content walk: one owner for the CTM, the text state and the
// save stack, handing each operation with that state to the consumers (the text
// interpreter and the rule collector).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "../matrix.h"
#include "operation.h"

namespace folioscan {

struct Font;

// The text parameters that "q"/"Q" save with the CTM. The text matrices are not part
// of it: they live from "BT" to "ET" and belong to the interpreter.
struct TextState {
  double tfs = 0, tc = 0, tw = 0, th = 1.0, tl = 0, ts = 0;
  std::shared_ptr<const std::string> font;  // shared with the runs; see TextRun::font
  const Font* current = nullptr;  // the font `font` names in the current resources, if any
};

struct GraphicsState {
  Matrix ctm;
  TextState text;
};

// Owns the state and applies "q", "Q" and "cm" itself before handing each operation
// to the consumers, each of which has `apply(const ContentOp&, GraphicsState&)`. With
// `full_state` (the recovering reading) a save keeps the whole state; without it only
// the CTM, as the strict reading always has.
class GraphicsWalker {
 public:
  explicit GraphicsWalker(bool full_state = false) : full_state_(full_state) {}

  template <typename... Consumers>
  void apply(const ContentOp& op, Consumers&... consumers) {
    update(op);
    (consumers.apply(op, state_), ...);
  }

  GraphicsState& state() { return state_; }
  const GraphicsState& state() const { return state_; }

  // A nested content stream (a form, an appearance) runs between enter and leave: its
  // "Q" cannot pop what was saved before it, and leave puts back the whole state and
  // save depth of enter however the stream ends.
  struct Mark {
    GraphicsState state;
    std::size_t depth = 0;
    std::size_t floor = 0;
  };
  Mark enter();
  void leave(Mark mark);

 private:
  // Inline: every operation of every page passes here.
  void update(const ContentOp& op) {
    switch (op.op) {
      case Operator::Save:
        save();
        break;
      case Operator::Restore:
        restore();
        break;
      case Operator::Concat:
        concat_operands(op);
        break;
      default:
        break;
    }
  }
  void concat_operands(const ContentOp& op);
  void save();
  void restore();

  bool full_state_;
  GraphicsState state_;
  // Saves past kMaxCtmStack are counted in `depth_` but not stored, so each "Q" still
  // matches its "q"; the state of such a deep save cannot be restored and stays.
  // Slots are assigned, not pushed, so a stack that has grown once costs no allocation.
  std::vector<GraphicsState> saved_;
  std::size_t depth_ = 0;
  std::size_t floor_ = 0;
};

}  // namespace folioscan
