// The standalone HTML writer: one section per page sized to the page, a paragraph per
// line and a table per table. It appends front to back into one growing string and
// cannot fail.
#include "serialize.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <system_error>
#include <vector>

#include "../structure/lists.h"
#include "cell_paragraphs.h"
#include "escape.h"
#include "output_size.h"

namespace folioscan {
namespace {

constexpr std::string_view kHtmlHead =
    "<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>folioscan</title></head>\n"
    "<body>\n";
constexpr std::string_view kHtmlTail = "</body>\n</html>\n";

// A page dimension as whole CSS pixels: nearest integer, exact halves to the
// even neighbour. A non-finite value (only reachable through an overflowing
// page box) is written as 0 so the style attribute stays well-formed.
void append_html_dimension(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += '0';
    return;
  }
  // Round half to even explicitly so the result does not depend on the
  // floating-point rounding mode in force.
  double rounded = std::floor(value);
  const double diff = value - rounded;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
  if (rounded == 0.0) rounded = 0.0;  // no "-0"
  // Every double of this size is an integer, so the fixed form has no fraction;
  // 310 digits and a sign cover the largest double.
  std::array<char, 320> buf{};
  auto [end, ec] =
      std::to_chars(buf.data(), buf.data() + buf.size(), rounded, std::chars_format::fixed, 0);
  (void)ec;
  out.append(buf.data(), end);
}

// A table's cell text; a recovered cell's paragraphs apart by "<br>".
void append_html_cell_text(std::string& out, const std::string& text, bool line_breaks) {
  if (line_breaks) {
    append_cell_paragraphs(out, text, append_html_escaped);
  } else {
    append_html_escaped(out, text);
  }
}

void append_html_count(std::string& out, std::uint64_t value) {
  std::array<char, 24> buf{};
  auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value);
  (void)ec;
  out.append(buf.data(), end);
}

void append_html_table(std::string& out, const Table& table) {
  const bool recovered = table.bbox.has_value();
  // The positions a merged cell covers besides its own are not written.
  std::vector<std::vector<const CellSpan*>> span_at;
  std::vector<std::vector<bool>> covered;
  if (!table.spans.empty()) {
    span_at.assign(table.cells.size(), {});
    covered.assign(table.cells.size(), {});
    for (std::size_t r = 0; r < table.cells.size(); ++r) {
      span_at[r].assign(table.cells[r].size(), nullptr);
      covered[r].assign(table.cells[r].size(), false);
    }
    for (const CellSpan& span : table.spans) {
      if (span.row >= table.cells.size() || span.col >= table.cells[span.row].size()) continue;
      span_at[span.row][span.col] = &span;
      for (std::uint64_t r = span.row; r < span.row + span.rows && r < table.cells.size(); ++r) {
        for (std::uint64_t c = span.col; c < span.col + span.cols && c < covered[r].size(); ++c) {
          covered[r][c] = r != span.row || c != span.col;
        }
      }
    }
  }
  out += "<table>\n";
  for (std::size_t r = 0; r < table.cells.size(); ++r) {
    out += "<tr>";
    for (std::size_t c = 0; c < table.cells[r].size(); ++c) {
      if (!covered.empty() && covered[r][c]) continue;
      out += "<td";
      if (const CellSpan* span = span_at.empty() ? nullptr : span_at[r][c]) {
        if (span->rows > 1) {
          out += " rowspan=\"";
          append_html_count(out, span->rows);
          out += '"';
        }
        if (span->cols > 1) {
          out += " colspan=\"";
          append_html_count(out, span->cols);
          out += '"';
        }
      }
      out += '>';
      append_html_cell_text(out, table.cells[r][c], recovered);
      out += "</td>";
    }
    out += "</tr>\n";
  }
  out += "</table>\n";
}

// A recovered page's blocks: headings, paragraphs, lists nested by their items'
// levels, placed tables where they stand, then the tables without a place.
void append_html_blocks(std::string& out, const Page& page, const WriterOptions& options) {
  std::vector<bool> placed(page.tables.size(), false);
  std::vector<bool> open_lists;  // ordered or not, outermost first
  const auto close_lists = [&](std::size_t keep) {
    while (open_lists.size() > keep) {
      out += open_lists.back() ? "</ol>\n" : "</ul>\n";
      open_lists.pop_back();
    }
  };
  for (const Block& block : *page.blocks) {
    if (block.type != BlockType::ListItem) close_lists(0);
    switch (block.type) {
      case BlockType::Heading: {
        const char digit = static_cast<char>('0' + std::min<std::uint32_t>(block.level.value_or(1), 6));
        out += "<h";
        out += digit;
        out += '>';
        append_html_escaped(out, block.text);
        out += "</h";
        out += digit;
        out += ">\n";
        break;
      }
      case BlockType::ListItem: {
        const std::size_t level = std::max<std::uint32_t>(block.level.value_or(1), 1);
        close_lists(level);
        if (open_lists.size() == level && open_lists.back() != block.ordered) close_lists(level - 1);
        while (open_lists.size() < level) {
          out += block.ordered ? "<ol>\n" : "<ul>\n";
          open_lists.push_back(block.ordered);
        }
        std::string_view text = block.text;
        if (block.ordered) text.remove_prefix(std::min(list_marker(text).length, text.size()));
        out += "<li>";
        append_html_escaped(out, text);
        out += "</li>\n";
        break;
      }
      case BlockType::Table:
        if (block.table && *block.table < page.tables.size() && !placed[*block.table]) {
          placed[*block.table] = true;
          append_html_table(out, page.tables[*block.table]);
        }
        break;
      case BlockType::Image:
        if (options.image_placeholders && block.image && *block.image < page.images.size()) {
          out += "<img alt=\"";
          append_html_escaped(out, page.images[*block.image].name);
          out += "\">\n";
        }
        break;
      case BlockType::Paragraph:
        out += "<p>";
        append_html_escaped(out, block.text);
        out += "</p>\n";
        break;
    }
  }
  close_lists(0);
  for (std::size_t i = 0; i < page.tables.size(); ++i) {
    if (!placed[i]) append_html_table(out, page.tables[i]);
  }
}

void append_html_page(std::string& out, const Page& page, const WriterOptions& options) {
  out += "<section class=\"page\" style=\"width:";
  append_html_dimension(out, page.width);
  out += "px;height:";
  append_html_dimension(out, page.height);
  out += "px\"";
  if (page.needs_ocr) out += " data-needs-ocr=\"true\"";
  out += ">\n";
  if (page.blocks) {
    append_html_blocks(out, page, options);
    out += "</section>\n";
    return;
  }
  for (const auto& line : page.lines) {
    out += "<p>";
    append_html_escaped(out, line.text);
    out += "</p>\n";
  }
  for (const auto& table : page.tables) append_html_table(out, table);
  out += "</section>\n";
}

}  // namespace

std::string document_to_html(const Document& doc, const WriterOptions& options) {
  std::string out;
  // Sized for the head, the tail and the document's pages.
  out.reserve(kHtmlHead.size() + kHtmlTail.size() + estimated_output_size(doc, {80, 8, 9}));
  out += kHtmlHead;
  for (const auto& page : doc.pages) append_html_page(out, page, options);
  out += kHtmlTail;
  return out;
}

}  // namespace folioscan
