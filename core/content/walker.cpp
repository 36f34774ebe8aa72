// The graphics state of a content walk: "q", "Q" and "cm".
#include "walker.h"

#include "../input_limits.h"

namespace folioscan {
void GraphicsWalker::concat_operands(const ContentOp& op) {
  state_.ctm = multiply(matrix_from(op.operands), state_.ctm);
}

void GraphicsWalker::save() {
  if (depth_ < limits::kMaxCtmStack) {
    if (depth_ == saved_.size()) saved_.emplace_back();
    if (full_state_) {
      saved_[depth_] = state_;
    } else {
      saved_[depth_].ctm = state_.ctm;
    }
  }
  ++depth_;
}

void GraphicsWalker::restore() {
  if (depth_ <= floor_) return;
  --depth_;
  if (depth_ >= limits::kMaxCtmStack) return;
  if (full_state_) {
    state_ = saved_[depth_];
  } else {
    state_.ctm = saved_[depth_].ctm;
  }
}

GraphicsWalker::Mark GraphicsWalker::enter() {
  Mark mark{state_, depth_, floor_};
  floor_ = depth_;
  return mark;
}

void GraphicsWalker::leave(Mark mark) {
  state_ = std::move(mark.state);
  depth_ = mark.depth;
  floor_ = mark.floor;
}

}  // namespace folioscan
