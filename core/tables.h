// Ruled-table detection: one grid per page from horizontal and vertical strokes,
// filled with the page's text runs.
#pragma once

#include <memory>
#include <vector>

#include "content/operation.h"
#include "content/text_run.h"
#include "model.h"

namespace folioscan {

struct GraphicsState;

// The strokes of a page's path operations, fed one operation at a time with the walk's
// graphics state (see walker.h). With `painted_only` (the recovering reading) only
// painted paths give strokes; else every path does.
class RuleCollector {
 public:
  explicit RuleCollector(bool painted_only = false);
  ~RuleCollector();
  RuleCollector(RuleCollector&&) noexcept;

  void apply(const ContentOp& op, const GraphicsState& gs);

 private:
  friend std::vector<Table> detect_tables(RuleCollector rules, const std::vector<TextRun>& runs);
  struct State;
  std::unique_ptr<State> state_;
};

std::vector<Table> detect_tables(RuleCollector rules, const std::vector<TextRun>& runs);
std::vector<Table> detect_tables(const std::vector<ContentOp>& ops, const std::vector<TextRun>& runs);

}  // namespace folioscan
