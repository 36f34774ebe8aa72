// Recovery's choice of the runs a viewer shows: a run is left out when its glyphs have
// no area (a singular matrix), when its box lies wholly outside the media box, or when
// it repeats an earlier run of the same text at nearly the same place.
#include "shown_runs.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cmath>
#include <string>
#include <string_view>
#include <unordered_map>

#include "float_ops.h"

namespace folioscan {
namespace {

// Whether no part of the run's glyphs can fall on the page: the box spanned by its
// baseline, a glyph height above it and a descent below it, lies wholly outside the
// media box. NaN decides nothing, so such a run stays.
// `page` is the media box as left, bottom, right, top.
bool off_page(const TextRun& run, const std::array<double, 4>& page) {
  const double length = hypot_of(run.end_x - run.x, run.end_y - run.y);
  // The unit vector up the glyphs: the baseline's direction turned a quarter left, or
  // the quarter turn's when the run has no length.
  double ux = 0;
  double uy = 1;
  if (length > 0) {
    ux = -(run.end_y - run.y) / length;
    uy = (run.end_x - run.x) / length;
  } else if (run.quarter_turns == 1) {
    ux = -1, uy = 0;
  } else if (run.quarter_turns == 2) {
    uy = -1;
  } else if (run.quarter_turns == 3) {
    ux = 1, uy = 0;
  }
  const double size = std::fabs(run.page_size);
  const double xs[4] = {run.x - 0.3 * size * ux, run.end_x - 0.3 * size * ux, run.x + size * ux,
                        run.end_x + size * ux};
  const double ys[4] = {run.y - 0.3 * size * uy, run.end_y - 0.3 * size * uy, run.y + size * uy,
                        run.end_y + size * uy};
  const auto [min_x, max_x] = std::minmax({xs[0], xs[1], xs[2], xs[3]});
  const auto [min_y, max_y] = std::minmax({ys[0], ys[1], ys[2], ys[3]});
  return max_x < page[0] || min_x > page[2] || max_y < page[1] || min_y > page[3];
}

// The unit vector along the run's baseline: its direction, or its quarter turn's when
// the run has no length.
std::array<double, 2> baseline_direction(const TextRun& run) {
  const double length = hypot_of(run.end_x - run.x, run.end_y - run.y);
  if (length > 0) return {(run.end_x - run.x) / length, (run.end_y - run.y) / length};
  static constexpr std::array<std::array<double, 2>, 4> kTurns = {{{1, 0}, {0, 1}, {-1, 0}, {0, -1}}};
  return kTurns[run.quarter_turns & 3];
}

// Text drawn twice at nearly the same place (a bold face faked by overprinting, a form
// field's appearance over the page's own label) reads once: a run is a duplicate of an
// earlier one with the same text, direction and size when the two drawings cover most
// of each other: their origins are less than half the run's advance apart along the
// baseline (and within a fifth of the size), and within a fifth of the size across it.
// Glyphs set one after another, even closer than their advance (three dots kerned
// together), stay apart. Only the last few runs of each text are compared, so a page of
// a million dots costs no more than a constant per run.
class DuplicateFilter {
 public:
  bool seen(const TextRun& run) {
    if (run.text.empty() || run.text.find_first_not_of(' ') == std::string::npos) return false;
    Recent& earlier = by_text_[run.text];
    const auto [ux, uy] = baseline_direction(run);
    const double advance = hypot_of(run.end_x - run.x, run.end_y - run.y);
    for (std::size_t k = 0; k < earlier.count; ++k) {
      const TextRun* other = earlier.runs[k];
      const double size = fmax_of(other->page_size, run.page_size);
      if (other->quarter_turns != run.quarter_turns || std::fabs(other->page_size - run.page_size) > 0.1 * size) {
        continue;
      }
      const double dx = run.x - other->x;
      const double dy = run.y - other->y;
      const double along = std::fabs(dx * ux + dy * uy);
      const double across = std::fabs(dy * ux - dx * uy);
      const double reach = fmin_of(0.2 * size, 0.5 * fmax_of(advance, hypot_of(other->end_x - other->x,
                                                                                       other->end_y - other->y)));
      if (along <= reach && across <= 0.2 * size) return true;
    }
    // The oldest run of the text gives way to the newest.
    earlier.runs[earlier.next] = &run;
    earlier.next = static_cast<std::uint8_t>((earlier.next + 1) % kCompared);
    if (earlier.count < kCompared) ++earlier.count;
    return false;
  }

  void expect(std::size_t runs) { by_text_.reserve(runs); }

 private:
  static constexpr std::size_t kCompared = 8;
  // The last runs of one text, in a ring.
  struct Recent {
    std::array<const TextRun*, kCompared> runs{};
    std::uint8_t count = 0;
    std::uint8_t next = 0;
  };
  std::unordered_map<std::string_view, Recent> by_text_;
};

}  // namespace

std::vector<const TextRun*> shown_runs(const std::vector<TextRun>& runs, const std::array<double, 4>& media_box) {
  std::vector<const TextRun*> shown;
  shown.reserve(runs.size());
  DuplicateFilter duplicates;
  duplicates.expect(runs.size());
  // The media box's corners in order, once for all runs.
  const std::array<double, 4> page = {fmin_of(media_box[0], media_box[2]), fmin_of(media_box[1], media_box[3]),
                                      fmax_of(media_box[0], media_box[2]), fmax_of(media_box[1], media_box[3])};
  for (const TextRun& run : runs) {
    // Drawn where no reader shows it, or drawn again over itself.
    if (run.flat || off_page(run, page) || duplicates.seen(run)) continue;
    shown.push_back(&run);
  }
  return shown;
}

}  // namespace folioscan
