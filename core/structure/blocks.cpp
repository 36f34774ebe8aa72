// Reading order of a page's line pieces, lines joined again, and blocks from lines.
#include "blocks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "../input_limits.h"
#include "../utf8.h"
#include "image_blocks.h"
#include "line_pieces.h"
#include "lists.h"
#include "paragraphs.h"
#include "reading_order.h"

namespace folioscan {
namespace {

// The top and bottom bands of a page where running headers and page numbers stand, as
// a share of its height.
constexpr double kMarginShare = 0.06;
constexpr double kNearMarginShare = 0.125;
constexpr std::uint32_t kMaxListLevel = 6;

// Whether most letters of the page are of a right-to-left script.
bool mostly_right_to_left(const std::vector<LinePiece>& pieces) {
  std::size_t rtl = 0;
  std::size_t ltr = 0;
  for (const LinePiece& piece : pieces) {
    const std::string& text = piece.line.text;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto lead = static_cast<unsigned char>(text[i]);
      if ((lead >= 'a' && lead <= 'z') || (lead >= 'A' && lead <= 'Z')) {
        ++ltr;
      } else if (lead >= 0xD6 && lead <= 0xDF) {
        ++rtl;  // U+0580 to U+07FF: Hebrew, Arabic, Syriac, Thaana
      } else if (lead == 0xEF && i + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[i + 1]);
        if (next >= 0xAC && next <= 0xBB) ++rtl;  // presentation forms
      }
    }
  }
  return rtl > ltr;
}

std::array<double, 4> normalised(const std::array<double, 4>& box) {
  return {std::fmin(box[0], box[2]), std::fmin(box[1], box[3]), std::fmax(box[0], box[2]), std::fmax(box[1], box[3])};
}

// A line of the page in reading order, or a placed table where it stands.
struct ReadLine {
  LinePiece piece;
  std::optional<std::uint32_t> table;
};

// The boxes of the figures among `images` that the page's text flows around: of a
// figure's size, and with no piece's centre inside (a chart with its labels drawn as
// text over it, a picture behind a text box is read by its text alone).
std::vector<std::array<double, 4>> figure_obstacles(std::span<const std::array<double, 4>> images,
                                                    std::span<const CutBox> text,
                                                    const std::array<double, 4>& media_box) {
  std::vector<std::array<double, 4>> out;
  for (const std::array<double, 4>& image : images) {
    if (out.size() == limits::kMaxFigureObstacles) break;
    const auto box = normalised(image);
    if (!(std::isfinite(box[0]) && std::isfinite(box[1]) && std::isfinite(box[2]) && std::isfinite(box[3]))) continue;
    if (!figure_sized(box, media_box, !text.empty())) continue;
    const bool covers_text = std::any_of(text.begin(), text.end(), [&](const CutBox& piece) {
      const double cx = 0.5 * (piece.x0 + piece.x1);
      const double cy = 0.5 * (piece.y0 + piece.y1);
      return cx > box[0] && cx < box[2] && cy > box[1] && cy < box[3];
    });
    if (!covers_text) out.push_back(box);
  }
  return out;
}

// Each upright piece's place in the page's drawing order: the rank of its earliest run
// (the runs are the page's, held in one vector in the order they are drawn).
void drawing_order(const std::vector<LinePiece>& pieces, std::span<const std::uint32_t> upright,
                   std::vector<CutBox>& boxes) {
  std::vector<std::pair<const TextRun*, std::uint32_t>> first;  // earliest run, box
  first.reserve(upright.size());
  for (std::uint32_t b = 0; b < upright.size(); ++b) {
    const std::vector<const TextRun*>& runs = pieces[upright[b]].runs;
    if (runs.empty()) return;  // a piece without runs leaves the page's order unknown
    first.emplace_back(*std::min_element(runs.begin(), runs.end(), std::less<const TextRun*>()), b);
  }
  std::sort(first.begin(), first.end(), [](const auto& a, const auto& b) {
    return std::less<const TextRun*>()(a.first, b.first) || (a.first == b.first && a.second < b.second);
  });
  for (std::uint32_t rank = 0; rank < first.size(); ++rank) boxes[first[rank].second].drawn = rank;
}

