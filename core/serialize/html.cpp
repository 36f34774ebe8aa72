// The standalone HTML writer: one section per page sized to the page, a paragraph per
// line and a table per table. It appends front to back into one growing string and
// cannot fail.
#include "serialize.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

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

void append_html_page(std::string& out, const Page& page) {
  out += "<section class=\"page\" style=\"width:";
  append_html_dimension(out, page.width);
  out += "px;height:";
  append_html_dimension(out, page.height);
  out += "px\"";
  if (page.needs_ocr) out += " data-needs-ocr=\"true\"";
  out += ">\n";
  for (const auto& line : page.lines) {
    out += "<p>";
    append_html_escaped(out, line.text);
    out += "</p>\n";
  }
  for (const auto& table : page.tables) {
    out += "<table>\n";
    for (const auto& row : table.cells) {
      out += "<tr>";
      for (const auto& cell : row) {
        out += "<td>";
        append_html_escaped(out, cell);
        out += "</td>";
      }
      out += "</tr>\n";
    }
    out += "</table>\n";
  }
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
