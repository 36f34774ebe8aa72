// Recursive white-space cuts (columns first, then rows, with rows that share a gutter
// regrouped), and the order of items inside a region that cannot be cut further.
#include "reading_order.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "../input_limits.h"

namespace folioscan {
namespace {

// A column narrower than this many units whose rows line up with its neighbour's is a
// table column, not a column of text.
constexpr double kTableColumn = 12.0;
// White space of this many units or more parts a page's first or last row from the
// rest as its running header or footer.
constexpr double kHeaderGap = 0.8;
// Lines of one side of a gutter this many units of white space apart or more, with
// lines of the other side between them, are no column.
constexpr double kScatteredGap = 1.5;
constexpr std::size_t kMaxScattered = 32;
// White space this many units wide between rows' text is a gutter whatever the width
// of the text beside it.
constexpr double kWideGutter = 4.0;
// Columns that the drawing order goes back up into, from another column, more than this
// many times per gutter (text columns drawn one after another: once) are a table's
// drawn cell by cell, row after row.
constexpr std::size_t kReturnsPerGutter = 2;
// ... and at least once per this many of their items: cells of a few lines each, not
// text columns with a few captions drawn after them.
constexpr std::size_t kItemsPerReturn = 8;

struct Interval {
  double from = 0.0;
  double to = 0.0;
};

using Ids = std::vector<std::uint32_t>;

class Cutter {
 public:
  Cutter(std::span<const CutBox> boxes, double unit, bool right_to_left)
      : boxes_(boxes),
        unit_(unit),
        min_gap_(0.4 * unit),
        wide_gap_(1.0 * unit),
        min_column_(6.0 * unit),
        right_to_left_(right_to_left) {}

  void region(Ids& ids, int depth) {
    if (ids.size() <= 1 || depth >= limits::kMaxCutDepth) {
      leaf(ids);
      return;
    }
    std::vector<Ids> bands = horizontal_bands(ids);
    if (bands.size() <= 1) {
      // One row: a wide gap inside it is no gutter unless rows above or below share it.
      leaf(ids);
      return;
    }
    if (depth == 0 && bands.size() >= 3) {
      // A running header or footer: the page's first (last) row, a page number and a
      // title or text in the page's margin, set off from the rest by white space, is
      // read on its own before (after) the columns, though it stands over one of them or
      // its two ends over different ones.
      const bool head = (running_line(bands[0]) || in_margin(bands[0])) && apart(bands[0], bands[1]);
      const bool foot =
          (running_line(bands.back()) || in_margin(bands.back())) && apart(bands[bands.size() - 2], bands.back());
      if (head || foot) {
        Ids body;
        for (std::size_t i = head ? 1 : 0; i < bands.size() - (foot ? 1 : 0); ++i) {
          body.insert(body.end(), bands[i].begin(), bands[i].end());
        }
        if (head) leaf(bands.front());
        region(body, depth + 1);
        if (foot) leaf(bands.back());
        return;
      }
    }
    std::vector<Ids> columns = vertical_split(ids, bands.size());
    if (columns.size() == 2 && (scattered(columns[0], columns[1]) || scattered(columns[1], columns[0]) ||
                                lone_row(columns[0], columns[1]) || lone_row(columns[1], columns[0]))) {
      columns.resize(1);
    }
    if (columns.size() > 1 && drawn_by_rows(columns)) {
      leaf_as_drawn(ids);
      return;
    }
    if (columns.size() > 1) {
      if (right_to_left_) std::reverse(columns.begin(), columns.end());
      for (Ids& column : columns) region(column, depth + 1);
      return;
    }
    std::vector<bool> single;
    std::vector<Ids> groups = merge_column_bands(ids, bands, single);
    for (std::size_t g = 0; g < groups.size(); ++g) {
      // A group of one row is read as a leaf, which is what cutting it would come to.
      if (single[g] || groups[g].size() == ids.size()) {
        leaf(groups[g]);
      } else {
        region(groups[g], depth + 1);
      }
    }
  }

  std::vector<ReadingPlace> take() { return std::move(out_); }

