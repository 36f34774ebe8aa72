// Text layout: sorts the page's runs top to bottom and left to right, groups them into
// lines by baseline, joins each line's texts with a space at wide gaps, and measures the
// page box.
#include "layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bidi.h"
#include "float_ops.h"

namespace folioscan {
namespace {

// A run as layout sees it: its position in the frame the lines are built in (page
// space, or recovery's frame of a rotated baseline, where the text reads left to right).
struct Placed {
  const TextRun* run;
  double x;
  double y;
  double end_x;
};

// Smaller x first, NaN after every number.
bool left_of(const Placed& a, const Placed& b) {
  const bool a_x_nan = std::isnan(a.x);
  const bool b_x_nan = std::isnan(b.x);
  if (a_x_nan != b_x_nan) return b_x_nan;
  if (!a_x_nan && a.x != b.x) return a.x < b.x;
  return false;
}

// Greater y first, then smaller x, else content order (the sort is stable). Extreme
// content can put NaN in positions; a comparison that treated NaN as "equal" to every
// number would not be a strict weak ordering, so NaN is ordered after all numbers on
// each key instead. Without NaN this is exactly "greater y, then smaller x".
bool reads_before(const Placed& a, const Placed& b) {
  const bool a_y_nan = std::isnan(a.y);
  const bool b_y_nan = std::isnan(b.y);
  if (a_y_nan != b_y_nan) return b_y_nan;
  if (!a_y_nan && a.y != b.y) return a.y > b.y;
  return left_of(a, b);
}

// Recovery: a run of other text in another size that starts in the first half of the
// previous one is drawn over it (two forms placing words at one spot), not after it:
// another word. Text redrawn a hair off (fake bold) stays as it is.
bool drawn_over(const Placed& placed, const Placed& previous) {
  const double a = placed.run->page_size;
  const double b = previous.run->page_size;
  const bool other_size = std::fabs(a - b) > 0.25 * fmax_of(std::fabs(a), std::fabs(b));
  return other_size && placed.run->text != previous.run->text && placed.x >= previous.x &&
         placed.x < previous.x + 0.5 * (previous.end_x - previous.x);
}

// Recovery: a line's first run raised and smaller than the next, which starts a word
// with a capital (and lower case after it), is a footnote's number before its text ("1" + "We cannot
// say"): a word of its own, however close.
bool footnote_number(const TextRun& mark, const TextRun& next) {
  const double size = next.page_size;
  if (!(size > 0.0) || !(mark.page_size <= 0.8 * size) || !(mark.y - next.y >= 0.15 * size)) return false;
  const std::string& text = next.text;
  // A run of one glyph each gives the capital alone.
  return !text.empty() && text[0] >= 'A' && text[0] <= 'Z' && (text.size() == 1 || (text[1] >= 'a' && text[1] <= 'z'));
}

// With `run_starts` (recovery), the offset in the line's text where each run's text
// starts is appended to it, and words part at recovery's narrower gap.
TextLine build_line(std::span<const Placed> group, std::vector<std::uint32_t>* run_starts = nullptr) {
  const Placed& first = group.front();
  // Sized once: every text plus at most one space before each later run.
  std::size_t length = 0;
  for (const Placed& placed : group) length += placed.run->text.size() + 1;
  TextLine line{{}, first.run->x, first.run->y};
  line.text.reserve(length);
  if (run_starts != nullptr) run_starts->push_back(0);
  line.text = first.run->text;
  double previous_x = first.x;
  double previous_end = first.end_x;
  const Placed* previous = &first;
  for (const Placed& placed : group.subspan(1)) {
    const TextRun& run = *placed.run;
    // Distances are all in page space. A run left of the previous one can only sit on
    // another baseline of the group (a neighbouring table column, say): its negative gap
    // does not make it part of the previous word.
    const double gap = run_starts != nullptr ? recovered_word_gap_threshold(run) : word_gap_threshold(run);
    const bool apart = placed.x - previous_end > gap || placed.x < previous_x ||
                       (run_starts != nullptr && (drawn_over(placed, *previous) ||
                                                  (previous == &first && footnote_number(*first.run, run))));
    if (apart && (line.text.empty() || line.text.back() != ' ') &&
        (run.text.empty() || run.text.front() != ' ')) {
      line.text += ' ';
    }
    if (run_starts != nullptr) run_starts->push_back(static_cast<std::uint32_t>(line.text.size()));
    line.text += run.text;
    previous_x = placed.x;
    previous_end = placed.end_x;
    previous = &placed;
  }
  return line;
}

// Whether UTF-8 text may hold right-to-left characters: Hebrew, Arabic and their
// neighbours (U+0580 to U+08FF), the presentation forms (U+FB1D to U+FEFC) and the
// right-to-left scripts beyond the basic plane (U+10800 to U+10FFF, U+1E800 to
// U+1EFFF). A cheap byte test: lines without them are left as they are.
bool may_hold_right_to_left(std::string_view text) {
  std::size_t i = 0;
  // ASCII, most lines whole, is passed eight bytes at a time: no lead byte is among them.
  while (i + 8 <= text.size()) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if ((word & 0x8080808080808080ULL) != 0) break;
    i += 8;
  }
  for (; i + 1 < text.size(); ++i) {
    const auto lead = static_cast<std::uint8_t>(text[i]);
    const auto next = static_cast<std::uint8_t>(text[i + 1]);
    if (lead < 0xD6) continue;
    if (lead <= 0xDF) return true;
    if (lead == 0xE0 && next >= 0xA0 && next <= 0xA3) return true;
    if (lead == 0xEF && next >= 0xAC && next <= 0xBB) return true;
    if (lead == 0xF0 && (next == 0x90 || next == 0x9E)) return true;
  }
  return false;
}

void add_character_starts(std::string_view text, std::size_t from, std::size_t to,
                          std::vector<std::uint32_t>& starts) {
  for (std::size_t at = from; at < to && at < text.size(); ++at) {
    if ((static_cast<std::uint8_t>(text[at]) & 0xC0) != 0x80) starts.push_back(static_cast<std::uint32_t>(at));
  }
}

// Right-to-left text is drawn in visual order; readers give it in logical order. The
// line's characters are reordered with each glyph kept whole: a glyph whose text is
// several characters (a ligature, or a word a font maps one glyph to) is already in
// logical order inside. A glyph whose text mixes both directions shows that the
// font's map already gives the line's logical text across them: the line stays as is.
void put_in_logical_order(TextLine& line, std::span<const Placed> group, std::span<const std::uint32_t> run_starts) {
  if (!may_hold_right_to_left(line.text)) return;
  std::vector<std::uint32_t> units;
  std::size_t covered = 0;
  for (std::size_t i = 0; i < group.size() && i < run_starts.size(); ++i) {
    const TextRun& run = *group[i].run;
    const std::size_t start = run_starts[i];
    add_character_starts(line.text, covered, start, units);  // a space put between runs
    if (run.glyph_starts.empty()) {
      add_character_starts(line.text, start, start + run.text.size(), units);
    } else {
      const std::string_view text(run.text);
      for (std::size_t g = 0; g < run.glyph_starts.size(); ++g) {
        const std::uint32_t glyph = run.glyph_starts[g];
        if (glyph >= text.size()) continue;
        const std::size_t end = g + 1 < run.glyph_starts.size() ? run.glyph_starts[g + 1] : text.size();
        if (end > glyph && holds_both_directions(text.substr(glyph, end - glyph))) return;
        if (units.empty() || units.back() < start + glyph) units.push_back(static_cast<std::uint32_t>(start + glyph));
      }
    }
    covered = start + run.text.size();
  }
  add_character_starts(line.text, covered, line.text.size(), units);
  line.text = logical_order(line.text, units);
}

// Recovery's order within a line: left to right when the runs, so ordered, do not
// overlap (a superscript after its word, a subscript before the next), so that a line's
// raised and lowered pieces read in place; runs drawn over one another (text over text,
// a space shown at the line's start) keep the top-to-bottom order.
void put_left_to_right(std::span<Placed> group) {
  if (group.size() < 2 || std::is_sorted(group.begin(), group.end(), left_of)) return;
  std::vector<Placed> sorted(group.begin(), group.end());
  std::stable_sort(sorted.begin(), sorted.end(), left_of);
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    const double slack = 0.1 * fmax_of(sorted[i].run->page_size, 1.0);
    if (!(sorted[i].x >= sorted[i - 1].end_x - slack)) return;  // NaN keeps the order too
  }
  std::copy(sorted.begin(), sorted.end(), group.begin());
}

