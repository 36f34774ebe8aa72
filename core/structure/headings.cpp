// Heading detection and levels.
#include "headings.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace folioscan {
namespace {

// Pages with fewer characters than this take the document's body size.
constexpr std::size_t kShortPage = 400;
constexpr std::uint32_t kMaxLevel = 6;

double rounded(double size) { return std::nearbyint(size * 4.0) / 4.0; }

struct TextShape {
  std::size_t letters = 0;
  std::size_t characters = 0;
  std::size_t visible = 0;  // characters other than spaces
  char last = 0;
};

TextShape shape_of(std::string_view text) {
  TextShape shape;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) == 0x80) continue;
    ++shape.characters;
    if (c != ' ' && c != '\t') ++shape.visible;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || byte >= 0xC0) ++shape.letters;
  }
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  shape.last = text.empty() ? 0 : text.back();
  return shape;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// "1 ", "1.", "2.3", "B.3", "IV.", "Chapter 4", "Section 2", "Appendix A": a number that
// opens a section title.
bool is_section_number(std::string_view text) {
  for (const std::string_view word : {"Chapter ", "CHAPTER ", "Section ", "SECTION ", "Appendix ", "APPENDIX ",
                                      "Part ", "PART "}) {
    if (text.starts_with(word)) return true;
  }
  std::size_t at = 0;
  if (at < text.size() && text[at] >= 'A' && text[at] <= 'Z' && at + 1 < text.size() && text[at + 1] == '.') {
    at += 2;  // "B.3"
    if (at >= text.size() || !is_digit(text[at])) return false;
  }
  if (at >= text.size() || !is_digit(text[at])) return false;
  while (at < text.size() && (is_digit(text[at]) || text[at] == '.')) ++at;
  return at < text.size() && text[at] == ' ' && at <= 8;
}

// A page number at the end of a line, or one of three digits or more at its start (a
// section number there has one or two: "1 Introduction", "12.3 Results").
bool has_page_number(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty()) return false;
  if (is_digit(text.back())) return true;
  std::size_t digits = 0;
  while (digits < text.size() && is_digit(text[digits])) ++digits;
  return digits >= 3;
}

// "Figure 3.1:", "Fig. 2", "Table 7.1.", "Chart 4": a caption names its figure or table
// by a number.
bool is_caption(std::string_view text) {
  for (const std::string_view word : {"Figure ", "FIGURE ", "Fig. ", "FIG. ", "Table ", "TABLE ", "Tab. ", "Chart ",
                                      "Exhibit ", "Plate ", "Map ", "Graph ", "Box "}) {
    if (text.starts_with(word) && text.size() > word.size() && is_digit(text[word.size()])) return true;
  }
  return false;
}

// A contents entry: a title, leader dots or an ellipsis run, a page number.
bool has_leader(std::string_view text) {
  return text.find("....") != std::string_view::npos || text.find(". . . .") != std::string_view::npos ||
         text.find("\xE2\x80\xA6\xE2\x80\xA6") != std::string_view::npos;  // "……"
}

// A number standing alone, set well larger than the body: a chapter's number
// ("2", "IV") over its title.
bool is_chapter_number(std::string_view text, const BlockStyle& style, double body) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.size() > 4 || style.lines != 1 || style.in_margin || style.near_margin) return false;
  if (!(style.size >= 1.8 * body)) return false;
  const bool digits = std::all_of(text.begin(), text.end(), is_digit);
  const bool roman = std::all_of(text.begin(), text.end(), [](char c) { return c == 'I' || c == 'V' || c == 'X'; });
  return digits || roman;
}

// How a block reads: a heading by its size or weight, a heading only by its number
// (which a run of numbered lines shows to be a list instead), or no heading.
enum class Verdict : unsigned char { None, Heading, Numbered };