 private:
  // Whether `lines` beside `other` are no column but lines set between the other's (a
  // display equation's lead-ins "such that" at the left of centred formulas): at least
  // two, no two of them a paragraph's line apart, none on a row with one of `other`,
  // and `other` reaching both above and below the gap between some two of them.
  bool scattered(const Ids& lines, const Ids& other) const {
    // Scattered lines are few; a side of many lines is a column (and is not compared
    // line by line with the other side).
    if (lines.size() < 2 || lines.size() > kMaxScattered) return false;
    const auto same_row = [&](std::uint32_t a, std::uint32_t b) {
      return box(a).y0 < box(b).y1 && box(b).y0 < box(a).y1;
    };
    for (const std::uint32_t a : lines) {
      for (const std::uint32_t b : other) {
        if (same_row(a, b)) return false;
      }
    }
    Ids sorted = lines;
    std::sort(sorted.begin(), sorted.end(), [&](std::uint32_t a, std::uint32_t b) { return box(a).y1 > box(b).y1; });
    bool between = false;
    for (std::size_t i = 1; i < sorted.size(); ++i) {
      const double upper = box(sorted[i - 1]).y0;
      const double lower = box(sorted[i]).y1;
      if (upper - lower < kScatteredGap * unit_) return false;
      for (const std::uint32_t b : other) between = between || (box(b).y1 <= upper && box(b).y0 >= lower);
    }
    return between;
  }

  // Whether the page draws the text of `columns` cell by cell, row after row: taken in
  // drawing order, its items step from one column into another and back up above the
  // item drawn before (to the next cell's top) more than twice per gutter, and once per
  // few items. Text columns
  // are drawn one after the other (one step back up per gutter), and a page drawn line
  // by line across its columns steps sideways, never back up; a caption or a note
  // drawn after the columns it stands in steps back up once, among many lines.
  bool drawn_by_rows(const std::vector<Ids>& columns) const {
    struct Drawn {
      std::uint32_t drawn;
      std::uint32_t column;
      std::uint32_t id;
    };
    std::vector<Drawn> items;
    for (std::uint32_t c = 0; c < columns.size(); ++c) {
      for (const std::uint32_t id : columns[c]) {
        if (box(id).figure) continue;
        if (box(id).drawn == CutBox::kUndrawn) return false;
        items.push_back({box(id).drawn, c, id});
      }
    }
    std::sort(items.begin(), items.end(), [](const Drawn& a, const Drawn& b) { return a.drawn < b.drawn; });
    std::size_t returns = 0;
    for (std::size_t i = 1; i < items.size(); ++i) {
      if (items[i].column != items[i - 1].column && box(items[i].id).y0 >= box(items[i - 1].id).y1) ++returns;
    }
    return returns > kReturnsPerGutter * (columns.size() - 1) && returns * kItemsPerReturn >= items.size();
  }

  // A region read in drawing order, figures last; an item drawn right after another
  // on its row, less than a wide gap to its right (a line cut at a word space), reads
  // on in that row, any other starts a row of its own.
  void leaf_as_drawn(Ids& ids) {
    std::stable_sort(ids.begin(), ids.end(), [&](std::uint32_t a, std::uint32_t b) {
      const std::uint32_t da = box(a).figure ? CutBox::kUndrawn : box(a).drawn;
      const std::uint32_t db = box(b).figure ? CutBox::kUndrawn : box(b).drawn;
      return da < db;
    });
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const CutBox& b = box(ids[i]);
      const bool goes_on = i > 0 && [&] {
        const CutBox& a = box(ids[i - 1]);
        return b.y0 < a.y1 && a.y0 < b.y1 && b.x0 >= a.x1 && b.x0 - a.x1 < wide_gap_;
      }();
      if (i > 0 && !goes_on) ++next_row_;
      out_.push_back({ids[i], next_row_});
    }
    if (!ids.empty()) ++next_row_;
  }

  // Whether `lines` beside `other` are no column but the end of a justified line cut
  // at its wide word spaces: text on one row only, on a row with text of `other` less
  // than a wide gap from it (a gutter with one row beside it is at least that wide).
  bool lone_row(const Ids& lines, const Ids& other) const {
    if (lines.empty() || other.size() < 2) return false;
    double x0 = INFINITY;
    double x1 = -INFINITY;
    double top = INFINITY;
    double bottom = -INFINITY;
    for (const std::uint32_t id : lines) {
      if (box(id).figure) return false;
      x0 = std::fmin(x0, box(id).x0);
      x1 = std::fmax(x1, box(id).x1);
      top = std::fmin(top, box(id).y1);
      bottom = std::fmax(bottom, box(id).y0);
    }
    if (bottom >= top) return false;  // more than one row
    return std::any_of(other.begin(), other.end(), [&](std::uint32_t id) {
      const CutBox& b = box(id);
      const double apart = std::fmax(x0 - b.x1, b.x0 - x1);
      return !b.figure && bottom < b.y1 && b.y0 < top && apart < wide_gap_;
    });
  }

