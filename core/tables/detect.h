// Recovery's table detection: every ruled grid of a page that holds a table, then
// tables set without rules, found from the alignment of their words.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "../content/text_run.h"
#include "../model.h"
#include "segments.h"

namespace folioscan {

// The page's tables, top to bottom, each with its box; `segments` are the page's
// painted rules (see RuleCollector), `shown` the runs a viewer shows.
std::vector<Table> detect_tables_recovering(std::vector<Segment> segments, std::span<const TextRun* const> shown,
                                            const std::array<double, 4>& media_box);

}  // namespace folioscan