std::vector<ReadLine> read_lines(std::vector<LinePiece>& pieces, std::span<const Table> tables, double unit,
                                 bool right_to_left, std::span<const std::array<double, 4>> images,
                                 const std::array<double, 4>& media_box) {
  std::vector<CutBox> boxes;
  const auto page = normalised(media_box);
  const double margin_low = page[1] + kMarginShare * (page[3] - page[1]);
  const double margin_high = page[3] - kMarginShare * (page[3] - page[1]);
  // Item i is pieces[i] for i below the piece count, else a table.
  std::vector<std::uint32_t> upright;
  std::vector<std::uint32_t> placed_tables;
  for (std::uint32_t i = 0; i < pieces.size(); ++i) {
    const LinePiece& piece = pieces[i];
    // A piece of white space only (spaces drawn as text) holds nothing to read; its box
    // could bridge a gutter.
    if (!piece.upright || piece.characters == 0) continue;
    // The band between a little under the baseline and a little over the x-height:
    // lines set solid do not touch, a superscript shares its line's band.
    const double size = std::fmax(piece.size, 1.0);
    boxes.push_back({piece.box[0], piece.baseline - 0.1 * size, piece.box[2], piece.baseline + 0.6 * size});
    boxes.back().margin = piece.baseline < margin_low || piece.baseline > margin_high;
    upright.push_back(i);
  }
  drawing_order(pieces, upright, boxes);
  for (std::uint32_t t = 0; t < tables.size(); ++t) {
    if (!tables[t].bbox) continue;
    const auto box = normalised(*tables[t].bbox);
    boxes.push_back({box[0], box[1], box[2], box[3]});
    placed_tables.push_back(t);
  }
  // Items from `first_figure` on are figures: they steer the cuts and are read as nothing.
  const std::size_t first_figure = boxes.size();
  for (const std::array<double, 4>& figure :
       figure_obstacles(images, std::span<const CutBox>(boxes.data(), upright.size()), media_box)) {
    boxes.push_back({figure[0], figure[1], figure[2], figure[3], true});
  }
  const std::vector<ReadingPlace> order = reading_order(boxes, unit, right_to_left);
  std::vector<ReadLine> lines;
  lines.reserve(order.size());
  std::vector<LinePiece*> row;
  const auto flush = [&] {
    if (row.empty()) return;
    if (row.size() == 1) {
      lines.push_back({std::move(*row.front()), std::nullopt});
    } else {
      const std::vector<const LinePiece*> parts(row.begin(), row.end());
      lines.push_back({joined_pieces(parts), std::nullopt});
    }
    row.clear();
  };
  std::uint32_t row_id = 0;
  for (const ReadingPlace& place : order) {
    if (place.item >= first_figure) {
      flush();
      continue;
    }
    if (place.item >= upright.size()) {
      flush();
      ReadLine table;
      table.table = placed_tables[place.item - upright.size()];
      table.piece.box = normalised(*tables[*table.table].bbox);
      lines.push_back(std::move(table));
      continue;
    }
    LinePiece& piece = pieces[upright[place.item]];
    if (!row.empty()) {
      const LinePiece& last = *row.back();
      const double tolerance = 0.5 * std::fmax(std::fmax(last.size, piece.size), 1.0);
      if (place.row != row_id || std::fabs(last.baseline - piece.baseline) > tolerance) flush();
    }
    row_id = place.row;
    row.push_back(&piece);
  }
  flush();
  // Turned text (a label up the margin) reads after the page's upright text.
  for (LinePiece& piece : pieces) {
    if (!piece.upright && piece.characters != 0) lines.push_back({std::move(piece), std::nullopt});
  }
  return lines;
}

bool overlaps_horizontally(const std::array<double, 4>& a, const std::array<double, 4>& b) {
  return a[0] < b[2] && b[0] < a[2];
}

// Whether every run of the piece that holds text is bold: a line that starts with a
// bold lead-in and runs on in the body face is not.
bool all_bold(const LinePiece& piece) {
  if (piece.runs.empty()) return piece.bold;
  bool any = false;
  for (const TextRun* run : piece.runs) {
    if (run->text.find_first_not_of(' ') == std::string::npos) continue;
    if (!run->bold) return false;
    any = true;
  }
  return any;
}

bool ends_sentence(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return false;
  const char last = text.back();
  return last == '.' || last == '!' || last == '?' || last == ':' || text.ends_with("\xE3\x80\x82");
}

