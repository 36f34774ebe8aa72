// Recovery's tables set without a grid: text standing in three or more columns over three
// or more rows with white gutters between them, or in two or more between horizontal
// rules (drawn rules, or the edges of filled boxes behind a table).
#pragma once

#include <array>
#include <span>
#include <vector>

#include "../content/text_run.h"
#include "../model.h"
#include "segments.h"

namespace folioscan {

// The rule-less tables among `runs` (the runs a viewer shows outside ruled tables),
// each with its box; `horizontal` are the page's horizontal rules outside ruled tables,
// the edges of filled boxes among them (Segment::weak).
std::vector<Table> detect_ruleless_tables(std::span<const TextRun* const> runs, const std::vector<Segment>& horizontal,
                                          const std::array<double, 4>& media_box);

}  // namespace folioscan
