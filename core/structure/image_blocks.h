// Image blocks of a recovered page: each painted image that the page lists, placed
// among the page's blocks where a reader meets it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "../model.h"

namespace folioscan {

struct PlacedImage {
  std::uint32_t image = 0;       // index in the page's "images"
  std::array<double, 4> bbox{};  // x0, y0, x1, y1 in page space
};

// Inserts an image block for each of `images` into `blocks` (in reading order): before
// the first block below the image's top that shares its horizontal extent (else after
// the others), or earlier, right after the last block above it, when every block read
// in between lies below the image. Left out: images smaller than a few points either way (spacers, rules
// drawn as images), images wholly off the page, and a background covering most of a
// page that has text.
void place_image_blocks(std::vector<Block>& blocks, std::span<const PlacedImage> images,
                        const std::array<double, 4>& media_box);

// Whether an image with box `box` (normalised) is one that stands among the page's
// blocks: neither a spacer or rule a few points wide or high, nor wholly off the page,
// nor (when the page has text) a background covering most of it.
bool figure_sized(const std::array<double, 4>& box, const std::array<double, 4>& media_box, bool page_has_text);

}  // namespace folioscan
