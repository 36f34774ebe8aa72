// Recovery's tables set without rules: text standing in three or more columns over three
// or more rows, the columns' edges lined up and the gutters between them steady.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "../content/text_run.h"
#include "../model.h"

namespace folioscan {

// The rule-less tables among `runs` (the runs a viewer shows outside ruled tables),
// each with its box.
std::vector<Table> detect_ruleless_tables(std::span<const TextRun* const> runs, const std::array<double, 4>& media_box);

}  // namespace folioscan
