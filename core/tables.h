// Ruled-table detection: one grid per page from horizontal and vertical strokes,
// filled with the page's text runs.
#pragma once

#include <memory>
#include <vector>

#include "content.h"
#include "model.h"

namespace folioscan {

// The strokes of a page's path operations, fed one operation at a time.
class RuleCollector {
 public:
  RuleCollector();
  ~RuleCollector();
  RuleCollector(RuleCollector&&) noexcept;

  void apply(const ContentOp& op);

 private:
  friend std::vector<Table> detect_tables(RuleCollector rules, const std::vector<TextRun>& runs);
  struct State;
  std::unique_ptr<State> state_;
};

std::vector<Table> detect_tables(RuleCollector rules, const std::vector<TextRun>& runs);
std::vector<Table> detect_tables(const std::vector<ContentOp>& ops, const std::vector<TextRun>& runs);

}  // namespace folioscan
