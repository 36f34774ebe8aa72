// Text layout: sorts the page's runs top to bottom and left to right, groups them into
// lines by baseline, joins each line's texts with a space at wide gaps, and measures the
// page box.
#include "layout.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace folioscan {
namespace {

// Greater y first, then smaller x, else content order (the sort is stable). Extreme
// content can put NaN in positions; a comparison that treated NaN as "equal" to every
// number would not be a strict weak ordering, so NaN is ordered after all numbers on
// each key instead. Without NaN this is exactly "greater y, then smaller x".
bool reads_before(const TextRun* a, const TextRun* b) {
  const bool a_y_nan = std::isnan(a->y);
  const bool b_y_nan = std::isnan(b->y);
  if (a_y_nan != b_y_nan) return b_y_nan;
  if (!a_y_nan && a->y != b->y) return a->y > b->y;
  const bool a_x_nan = std::isnan(a->x);
  const bool b_x_nan = std::isnan(b->x);
  if (a_x_nan != b_x_nan) return b_x_nan;
  if (!a_x_nan && a->x != b->x) return a->x < b->x;
  return false;
}

TextLine build_line(std::span<const TextRun* const> group) {
  const TextRun& first = *group.front();
  // Sized once: every text plus at most one space before each later run.
  std::size_t length = 0;
  for (const TextRun* run : group) length += run->text.size() + 1;
  TextLine line{{}, first.x, first.y};
  line.text.reserve(length);
  line.text = first.text;
  double previous_x = first.x;
  double previous_end = first.end_x;
  for (const TextRun* run : group.subspan(1)) {
    // Distances are all in page space. A run left of the previous one can only sit on
    // another baseline of the group (a neighbouring table column, say): its negative gap
    // does not make it part of the previous word.
    const bool apart = run->x - previous_end > word_gap_threshold(*run) || run->x < previous_x;
    if (apart && (line.text.empty() || line.text.back() != ' ') &&
        (run->text.empty() || run->text.front() != ' ')) {
      line.text += ' ';
    }
    line.text += run->text;
    previous_x = run->x;
    previous_end = run->end_x;
  }
  return line;
}

}  // namespace

LayoutResult layout_lines(const std::vector<TextRun>& runs, const std::array<double, 4>& media_box) {
  LayoutResult result;
  result.width = std::fabs(media_box[2] - media_box[0]);
  result.height = std::fabs(media_box[3] - media_box[1]);

  std::vector<const TextRun*> order;
  order.reserve(runs.size());
  for (const TextRun& run : runs) order.push_back(&run);
  // Most producers already draw in reading order; a stable sort of sorted input leaves
  // it as it is, so the check alone decides.
  if (!std::is_sorted(order.begin(), order.end(), reads_before)) {
    std::stable_sort(order.begin(), order.end(), reads_before);
  }

  // A line collects runs whose baseline is within the tolerance of its first run's
  // baseline (not the previous run's), so a slow drift does not chain lines together.
  std::size_t group_start = 0;
  for (std::size_t i = 1; i < order.size(); ++i) {
    const TextRun& first = *order[group_start];
    const TextRun& run = *order[i];
    if (std::fabs(first.y - run.y) > baseline_tolerance(first, run)) {
      result.lines.push_back(build_line(std::span(order).subspan(group_start, i - group_start)));
      group_start = i;
    }
  }
  if (!order.empty()) {
    result.lines.push_back(build_line(std::span(order).subspan(group_start)));
  }
  return result;
}

}  // namespace folioscan