Verdict reading_of(const Block& block, const BlockStyle& style, double body) {
  if (block.type != BlockType::Paragraph && !(block.type == BlockType::ListItem && block.ordered)) return Verdict::None;
  if (style.gapped || style.lines == 0 || style.lines > 3) return Verdict::None;
  const Verdict heading = Verdict::Heading;
  const Verdict none = Verdict::None;
  // A running header or footer: a line in the margin band, or near it with a page
  // number at either end ("314 Yarrow", "Online Survey | 39").
  if (style.in_margin || (style.near_margin && has_page_number(block.text))) return none;
  if (is_chapter_number(block.text, style, body)) return heading;
  if (is_caption(block.text) || has_leader(block.text)) return none;
  const TextShape shape = shape_of(block.text);
  // Mostly letters: "10.5 N/A" is a table's cell, "2023" a year.
  if (shape.letters < 3 || 2 * shape.letters < shape.visible || shape.characters > 160) return none;
  if (shape.last == ',' || shape.last == ';') return none;
  // A title set larger may end with a full stop; at body size that is a sentence.
  const bool larger = style.size >= body * 1.15 && style.size - body >= 1.0;
  if (larger) return shape.last != '.' || shape.characters <= 80 ? heading : none;
  if (shape.last == '.') return none;
  const bool at_body = style.size >= body * 0.9;
  if (style.bold && at_body && style.lines <= 2 && shape.characters <= 100) return heading;
  // A number at body size at the head of the page is a running header's page number
  // ("16 Franco and Laguna") more often than a section's.
  const bool numbered = at_body && style.lines == 1 && shape.characters <= 80 && style.space_above >= 1.6 &&
                        !style.near_margin && is_section_number(block.text);
  return numbered ? Verdict::Numbered : none;
}

// The indices of the blocks that are not images, at most `limit` of them.
std::vector<std::size_t> text_blocks(const std::vector<Block>& blocks, std::size_t limit) {
  std::vector<std::size_t> out;
  out.reserve(std::min(blocks.size(), limit));
  for (std::size_t i = 0; i < blocks.size() && out.size() < limit; ++i) {
    if (blocks[i].type != BlockType::Image) out.push_back(i);
  }
  return out;
}

}  // namespace

void count_size(SizeCounts& counts, double size, std::size_t characters) {
  if (!std::isfinite(size) || characters == 0) return;
  const double key = rounded(size);
  for (auto& [known, count] : counts) {
    if (known == key) {
      count += characters;
      return;
    }
  }
  counts.emplace_back(key, characters);
}

double body_size(const SizeCounts& counts) {
  double best = 0.0;
  std::size_t most = 0;
  for (const auto& [size, count] : counts) {
    if (count > most || (count == most && size < best)) {
      most = count;
      best = size;
    }
  }
  return best;
}

void mark_headings(std::span<Page> pages, std::span<const PageStyles> styles) {
  SizeCounts document;
  for (const PageStyles& page : styles) {
    for (const auto& [size, count] : page.sizes) count_size(document, size, count);
  }
  const double document_body = body_size(document);
  std::vector<double> heading_sizes;
  for (std::size_t p = 0; p < pages.size() && p < styles.size(); ++p) {
    if (!pages[p].blocks) continue;
    std::vector<Block>& blocks = *pages[p].blocks;
    std::size_t characters = 0;
    for (const auto& entry : styles[p].sizes) characters += entry.second;
    const double body = characters >= kShortPage ? body_size(styles[p].sizes) : document_body;
    // The styles belong to the text blocks, in order; image blocks placed among them
    // have none.
    const std::vector<std::size_t> text = text_blocks(blocks, styles[p].blocks.size());
    const std::size_t count = text.size();
    std::vector<Verdict> verdicts(count);
    for (std::size_t b = 0; b < count; ++b) verdicts[b] = reading_of(blocks[text[b]], styles[p].blocks[b], body);
    for (std::size_t b = 0; b < count; ++b) {
      if (verdicts[b] == Verdict::None) continue;
      // Numbered lines one after another with no text between them are a list (of
      // steps, of contents), not sections.
      if (verdicts[b] == Verdict::Numbered && ((b > 0 && verdicts[b - 1] == Verdict::Numbered) ||
                                               (b + 1 < count && verdicts[b + 1] == Verdict::Numbered))) {
        continue;
      }
      blocks[text[b]].type = BlockType::Heading;
      blocks[text[b]].ordered = false;
      heading_sizes.push_back(rounded(styles[p].blocks[b].size));
    }
  }
  std::sort(heading_sizes.begin(), heading_sizes.end(), std::greater<>());
  heading_sizes.erase(std::unique(heading_sizes.begin(), heading_sizes.end()), heading_sizes.end());
  for (std::size_t p = 0; p < pages.size() && p < styles.size(); ++p) {
    if (!pages[p].blocks) continue;
    std::vector<Block>& blocks = *pages[p].blocks;
    const std::vector<std::size_t> text = text_blocks(blocks, styles[p].blocks.size());
    for (std::size_t b = 0; b < text.size(); ++b) {
      Block& block = blocks[text[b]];
      if (block.type != BlockType::Heading) continue;
      const double size = rounded(styles[p].blocks[b].size);
      const auto rank = static_cast<std::uint32_t>(
          std::lower_bound(heading_sizes.begin(), heading_sizes.end(), size, std::greater<>()) - heading_sizes.begin());
      block.level = std::min(rank + 1, kMaxLevel);
    }
  }
}

}  // namespace folioscan
