// Image blocks placed among a page's text blocks.
#include "image_blocks.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace folioscan {
namespace {

// An image narrower or lower than this (in points) is a spacer or a rule, not a figure.
constexpr double kSmallestImage = 4.0;
// An image covering this share of the page or more is its background (or its scan).
constexpr double kBackgroundShare = 0.8;

std::array<double, 4> normalised(const std::array<double, 4>& box) {
  return {std::fmin(box[0], box[2]), std::fmin(box[1], box[3]), std::fmax(box[0], box[2]), std::fmax(box[1], box[3])};
}

bool overlaps_horizontally(const std::array<double, 4>& a, const std::array<double, 4>& b) {
  return a[0] < b[2] && b[0] < a[2];
}

// Whether a reader meets the image before `block`: the block starts below the image's
// top in the image's columns.
bool comes_before(const std::array<double, 4>& image, const Block& block) {
  const auto box = normalised(block.bbox);
  return overlaps_horizontally(image, box) && box[3] <= image[3];
}

}  // namespace

bool figure_sized(const std::array<double, 4>& box, const std::array<double, 4>& media_box, bool page_has_text) {
  const auto page = normalised(media_box);
  const double page_area = (page[2] - page[0]) * (page[3] - page[1]);
  const double width = box[2] - box[0];
  const double height = box[3] - box[1];
  if (!(width >= kSmallestImage && height >= kSmallestImage)) return false;
  if (box[2] <= page[0] || box[0] >= page[2] || box[3] <= page[1] || box[1] >= page[3]) return false;
  const double inside = (std::fmin(box[2], page[2]) - std::fmax(box[0], page[0])) *
                        (std::fmin(box[3], page[3]) - std::fmax(box[1], page[1]));
  return !(page_has_text && page_area > 0 && inside >= kBackgroundShare * page_area);
}

void place_image_blocks(std::vector<Block>& blocks, std::span<const PlacedImage> images,
                        const std::array<double, 4>& media_box) {
  if (images.empty()) return;
  const bool has_text = std::any_of(blocks.begin(), blocks.end(), [](const Block& b) { return !b.text.empty(); });
  // Top to bottom, then left to right, so that images placed before one block keep
  // their own order.
  std::vector<PlacedImage> kept;
  for (const PlacedImage& placed : images) {
    const auto box = normalised(placed.bbox);
    if (figure_sized(box, media_box, has_text)) kept.push_back({placed.image, box});
  }
  std::stable_sort(kept.begin(), kept.end(), [](const PlacedImage& a, const PlacedImage& b) {
    return a.bbox[3] != b.bbox[3] ? a.bbox[3] > b.bbox[3] : a.bbox[0] < b.bbox[0];
  });
  // Each image's place among the text blocks; the images are then merged in, so the
  // cost is the blocks times the images (both bounded per page).
  std::vector<std::size_t> place(kept.size(), blocks.size());
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const auto& image = kept[k].bbox;
    std::size_t first_below = blocks.size();
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      if (comes_before(image, blocks[i])) {
        first_below = i;
        break;
      }
    }
    // Blocks read between the last block above the image (in its columns) and that
    // one, all of them below the image (a label beside its lower edge, a caption set
    // left of it), come after it; any beside it (another column) come before.
    std::size_t after_above = 0;
    for (std::size_t i = 0; i < first_below; ++i) {
      const auto box = normalised(blocks[i].bbox);
      if (overlaps_horizontally(image, box) && box[1] >= image[3]) after_above = i + 1;
    }
    bool all_below = true;
    for (std::size_t i = after_above; i < first_below && all_below; ++i) {
      all_below = normalised(blocks[i].bbox)[3] <= image[1];
    }
    place[k] = all_below ? after_above : first_below;
  }
  std::vector<Block> out;
  out.reserve(blocks.size() + kept.size());
  std::vector<std::size_t> order(kept.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return place[a] < place[b]; });
  std::size_t next = 0;
  for (std::size_t i = 0; i <= blocks.size(); ++i) {
    for (; next < order.size() && place[order[next]] == i; ++next) {
      Block block;
      block.type = BlockType::Image;
      block.bbox = kept[order[next]].bbox;
      block.image = kept[order[next]].image;
      out.push_back(std::move(block));
    }
    if (i < blocks.size()) out.push_back(std::move(blocks[i]));
  }
  blocks = std::move(out);
}

}  // namespace folioscan
