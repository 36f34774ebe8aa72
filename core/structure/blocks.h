// A recovered page's structure: its line pieces put in reading order, joined into
// lines again where no gutter parts them, and the lines grouped into blocks
// (paragraphs, list items) with the page's placed tables where they stand. Headings are
// marked afterwards across the document (headings.h).
#pragma once

#include <array>
#include <span>
#include <vector>

#include "../content/text_run.h"
#include "../layout.h"
#include "../model.h"
#include "headings.h"

namespace folioscan {

struct PageStructure {
  std::vector<TextLine> lines;  // column-aware, in reading order
  std::vector<Block> blocks;
  PageStyles styles;
};

// The runs of `shown` whose centre lies inside none of the boxes of `tables`: the
// text of a placed table leaves the page's lines.
std::vector<const TextRun*> runs_outside_tables(std::span<const TextRun* const> shown, std::span<const Table> tables);

// Counts into `sizes` the characters of the runs of `shown` that `flowing` (taken from
// it in order) left out: a placed table's text is body text too.
void count_table_text(SizeCounts& sizes, std::span<const TextRun* const> shown,
                      std::span<const TextRun* const> flowing);

// `layout` is recovery's layout of the page's shown runs (with `line_runs`); `tables`
// the page's tables, of which those with a box become blocks. `images` are the boxes of
// the images painted on the page: a figure that no text is drawn over takes up room
// that reading order cuts around (so that a figure across a column gutter parts the
// columns above it from those below), though it becomes no block here.
PageStructure structure_page(const LayoutResult& layout, std::span<const Table> tables,
                             const std::array<double, 4>& media_box,
                             std::span<const std::array<double, 4>> images = {});

}  // namespace folioscan