// The one character a line starts with when a space follows it and it is a mark, not
// a letter or digit: ASCII punctuation, a Latin-1 sign (U+00A1 to U+00BF), general
// punctuation and symbols (U+2010 to U+2BFF), or a private-use code point that symbol
// fonts use ("!" in "! Title I"). Empty otherwise.
std::string_view leading_mark(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty()) return {};
  std::size_t length = 0;
  const std::uint32_t c = first_code_point(text, &length);
  if (text.size() <= length || text[length] != ' ') return {};
  const bool ascii_mark = c > 0x20 && c < 0x7F && !(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'z') &&
                          !(c >= 'A' && c <= 'Z');
  const bool mark = ascii_mark || (c >= 0xA1 && c <= 0xBF) || (c >= 0x2010 && c <= 0x2BFF) ||
                    (c >= 0xE000 && c <= 0xF8FF);
  return mark ? text.substr(0, length) : std::string_view();
}

class BlockBuilder {
 public:
  BlockBuilder(PageStructure& out, const std::array<double, 4>& media_box) : out_(out) {
    const auto box = normalised(media_box);
    margin_low_ = box[1] + kMarginShare * (box[3] - box[1]);
    margin_high_ = box[3] - kMarginShare * (box[3] - box[1]);
    near_low_ = box[1] + kNearMarginShare * (box[3] - box[1]);
    near_high_ = box[3] - kNearMarginShare * (box[3] - box[1]);
  }

  void add(const ReadLine& line) {
    if (line.table) {
      close();
      Block block;
      block.type = BlockType::Table;
      block.bbox = line.piece.box;
      block.table = *line.table;
      out_.blocks.push_back(std::move(block));
      out_.styles.blocks.push_back({});
      previous_ = nullptr;
      return;
    }
    const LinePiece& piece = line.piece;
    const ListMarker marker = list_marker(piece.line.text);
    if (!open_.empty() && !continues(piece, marker)) close();
    if (open_.empty()) {
      marker_ = marker;
      space_above_ = 1e9;
      if (previous_ != nullptr && previous_->baseline > piece.baseline &&
          overlaps_horizontally(previous_->box, piece.box)) {
        space_above_ = (previous_->baseline - piece.baseline) / std::fmax(piece.size, 1.0);
      }
    }
    // Whether the open list item has wrapped back left of its first line, and its left
    // edge over the lines that stand under its first (its level's measure).
    if (open_.empty()) {
      wrapped_ = false;
      item_left_ = piece.box[0];
    } else if (marker_.kind != MarkerKind::None) {
      const double size = std::fmax(std::fmax(open_.back()->size, piece.size), 1.0);
      if (piece.box[0] < open_.front()->box[0] - 0.5 * size) {
        wrapped_ = true;
      } else {
        item_left_ = std::fmin(item_left_, piece.box[0]);
      }
    }
    // The open lines' left and right edges, kept as they come (each later line is
    // compared with them).
    open_left_ = open_.empty() ? piece.box[0] : std::fmin(open_left_, piece.box[0]);
    open_right_ = open_.empty() ? piece.box[2] : std::fmax(open_right_, piece.box[2]);
    open_.push_back(&piece);
  }

  void close() {
    if (open_.empty()) return;
    Block block;
    block.type = marker_.kind == MarkerKind::None ? BlockType::Paragraph : BlockType::ListItem;
    block.ordered = marker_.kind == MarkerKind::Enumerator;
    std::array<double, 4> box = open_.front()->box;
    SizeCounts sizes;
    std::size_t bold = 0;
    std::size_t characters = 0;
    bool gapped = false;
    for (std::size_t i = 0; i < open_.size(); ++i) {
      const LinePiece& piece = *open_[i];
      std::string_view text = piece.line.text;
      if (i == 0 && marker_.kind == MarkerKind::Bullet) text.remove_prefix(std::min(marker_.length, text.size()));
      append_paragraph_line(block.text, text);
      box = {std::fmin(box[0], piece.box[0]), std::fmin(box[1], piece.box[1]), std::fmax(box[2], piece.box[2]),
             std::fmax(box[3], piece.box[3])};
      count_size(sizes, piece.size, piece.characters);
      characters += piece.characters;
      if (all_bold(piece)) bold += piece.characters;
      if (piece.parts >= 3) gapped = true;
    }
    block.bbox = box;
    BlockStyle style;
    style.size = body_size(sizes);
    style.bold = characters > 0 && 2 * bold > characters;
    style.lines = static_cast<std::uint32_t>(open_.size());
    style.space_above = space_above_;
    style.gapped = gapped;
    style.in_margin = open_.size() == 1 && (box[1] > margin_high_ || box[3] < margin_low_);
    style.near_margin = open_.size() == 1 && (box[1] > near_high_ || box[3] < near_low_);
    if (block.type == BlockType::ListItem) block.level = list_level(item_left_, style.size);
    else list_indents_.clear();
    previous_ = open_.back();
    open_.clear();
    if (block.text.empty()) return;
    if (continues_paragraph(block, style)) {
      // A paragraph carried over from the foot of one column to the head of the next.
      Block& previous = out_.blocks.back();
      append_paragraph_line(previous.text, block.text);
      previous.bbox = {std::fmin(previous.bbox[0], box[0]), std::fmin(previous.bbox[1], box[1]),
                       std::fmax(previous.bbox[2], box[2]), std::fmax(previous.bbox[3], box[3])};
      out_.styles.blocks.back().lines += style.lines;
      return;
    }
    out_.blocks.push_back(std::move(block));
    out_.styles.blocks.push_back(style);
  }

