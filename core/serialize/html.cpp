// The standalone HTML writer: one section per page sized to the page, a paragraph per
// line and a table per table. It appends front to back into one growing string and
// cannot fail.
#include "serialize.h"

#include <array>
#include <charconv>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <system_error>
#include <vector>

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

// A table's cell text; a recovered cell's lines apart by "<br>".
void append_html_cell_text(std::string& out, const std::string& text, bool line_breaks) {
  if (!line_breaks) {
    append_html_escaped(out, text);
    return;
  }
  std::string_view rest = text;
  for (std::size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
    append_html_escaped(out, rest.substr(0, end));
    out += "<br>";
    rest.remove_prefix(end + 1);
  }
  append_html_escaped(out, rest);
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

void append_html_line(std::string& out, const TextLine& line) {
  out += "<p>";
  append_html_escaped(out, line.text);
  out += "</p>\n";
}

void append_html_page(std::string& out, const Page& page) {
  out += "<section class=\"page\" style=\"width:";
  append_html_dimension(out, page.width);
  out += "px;height:";
  append_html_dimension(out, page.height);
  out += "px\"";
  if (page.needs_ocr) out += " data-needs-ocr=\"true\"";
  out += ">\n";
  // Recovery's tables, which have a box, stand before the first line below their top
  // edge; the others follow the lines.
  std::vector<const Table*> placed;
  std::vector<const Table*> after;
  for (const Table& table : page.tables) (table.bbox ? placed : after).push_back(&table);
  std::stable_sort(placed.begin(), placed.end(), [](const Table* a, const Table* b) { return (*a->bbox)[3] > (*b->bbox)[3]; });
  std::size_t next = 0;
  for (const auto& line : page.lines) {
    while (next < placed.size() && (*placed[next]->bbox)[3] > line.y) append_html_table(out, *placed[next++]);
    append_html_line(out, line);
  }
  while (next < placed.size()) append_html_table(out, *placed[next++]);
  for (const Table* table : after) append_html_table(out, *table);
  out += "</section>\n";
}

}  // namespace

std::string document_to_html(const Document& doc) {
  std::string out;
  // Sized for the head, the tail and the document's pages.
  out.reserve(kHtmlHead.size() + kHtmlTail.size() + estimated_output_size(doc, {80, 8, 9}));
  out += kHtmlHead;
  for (const auto& page : doc.pages) append_html_page(out, page);
  out += kHtmlTail;
  return out;
}

}  // namespace folioscan
