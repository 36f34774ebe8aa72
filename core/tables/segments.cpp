// Segments from filled boxes, and the merge of collinear touching segments.
#include "segments.h"

#include <algorithm>
#include <cmath>

#include "../float_ops.h"

namespace folioscan {
namespace {

// A filled box this thin or thinner, and at least kBarLength times as long, is a rule
// (table borders drawn as filled bars are up to a few points thick).
constexpr double kBarThickness = 6.0;
constexpr double kBarLength = 4.0;
// Collinear segments whose positions differ by at most this are one line; segments of
// one line whose ends are this close touch.
constexpr double kSamePosition = 1.0;
constexpr double kTouching = 2.0;
// Shorter segments are glyph strokes, dots or hatching, not rules.
constexpr double kShortest = 2.0;

bool finite(const Segment& s) { return std::isfinite(s.at) && std::isfinite(s.from) && std::isfinite(s.to); }

}  // namespace

void add_box_segments(const FilledBox& box, std::vector<Segment>& out) {
  const double x0 = fmin_of(box.x0, box.x1);
  const double x1 = fmax_of(box.x0, box.x1);
  const double y0 = fmin_of(box.y0, box.y1);
  const double y1 = fmax_of(box.y0, box.y1);
  const double w = x1 - x0;
  const double h = y1 - y0;
  if (!(w >= 0) || !(h >= 0)) return;  // NaN
  if (h <= kBarThickness && w >= kBarLength * h) {
    out.push_back({true, (y0 + y1) / 2, x0, x1});
  } else if (w <= kBarThickness && h >= kBarLength * w) {
    out.push_back({false, (x0 + x1) / 2, y0, y1});
  } else if (w > kBarThickness && h > kBarThickness) {
    out.push_back({true, y0, x0, x1, true});
    out.push_back({true, y1, x0, x1, true});
    out.push_back({false, x0, y0, y1, true});
    out.push_back({false, x1, y0, y1, true});
  }
}

std::vector<Segment> merge_segments(std::vector<Segment> segments) {
  std::erase_if(segments, [](const Segment& s) { return !finite(s) || s.to - s.from < kShortest; });
  std::sort(segments.begin(), segments.end(), [](const Segment& a, const Segment& b) {
    if (a.horizontal != b.horizontal) return a.horizontal;
    return a.at < b.at;
  });
  std::vector<Segment> merged;
  merged.reserve(segments.size());
  std::size_t i = 0;
  while (i < segments.size()) {
    // One line: positions chained within kSamePosition of the line's first segment.
    std::size_t j = i + 1;
    while (j < segments.size() && segments[j].horizontal == segments[i].horizontal &&
           segments[j].at - segments[i].at <= kSamePosition) {
      ++j;
    }
    std::sort(segments.begin() + static_cast<std::ptrdiff_t>(i), segments.begin() + static_cast<std::ptrdiff_t>(j),
              [](const Segment& a, const Segment& b) { return a.from < b.from; });
    const std::size_t first = merged.size();
    for (std::size_t k = i; k < j; ++k) {
      Segment s = segments[k];
      s.at = segments[i].at;
      if (merged.size() > first && s.from <= merged.back().to + kTouching) {
        merged.back().to = fmax_of(merged.back().to, s.to);
        merged.back().weak = merged.back().weak && s.weak;
      } else {
        merged.push_back(s);
      }
    }
    i = j;
  }
  return merged;
}

}  // namespace folioscan