// Orders `order` top to bottom and groups it into lines, appended to `lines`. A line
// collects runs whose baseline is within the tolerance of its first run's baseline
// (not the previous run's), so a slow drift does not chain lines together. Recovering,
// each line's runs are put left to right where they do not overlap and right-to-left
// text is put in logical order.
void group_lines(std::vector<Placed>& order, bool recovering, std::vector<TextLine>& lines,
                 std::vector<std::vector<const TextRun*>>* line_runs = nullptr) {
  std::vector<std::uint32_t> run_starts;
  // Most producers already draw in reading order; a stable sort of sorted input leaves
  // it as it is, so the check alone decides.
  if (!std::is_sorted(order.begin(), order.end(), reads_before)) {
    std::stable_sort(order.begin(), order.end(), reads_before);
  }
  const auto emit = [&](std::size_t from, std::size_t to) {
    const auto group = std::span(order).subspan(from, to - from);
    if (!recovering) {
      lines.push_back(build_line(group));
      return;
    }
    put_left_to_right(group);
    if (line_runs != nullptr) {
      auto& runs = line_runs->emplace_back();
      runs.reserve(group.size());
      for (const Placed& placed : group) runs.push_back(placed.run);
    }
    run_starts.clear();
    lines.push_back(build_line(group, &run_starts));
    put_in_logical_order(lines.back(), group, run_starts);
  };
  std::size_t group_start = 0;
  for (std::size_t i = 1; i < order.size(); ++i) {
    const TextRun& first = *order[group_start].run;
    const TextRun& run = *order[i].run;
    if (std::fabs(order[group_start].y - order[i].y) > baseline_tolerance(first, run)) {
      emit(group_start, i);
      group_start = i;
    }
  }
  if (!order.empty()) emit(group_start, order.size());
}