 private:
  // Whether `piece` goes on the open block: below its last line in the same column, at
  // the same size and weight, no farther than a paragraph's line spacing, and not the
  // start of a new paragraph (an indented first line, a short last line before it) or
  // of a list item.
  bool continues(const LinePiece& piece, const ListMarker& marker) const {
    const LinePiece& last = *open_.back();
    if (marker.kind != MarkerKind::None || !piece.upright || !last.upright) return false;
    const double size = std::fmax(std::fmax(last.size, piece.size), 1.0);
    if (std::fabs(last.size - piece.size) > 0.08 * size || all_bold(last) != all_bold(piece)) return false;
    const double drop = last.baseline - piece.baseline;
    if (!(drop > 0.3 * size)) return false;
    double limit = 1.7 * size;
    if (open_.size() >= 2) {
      const double spacing = open_[0]->baseline - open_[1]->baseline;
      limit = std::fmax(1.3 * spacing, spacing + 0.25 * size);
    }
    if (drop > limit || !overlaps_horizontally(last.box, piece.box)) return false;
    const double left = open_left_;
    const double right = std::fmax(piece.box[2], open_right_);
    if (marker_.kind != MarkerKind::None) {
      const double front = open_.front()->box[0];
      // An item set with a paragraph's indent wraps back to the column's edge. Until it
      // has, its lines stand under its first line; the first line back at the edge is
      // one that the item's last line, not ending a sentence, reaches as far right as,
      // going on with a word in lower case or the rest of a word broken at the line
      // end. Once it has, its lines go on as a paragraph's do.
      if (!wrapped_) {
        if (piece.box[0] >= front - 0.5 * size) return true;
        const std::string_view text = piece.line.text;
        const bool goes_on = (!text.empty() && text.front() >= 'a' && text.front() <= 'z') ||
                             last.line.text.ends_with('-');
        return goes_on && last.box[2] >= piece.box[2] - size && !ends_sentence(last.line.text);
      }
    }
    // An indented line after lines that start flush opens a paragraph.
    if (open_.size() >= 2 && piece.box[0] > left + 0.8 * size && last.box[0] < left + 0.3 * size) return false;
    // So does a line that starts, as the open first line does, with one mark that is no
    // letter or digit, hanging left of the lines between: the items of a list whose
    // bullets the font gives as another character ("!" for a bullet).
    const double first = open_.front()->box[0];
    if (open_.size() >= 2 && first < open_[1]->box[0] - 0.8 * size && std::fabs(piece.box[0] - first) < 0.3 * size) {
      const std::string_view mark = leading_mark(open_.front()->line.text);
      if (!mark.empty() && mark == leading_mark(piece.line.text)) return false;
    }
    // A clearly shorter line that ends a sentence closes one.
    const double width = right - left;
    if (last.box[2] < right - std::fmax(4.0 * size, 0.2 * width) && ends_sentence(last.line.text)) return false;
    return true;
  }

