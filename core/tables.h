// Ruled-table detection: one grid per page from horizontal and vertical strokes,
// filled with the page's text runs.
#pragma once

#include <vector>

#include "content.h"
#include "model.h"

namespace folioscan {

std::vector<Table> detect_tables(const std::vector<ContentOp>& ops, const std::vector<TextRun>& runs);

}  // namespace folioscan
