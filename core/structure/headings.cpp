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

bool reads_as_heading(const Block& block, const BlockStyle& style, double body) {
  if (block.type != BlockType::Paragraph && !(block.type == BlockType::ListItem && block.ordered)) return false;
  if (style.gapped || style.lines == 0 || style.lines > 3) return false;
  // A running header or footer: a line in the margin band, or near it with a page
  // number at either end ("314 Yarrow", "Online Survey | 39").
  if (style.in_margin || (style.near_margin && has_page_number(block.text))) return false;
  const TextShape shape = shape_of(block.text);
  // Mostly letters: "10.5 N/A" is a table's cell, "2023" a year.
  if (shape.letters < 3 || 2 * shape.letters < shape.visible || shape.characters > 160) return false;
  if (shape.last == ',' || shape.last == ';') return false;
  // A title set larger may end with a full stop; at body size that is a sentence.
  const bool larger = style.size >= body * 1.15 && style.size - body >= 1.0;
  if (larger) return shape.last != '.' || shape.characters <= 80;
  if (shape.last == '.') return false;
  const bool at_body = style.size >= body * 0.9;
  if (style.bold && at_body && style.lines <= 2 && shape.characters <= 100) return true;
  return at_body && style.lines == 1 && shape.characters <= 80 && style.space_above >= 1.6 &&
         is_section_number(block.text);
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
    for (std::size_t b = 0; b < blocks.size() && b < styles[p].blocks.size(); ++b) {
      if (!reads_as_heading(blocks[b], styles[p].blocks[b], body)) continue;
      blocks[b].type = BlockType::Heading;
      blocks[b].ordered = false;
      heading_sizes.push_back(rounded(styles[p].blocks[b].size));
    }
  }
  std::sort(heading_sizes.begin(), heading_sizes.end(), std::greater<>());
  heading_sizes.erase(std::unique(heading_sizes.begin(), heading_sizes.end()), heading_sizes.end());
  for (std::size_t p = 0; p < pages.size() && p < styles.size(); ++p) {
    if (!pages[p].blocks) continue;
    std::vector<Block>& blocks = *pages[p].blocks;
    for (std::size_t b = 0; b < blocks.size() && b < styles[p].blocks.size(); ++b) {
      if (blocks[b].type != BlockType::Heading) continue;
      const double size = rounded(styles[p].blocks[b].size);
      const auto rank = static_cast<std::uint32_t>(
          std::lower_bound(heading_sizes.begin(), heading_sizes.end(), size, std::greater<>()) - heading_sizes.begin());
      blocks[b].level = std::min(rank + 1, kMaxLevel);
    }
  }
}

}  // namespace folioscan