  // Whether the paragraph `block` goes on the paragraph before it, carried over to
  // another column: that one ends with a word broken by a hyphen, this one starts in
  // lower case, the two at one size and weight, this one above or beside the other.
  bool continues_paragraph(const Block& block, const BlockStyle& style) const {
    if (out_.blocks.empty() || block.type != BlockType::Paragraph) return false;
    const Block& previous = out_.blocks.back();
    const BlockStyle& before = out_.styles.blocks.back();
    if (previous.type != BlockType::Paragraph || before.bold != style.bold ||
        std::fabs(before.size - style.size) > 0.08 * std::fmax(style.size, 1.0)) {
      return false;
    }
    const std::string& text = previous.text;
    const bool broken = text.size() >= 2 && text.back() == '-' && text[text.size() - 2] != ' ' &&
                        text[text.size() - 2] != '-';
    const char first = block.text.front();
    const bool elsewhere = block.bbox[3] > previous.bbox[1] || block.bbox[0] >= previous.bbox[2];
    return broken && first >= 'a' && first <= 'z' && elsewhere;
  }

  // The nesting of a list item by its indent among the list items just before it.
  std::uint32_t list_level(double x, double size) {
    const double step = 0.8 * std::fmax(size, 1.0);
    while (!list_indents_.empty() && x < list_indents_.back() - step) list_indents_.pop_back();
    if (list_indents_.empty() || x > list_indents_.back() + step) {
      if (list_indents_.size() < kMaxListLevel) list_indents_.push_back(x);
    }
    return static_cast<std::uint32_t>(std::max<std::size_t>(list_indents_.size(), 1));
  }

  PageStructure& out_;
  std::vector<const LinePiece*> open_;
  double open_left_ = 0.0;
  double open_right_ = 0.0;
  bool wrapped_ = false;
  double item_left_ = 0.0;
  ListMarker marker_;
  double space_above_ = 1e9;
  const LinePiece* previous_ = nullptr;
  std::vector<double> list_indents_;
  double margin_low_ = 0.0;
  double margin_high_ = 0.0;
  double near_low_ = 0.0;
  double near_high_ = 0.0;
};

// A table block's text: each row's cells that hold text, apart by spaces (a cell's own
// lines too), the rows apart by line feeds.
std::string table_text(const Table& table) {
  std::string text;
  for (const auto& row : table.cells) {
    std::string line;
    for (const std::string& cell : row) {
      if (cell.empty()) continue;
      if (!line.empty()) line += ' ';
      for (const char c : cell) line += c == '\n' ? ' ' : c;
    }
    if (line.empty()) continue;
    if (!text.empty()) text += '\n';
    text += line;
  }
  return text;
}

// A note's share of the body size at most: footnotes are set smaller than the text.
constexpr double kNoteSize = 0.95;

// Whether `text` starts with a note's mark: a number of up to three digits or a
// reference symbol (*, †, ‡, §), then a letter, after white space or not ("34 Richard",
// "*Corresponding", "2. Content"); a page number before a running title ("312 | Fish")
// is none.
bool starts_with_note_mark(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && at < 4 && text[at] >= '0' && text[at] <= '9') ++at;
  if (at == 4) return false;
  if (at == 0) {
    for (const std::string_view mark : {"*", "\xE2\x80\xA0", "\xE2\x80\xA1", "\xC2\xA7"}) {
      if (text.starts_with(mark)) {
        at = mark.size();
        break;
      }
    }
    if (at == 0) return false;
  }
  if (at < text.size() && text[at] == '.') ++at;
  while (at < text.size() && text[at] == ' ') ++at;
  if (at == text.size()) return false;
  const auto next = static_cast<unsigned char>(text[at]);
  return (next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z') || next >= 0x80;
}