  // Whether the row `band` reads as a running header or footer line: items at both
  // ends with a column's width of white space between them (a page number and a title).
  bool running_line(const Ids& band) const { return band.size() >= 2 && has_gutter(band, min_column_); }

  // Whether the row `band` is text in the page's margin (a page number, a running
  // title over one column).
  bool in_margin(const Ids& band) const {
    return std::all_of(band.begin(), band.end(), [&](std::uint32_t id) { return box(id).margin; });
  }

  // Whether the row `upper` stands apart above the row `lower`: more white space
  // between them than the lines of a paragraph leave.
  bool apart(const Ids& upper, const Ids& lower) const {
    double bottom = INFINITY;
    for (const std::uint32_t id : upper) bottom = std::fmin(bottom, box(id).y0);
    double top = -INFINITY;
    for (const std::uint32_t id : lower) top = std::fmax(top, box(id).y1);
    return bottom - top >= kHeaderGap * unit_;
  }

  const CutBox& box(std::uint32_t id) const { return boxes_[id]; }

  // Columns split at gaps at least a gutter wide in the x projection (a narrow gutter
  // only through three rows or more, so that a river of word spaces in two lines is
  // none); a piece narrower than a column (a list's bullets, a contents page's page
  // numbers) joins its nearer neighbour.
  std::vector<Ids> vertical_split(Ids& ids, std::size_t rows) const {
    const double gutter = rows >= 3 ? min_gap_ : wide_gap_;
    std::sort(ids.begin(), ids.end(), [&](std::uint32_t a, std::uint32_t b) { return box(a).x0 < box(b).x0; });
    std::vector<Ids> groups(1);
    std::vector<double> gaps;  // gaps[i]: between groups i and i + 1
    double reach = box(ids.front()).x1;
    for (const std::uint32_t id : ids) {
      if (!groups.back().empty() && box(id).x0 - reach >= gutter) {
        gaps.push_back(box(id).x0 - reach);
        groups.emplace_back();
      }
      groups.back().push_back(id);
      reach = std::fmax(reach, box(id).x1);
    }
    while (groups.size() > 1) {
      std::size_t narrow = groups.size();
      for (std::size_t i = 0; i < groups.size(); ++i) {
        if (width(groups[i]) < min_column_) {
          narrow = i;
          break;
        }
      }
      if (narrow == groups.size()) break;
      // Merge with the neighbour across the smaller gap.
      std::size_t into = narrow;
      if (narrow == 0) {
        into = 1;
      } else if (narrow + 1 == groups.size() || gaps[narrow - 1] <= gaps[narrow]) {
        into = narrow - 1;
      } else {
        into = narrow + 1;
      }
      const std::size_t low = std::min(narrow, into);
      groups[low].insert(groups[low].end(), groups[low + 1].begin(), groups[low + 1].end());
      groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(low) + 1);
      gaps.erase(gaps.begin() + static_cast<std::ptrdiff_t>(low));
    }
    // Neighbours of which one is narrow and whose rows stand on the same baselines are
    // the columns of a table without rules: read across, row by row.
    for (std::size_t i = 0; i + 1 < groups.size();) {
      if (std::fmin(width(groups[i]), width(groups[i + 1])) < kTableColumn * unit_ &&
          rows_align(groups[i], groups[i + 1])) {
        groups[i].insert(groups[i].end(), groups[i + 1].begin(), groups[i + 1].end());
        groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      } else {
        ++i;
      }
    }
    return groups;
  }

  // Whether most items of the group with fewer items share a row (their y ranges'
  // middles within a quarter of the unit) with an item of the other.
  bool rows_align(const Ids& a, const Ids& b) const {
    const Ids& few = a.size() <= b.size() ? a : b;
    const Ids& many = a.size() <= b.size() ? b : a;
    std::vector<double> middles;
    middles.reserve(many.size());
    for (const std::uint32_t id : many) middles.push_back(0.5 * (box(id).y0 + box(id).y1));
    std::sort(middles.begin(), middles.end());
    std::size_t aligned = 0;
    for (const std::uint32_t id : few) {
      const double middle = 0.5 * (box(id).y0 + box(id).y1);
      const auto it = std::lower_bound(middles.begin(), middles.end(), middle - 0.25 * unit_);
      if (it != middles.end() && *it <= middle + 0.25 * unit_) ++aligned;
    }
    return few.size() >= 2 && 10 * aligned >= 7 * few.size();
  }

