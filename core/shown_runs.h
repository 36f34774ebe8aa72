// Recovery's choice of the runs a viewer shows: text drawn wholly off the page, through a
// singular matrix, or again over itself is left out, in one pass over the page's runs
// before layout.
#pragma once

#include <array>
#include <vector>

#include "content/text_run.h"

namespace folioscan {

// The runs of `runs` a viewer shows, in content order, pointing into `runs`: none that
// lies wholly outside the media box, none shown through a singular matrix, and of text
// drawn twice at nearly the same place only the first.
std::vector<const TextRun*> shown_runs(const std::vector<TextRun>& runs, const std::array<double, 4>& media_box);

}  // namespace folioscan