// Footnotes at the foot of a column read after the text of the columns beside it: a
// run of blocks set smaller than the block above them in their column, with nothing
// of that size below them there and one of them starting with a note's mark, that
// reading order puts before text of that size in another column moves after the last
// such block, so that the text reads on from column to column and the notes follow,
// in their order.
void read_notes_last(PageStructure& out) {
  std::vector<Block>& blocks = out.blocks;
  std::vector<BlockStyle>& styles = out.styles.blocks;
  if (blocks.size() != styles.size() || blocks.size() > limits::kMaxNoteBlocks) return;
  const auto text_block = [&](std::size_t i) {
    return blocks[i].type == BlockType::Paragraph || blocks[i].type == BlockType::ListItem ||
           blocks[i].type == BlockType::Heading;
  };
  // Each move carries a run forward past another column's text; a run moved once is
  // beside that text and never moved again, so there are fewer moves than blocks.
  std::size_t moves = 0;
  for (std::size_t i = 1; i < blocks.size() && moves < blocks.size();) {
    const std::size_t above = i - 1;
    const double size = styles[above].size;
    const auto small = [&](std::size_t k) { return text_block(k) && styles[k].size <= kNoteSize * size; };
    const auto large = [&](std::size_t k) {
      return text_block(k) && !styles[k].in_margin && styles[k].size > kNoteSize * size;
    };
    if (!text_block(above) || styles[above].in_margin || !small(i) ||
        !overlaps_horizontally(blocks[above].bbox, blocks[i].bbox) || blocks[above].bbox[1] < blocks[i].bbox[3] - 1.0) {
      ++i;
      continue;
    }
    std::size_t end = i;
    bool marked = false;
    while (end < blocks.size() && small(end)) marked |= starts_with_note_mark(blocks[end++].text);
    // Nothing as large below the run in its column, and text as large in another column
    // read after it: the last such block is where the run goes.
    bool foot = marked;
    std::size_t after = 0;
    for (std::size_t j = 0; j < blocks.size() && foot; ++j) {
      if (!large(j)) continue;
      bool apart = true;
      for (std::size_t k = i; k < end; ++k) {
        if (!overlaps_horizontally(blocks[j].bbox, blocks[k].bbox)) continue;
        apart = false;
        if (blocks[j].bbox[3] <= blocks[k].bbox[1] + 1.0) foot = false;
      }
      if (j >= end && apart) after = j;
    }
    if (!foot || after == 0) {
      i = end;
      continue;
    }
    std::rotate(blocks.begin() + static_cast<std::ptrdiff_t>(i), blocks.begin() + static_cast<std::ptrdiff_t>(end),
                blocks.begin() + static_cast<std::ptrdiff_t>(after) + 1);
    std::rotate(styles.begin() + static_cast<std::ptrdiff_t>(i), styles.begin() + static_cast<std::ptrdiff_t>(end),
                styles.begin() + static_cast<std::ptrdiff_t>(after) + 1);
    // The blocks that moved up take the run's place; the run now follows `after`.
    ++moves;
  }
}

}  // namespace

std::vector<const TextRun*> runs_outside_tables(std::span<const TextRun* const> shown, std::span<const Table> tables) {
  std::vector<std::array<double, 4>> boxes;
  for (const Table& table : tables) {
    if (table.bbox) boxes.push_back(normalised(*table.bbox));
  }
  if (boxes.empty()) return {shown.begin(), shown.end()};
  std::vector<const TextRun*> kept;
  kept.reserve(shown.size());
  for (const TextRun* run : shown) {
    const double size = std::fabs(run->page_size);
    const double cx = 0.5 * (run->x + run->end_x);
    const double cy = 0.5 * (run->y + run->end_y) + 0.3 * size;
    const bool inside = std::any_of(boxes.begin(), boxes.end(), [&](const std::array<double, 4>& box) {
      return cx >= box[0] && cx <= box[2] && cy >= box[1] && cy <= box[3];
    });
    if (!inside) kept.push_back(run);
  }
  return kept;
}

void count_table_text(SizeCounts& sizes, std::span<const TextRun* const> shown,
                      std::span<const TextRun* const> flowing) {
  std::size_t next = 0;
  for (const TextRun* run : shown) {
    if (next < flowing.size() && flowing[next] == run) {
      ++next;
      continue;
    }
    std::size_t characters = 0;
    for (const char c : run->text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 && c != ' ';
    count_size(sizes, std::fabs(run->page_size), characters);
  }
}

PageStructure structure_page(const LayoutResult& layout, std::span<const Table> tables,
                             const std::array<double, 4>& media_box, std::span<const std::array<double, 4>> images) {
  PageStructure out;
  std::vector<LinePiece> pieces = line_pieces(layout);
  attach_raised_marks(pieces);
  for (const LinePiece& piece : pieces) count_size(out.styles.sizes, piece.size, piece.characters);
  const double unit = body_size(out.styles.sizes);
  std::vector<ReadLine> lines = read_lines(pieces, tables, unit, mostly_right_to_left(pieces), images, media_box);
  BlockBuilder builder(out, media_box);
  out.lines.reserve(lines.size());
  for (ReadLine& line : lines) {
    builder.add(line);
    if (!line.table) out.lines.push_back(line.piece.line);
  }
  builder.close();
  read_notes_last(out);
  for (Block& block : out.blocks) {
    if (block.table && *block.table < tables.size()) block.text = table_text(tables[*block.table]);
  }
  return out;
}

}  // namespace folioscan