  double width(const Ids& ids) const {
    double x0 = box(ids.front()).x0;
    double x1 = box(ids.front()).x1;
    for (const std::uint32_t id : ids) {
      x0 = std::fmin(x0, box(id).x0);
      x1 = std::fmax(x1, box(id).x1);
    }
    return x1 - x0;
  }

  // Rows top to bottom: items whose y ranges overlap, directly or through others.
  std::vector<Ids> horizontal_bands(Ids& ids) const {
    // Sorted input (the common case) is what the stable sort would leave.
    const auto higher = [&](std::uint32_t a, std::uint32_t b) { return box(a).y1 > box(b).y1; };
    if (!std::is_sorted(ids.begin(), ids.end(), higher)) std::stable_sort(ids.begin(), ids.end(), higher);
    std::vector<Ids> bands;
    double floor = 0.0;
    for (const std::uint32_t id : ids) {
      if (bands.empty() || box(id).y1 < floor) {
        bands.emplace_back();
        floor = box(id).y0;
      }
      bands.back().push_back(id);
      floor = std::fmin(floor, box(id).y0);
    }
    return bands;
  }

  // The free stretches of [from, to] that no item of `ids` covers.
  std::vector<Interval> free_of(const Ids& ids, double from, double to) const {
    std::vector<Interval> covered;
    covered.reserve(ids.size());
    for (const std::uint32_t id : ids) covered.push_back({box(id).x0, box(id).x1});
    std::sort(covered.begin(), covered.end(), [](const Interval& a, const Interval& b) { return a.from < b.from; });
    std::vector<Interval> free;
    double at = from;
    for (const Interval& c : covered) {
      if (c.from > at) free.push_back({at, c.from});
      at = std::fmax(at, c.to);
    }
    if (at < to) free.push_back({at, to});
    // Only stretches a gutter wide can matter, and of those the widest few: a row of a
    // hostile page's thousand boxes leaves no more to compare with every later row.
    std::erase_if(free, [&](const Interval& gap) { return gap.to - gap.from < min_gap_; });
    if (free.size() > limits::kMaxFreeStretches) {
      std::nth_element(free.begin(), free.begin() + limits::kMaxFreeStretches, free.end(),
                       [](const Interval& a, const Interval& b) { return a.to - a.from > b.to - b.from; });
      free.resize(limits::kMaxFreeStretches);
      std::sort(free.begin(), free.end(), [](const Interval& a, const Interval& b) { return a.from < b.from; });
    }
    return free;
  }

