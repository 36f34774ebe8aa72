// Headings across a document: a short block set larger than the body text, or bold at
// body size, or numbered and set apart, is a heading; levels come from the distinct
// heading sizes of the document, largest first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "../model.h"

namespace folioscan {

// What heading detection reads of a block, beside its text.
struct BlockStyle {
  double size = 0.0;  // the size most of its characters have
  bool bold = false;  // most of its characters are bold
  std::uint32_t lines = 0;
  // The distance from the baseline of the block read before it (in the same column) to
  // its own first baseline, in its size; large when nothing stands above it.
  double space_above = 1e9;
  // Within the top or bottom margin band of the page, where running headers and page
  // numbers stand.
  bool in_margin = false;
  // One line within the top or bottom eighth of the page.
  bool near_margin = false;
  // Some line of it is three or more pieces apart by wide gaps, as table cells are.
  bool gapped = false;
};

// Characters by text size (sizes rounded to a quarter point).
using SizeCounts = std::vector<std::pair<double, std::size_t>>;

void count_size(SizeCounts& counts, double size, std::size_t characters);
// The size with the most characters; 0 for no characters.
double body_size(const SizeCounts& counts);

// The page's blocks and their styles, as structure found them.
struct PageStyles {
  std::vector<BlockStyle> blocks;  // parallel to the page's blocks
  SizeCounts sizes;
};

// Turns the paragraph and numbered list-item blocks that read as headings into
// headings and gives every heading its level. `styles[i]` belongs to `pages[i]`;
// pages without blocks are skipped.
void mark_headings(std::span<Page> pages, std::span<const PageStyles> styles);

}  // namespace folioscan
