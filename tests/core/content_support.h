// Test-only ways into page content: the operations of a content stream as one list, the
// text interpreter and table detection run over such a list, and fonts that are not
// shared through a cache. The driver never collects operations; it visits them.
#pragma once

#include <memory>
#include <vector>

#include "agl/font.h"
#include "content/interpreter.h"
#include "content/tokenizer.h"
#include "content/walker.h"
#include "model.h"
#include "tables.h"

namespace folioscan {

inline std::vector<ContentOp> tokenize_content(ByteView content) {
  std::vector<ContentOp> ops;
  for_each_content_op(content, [&](const ContentOp& op) { ops.push_back(op); });
  return ops;
}

// The fonts of `fonts` as a shared map that borrows them (no pointer owns its font).
inline SharedFontMap borrow_fonts(const FontMap& fonts) {
  SharedFontMap shared;
  for (const auto& [name, font] : fonts) shared.emplace(name, std::shared_ptr<const Font>(std::shared_ptr<const Font>(), &font));
  return shared;
}

// The strict reading's walk over collected operations.
inline std::vector<TextRun> interpret_content(const std::vector<ContentOp>& ops, const SharedFontMap& fonts) {
  GraphicsWalker walker;
  TextInterpreter interpreter(fonts);
  for (const ContentOp& op : ops) walker.apply(op, interpreter);
  return interpreter.take_runs();
}

inline std::vector<TextRun> interpret_content(const std::vector<ContentOp>& ops, const FontMap& fonts) {
  return interpret_content(ops, borrow_fonts(fonts));
}

// The strict reading's rules of collected operations, filled with `runs`.
inline std::vector<Table> detect_tables(const std::vector<ContentOp>& ops, const std::vector<TextRun>& runs) {
  GraphicsWalker walker;
  RuleCollector rules;
  for (const ContentOp& op : ops) walker.apply(op, rules);
  return detect_tables(rules.take(), runs);
}

}  // namespace folioscan