LayoutResult empty_layout(const std::array<double, 4>& media_box) {
  LayoutResult result;
  result.width = std::fabs(media_box[2] - media_box[0]);
  result.height = std::fabs(media_box[3] - media_box[1]);
  return result;
}

// The run's position in the frame where its baseline reads left to right: page space
// turned back by the run's quarter turns. The baseline is rounded to a sixteenth of a
// point, so runs a rounding error apart (809.181 and 809.1812) read left to right
// rather than in the order of those hairs.
Placed placed_upright(const TextRun& run) {
  const auto baseline = [](double y) { return std::nearbyint(y * 16.0) / 16.0; };
  switch (run.quarter_turns) {
    case 1:
      return {&run, run.y, baseline(-run.x), run.end_y};
    case 2:
      return {&run, -run.x, baseline(-run.y), -run.end_x};
    case 3:
      return {&run, -run.y, baseline(run.x), -run.end_y};
    default:
      return {&run, run.x, baseline(run.y), run.end_x};
  }
}

// A drop capital: a paragraph's first letter set large at its left, reaching down
// over the paragraph's first lines, and the run that starts the first of those lines.
struct DropCapital {
  const TextRun* cap;
  const TextRun* first;
};

// Whether `text` is one capital letter: A to Z, or a Latin-1 capital (U+00C0 to U+00DE
// but U+00D7), with white space after it at most.
bool single_capital(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.size() == 1) return text[0] >= 'A' && text[0] <= 'Z';
  if (text.size() != 2 || static_cast<unsigned char>(text[0]) != 0xC3) return false;
  const auto second = static_cast<unsigned char>(text[1]);
  return second >= 0x80 && second <= 0x9E && second != 0x97;
}

// The drop capitals among upright runs (in drawing order): a run of one capital letter
// at least 2.5 times the size of the runs whose lines start just right of it, with two baselines or more
// of those lines between its baseline and its top, the top one's capitals as high as the
// letter's. Pages with more than a few such letters are charts or games, not prose:
// none is taken there.
std::vector<DropCapital> drop_capitals(std::span<const Placed> upright) {
  constexpr std::size_t kMostCapitals = 8;
  // Producers draw a drop capital next to the text it begins, and those that draw each
  // glyph as a run of its own give every capital of the text a run: only a letter far
  // larger than a run drawn just before or after it is looked at further.
  const auto larger = [&](const TextRun& cap, std::size_t i) {
    return i < upright.size() && upright[i].run->page_size > 0.0 && cap.page_size >= 2.5 * upright[i].run->page_size;
  };
  std::vector<const Placed*> letters;
  for (std::size_t i = 0; i < upright.size(); ++i) {
    const TextRun& run = *upright[i].run;
    if (run.text.size() > 3 || !(run.page_size > 0.0) || !std::isfinite(run.page_size) || !single_capital(run.text)) {
      continue;
    }
    if (!larger(run, i - 1) && !larger(run, i + 1)) continue;  // i - 1 wraps past the end at 0
    if (letters.size() == kMostCapitals) return {};
    letters.push_back(&upright[i]);
  }
  std::vector<DropCapital> found;
  for (const Placed* letter : letters) {
    const TextRun& cap = *letter->run;
    const double width = letter->end_x - letter->x;
    const Placed* top = nullptr;
    double lowest = INFINITY;
    for (const Placed& placed : upright) {
      const TextRun& run = *placed.run;
      const double size = run.page_size;
      if (&placed == letter || !(size > 0.0) || !(cap.page_size >= 2.5 * size)) continue;
      if (!(placed.x >= letter->x + 0.5 * width && placed.x <= letter->end_x + 2.0 * size)) continue;
      if (!(placed.y >= letter->y - 0.3 * size && placed.y <= letter->y + cap.page_size)) continue;
      if (top == nullptr || placed.y > top->y) top = &placed;
      lowest = std::fmin(lowest, placed.y);
    }
    if (top == nullptr) continue;
    const double size = top->run->page_size;
    const bool two_lines = top->y - lowest >= 0.8 * size;
    const bool level = std::fabs((letter->y + 0.66 * cap.page_size) - (top->y + 0.66 * size)) <= size;
    if (two_lines && level) found.push_back({&cap, top->run});
  }
  return found;
}