  static std::vector<Interval> intersect(const std::vector<Interval>& a, const std::vector<Interval>& b) {
    std::vector<Interval> out;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
      const double from = std::fmax(a[i].from, b[j].from);
      const double to = std::fmin(a[i].to, b[j].to);
      if (to > from) out.push_back({from, to});
      if (a[i].to < b[j].to) {
        ++i;
      } else {
        ++j;
      }
    }
    return out;
  }

  // Consecutive rows that leave one gutter free between content on both sides read as
  // one region (which the next level cuts into columns); other rows stand alone.
  // `single` tells, for each group, whether it is one row.
  std::vector<Ids> merge_column_bands(const Ids& ids, std::vector<Ids>& bands, std::vector<bool>& single) const {
    double from = box(ids.front()).x0;
    double to = box(ids.front()).x1;
    for (const std::uint32_t id : ids) {
      from = std::fmin(from, box(id).x0);
      to = std::fmax(to, box(id).x1);
    }
    std::vector<Ids> groups;
    std::vector<std::vector<Ids>> members;  // each group's bands
    std::vector<Interval> group_free;
    double group_x0 = 0.0;
    double group_x1 = 0.0;
    bool group_figures_only = false;
    for (Ids& band : bands) {
      const std::vector<Interval> band_free = free_of(band, from, to);
      double band_x0 = box(band.front()).x0;
      double band_x1 = box(band.front()).x1;
      for (const std::uint32_t id : band) {
        band_x0 = std::fmin(band_x0, box(id).x0);
        band_x1 = std::fmax(band_x1, box(id).x1);
      }
      const bool figures_only =
          std::all_of(band.begin(), band.end(), [&](std::uint32_t id) { return box(id).figure; });
      if (!groups.empty() && !figures_only && !group_figures_only) {
        const double x0 = std::fmin(group_x0, band_x0);
        const double x1 = std::fmax(group_x1, band_x1);
        std::vector<Interval> shared = intersect(group_free, band_free);
        // A gap is a gutter with a column's width of text on both sides; a gap far wider
        // than any word space, inside the rows so far or inside this one, needs less: a
        // short heading over its column ("Abstract" centred over the left one) beside
        // the other column's first line. (A display formula over a line's last word
        // "ist." has the gap beside both.)
        const bool gutter = std::any_of(shared.begin(), shared.end(), [&](const Interval& gap) {
          const double left = gap.from - x0;
          const double right = x1 - gap.to;
          if (gap.to - gap.from >= kWideGutter * unit_) {
            const auto inside = [&](double from, double to) { return gap.from - from >= unit_ && to - gap.to >= unit_; };
            if (inside(group_x0, group_x1) || inside(band_x0, band_x1)) return true;
          }
          return gap.to - gap.from >= min_gap_ && left >= min_column_ && right >= min_column_;
        });
        if (gutter) {
          groups.back().insert(groups.back().end(), band.begin(), band.end());
          members.back().push_back(std::move(band));
          group_free = std::move(shared);
          group_x0 = x0;
          group_x1 = x1;
          continue;
        }
      }
      group_figures_only = figures_only;
      groups.push_back(band);
      members.push_back({std::move(band)});
      group_free = band_free;
      group_x0 = band_x0;
      group_x1 = band_x1;
    }
    // Two rows that share only a narrow gap are no columns, nor are two rows of which
    // one stands on one side of the gap only (a justified line's wide word space over a
    // short line): they stand alone again.
    std::vector<Ids> out;
    for (std::size_t g = 0; g < groups.size(); ++g) {
      if (members[g].size() == 2 &&
          (!has_gutter(groups[g], wide_gap_) || members[g][0].size() < 2 || members[g][1].size() < 2)) {
        for (Ids& band : members[g]) {
          out.push_back(std::move(band));
          single.push_back(true);
        }
      } else {
        out.push_back(std::move(groups[g]));
        single.push_back(members[g].size() == 1);
      }
    }
    return out;
  }

  // Whether the x projection of `ids` leaves a gap at least `width` wide.
  bool has_gutter(Ids ids, double width) const {
    std::sort(ids.begin(), ids.end(), [&](std::uint32_t a, std::uint32_t b) { return box(a).x0 < box(b).x0; });
    double reach = box(ids.front()).x1;
    for (const std::uint32_t id : ids) {
      if (box(id).x0 - reach >= width) return true;
      reach = std::fmax(reach, box(id).x1);
    }
    return false;
  }

  // A region read row by row, each row's items left to right (right to left).
  void leaf(Ids& ids) {
    if (ids.empty()) return;
    for (Ids& band : horizontal_bands(ids)) {
      const auto before = [&](std::uint32_t a, std::uint32_t b) {
        return right_to_left_ ? box(a).x1 > box(b).x1 : box(a).x0 < box(b).x0;
      };
      if (!std::is_sorted(band.begin(), band.end(), before)) std::stable_sort(band.begin(), band.end(), before);
      for (const std::uint32_t id : band) out_.push_back({id, next_row_});
      ++next_row_;
    }
  }

  std::span<const CutBox> boxes_;
  double unit_;
  double min_gap_;
  double wide_gap_;
  double min_column_;
  bool right_to_left_;
  std::uint32_t next_row_ = 0;
  std::vector<ReadingPlace> out_;
};

}  // namespace

std::vector<ReadingPlace> reading_order(std::span<const CutBox> boxes, double unit, bool right_to_left) {
  std::vector<std::uint32_t> ids;
  ids.reserve(boxes.size());
  for (std::uint32_t i = 0; i < boxes.size(); ++i) {
    const CutBox& b = boxes[i];
    // A box with NaN or infinite corners cannot be placed by white space: read last.
    if (std::isfinite(b.x0) && std::isfinite(b.x1) && std::isfinite(b.y0) && std::isfinite(b.y1)) ids.push_back(i);
  }
  const double size = std::isfinite(unit) && unit > 0 ? unit : 10.0;
  Cutter cutter(boxes, size, right_to_left);
  cutter.region(ids, 0);
  std::vector<ReadingPlace> order = cutter.take();
  std::uint32_t row = order.empty() ? 0 : order.back().row + 1;
  for (std::uint32_t i = 0; i < boxes.size(); ++i) {
    const CutBox& b = boxes[i];
    if (!(std::isfinite(b.x0) && std::isfinite(b.x1) && std::isfinite(b.y0) && std::isfinite(b.y1))) {
      order.push_back({i, row++});
    }
  }
  return order;
}

}  // namespace folioscan