// Sets each drop capital before the line that holds its `first` run, with no space (the
// letter begins the line's first word); a capital whose line starts with another run
// (text left of it) stands as a line of its own before that line.
void place_drop_capitals(std::span<const DropCapital> capitals, LayoutResult& result) {
  for (const DropCapital& capital : capitals) {
    for (std::size_t i = 0; i < result.lines.size(); ++i) {
      std::vector<const TextRun*>& runs = result.line_runs[i];
      if (std::find(runs.begin(), runs.end(), capital.first) == runs.end()) continue;
      std::string_view letter = capital.cap->text;
      while (letter.ends_with(' ')) letter.remove_suffix(1);
      if (runs.front() == capital.first) {
        TextLine& line = result.lines[i];
        line.text.insert(0, letter);
        line.x = capital.cap->x;
        runs.insert(runs.begin(), capital.cap);
      } else {
        result.lines.insert(result.lines.begin() + static_cast<std::ptrdiff_t>(i),
                            TextLine{std::string(letter), capital.cap->x, capital.cap->y});
        result.line_runs.insert(result.line_runs.begin() + static_cast<std::ptrdiff_t>(i), {capital.cap});
      }
      break;
    }
  }
}

}  // namespace

LayoutResult layout_lines(const std::vector<TextRun>& runs, const std::array<double, 4>& media_box) {
  LayoutResult result = empty_layout(media_box);
  std::vector<Placed> order;
  order.reserve(runs.size());
  for (const TextRun& run : runs) order.push_back({&run, run.x, run.y, run.end_x});
  group_lines(order, false, result.lines);
  return result;
}

LayoutResult layout_lines_recovering(std::span<const TextRun* const> shown, const std::array<double, 4>& media_box) {
  LayoutResult result = empty_layout(media_box);
  // Text turned a quarter (a label up the margin, a page drawn rotated) reads along its
  // own baseline: each direction is laid out in its own frame, upright text first.
  std::array<std::vector<Placed>, 4> by_turn;
  for (const TextRun* run : shown) by_turn[run->quarter_turns & 3].push_back(placed_upright(*run));
  // A drop capital's size would pull the lines beside it into one: it is taken out and
  // set before its paragraph's first line.
  const std::vector<DropCapital> capitals = drop_capitals(by_turn[0]);
  if (!capitals.empty()) {
    std::erase_if(by_turn[0], [&](const Placed& placed) {
      return std::any_of(capitals.begin(), capitals.end(), [&](const DropCapital& c) { return c.cap == placed.run; });
    });
  }
  for (const std::uint8_t turns : {0, 1, 3, 2}) {
    group_lines(by_turn[turns], true, result.lines, &result.line_runs);
    if (turns == 0 && !capitals.empty()) place_drop_capitals(capitals, result);
  }
  return result;
}

TextLine join_upright_runs(std::span<const TextRun* const> runs) {
  if (runs.empty()) return {};
  std::vector<Placed> group;
  group.reserve(runs.size());
  for (const TextRun* run : runs) group.push_back({run, run->x, run->y, run->end_x});
  std::vector<std::uint32_t> run_starts;
  TextLine line = build_line(group, &run_starts);
  put_in_logical_order(line, group, run_starts);
  return line;
}

}  // namespace folioscan
