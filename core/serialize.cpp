// The three text writers (pretty JSON, Markdown, standalone HTML) and the JSON
// number form. Each writer appends front to back into one growing string; none
// builds an intermediate tree and none can fail.
#include "serialize.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <system_error>
#include <utility>

namespace folioscan {
namespace {

// ---------------------------------------------------------------- numbers

// The lowest and highest decimal exponent (of the first significant digit) that
// is still written in plain notation; outside this window scientific is used.
constexpr int kPlainExponentMin = -5;
constexpr int kPlainExponentMax = 15;

void append_unsigned(std::string& out, std::uint64_t value) {
  std::array<char, 24> buf{};
  auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value);
  (void)ec;  // 24 bytes always hold a 64-bit integer
  out.append(buf.data(), end);
}

// ---------------------------------------------------------------- JSON

constexpr std::string_view kHexDigits = "0123456789abcdef";

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
    out.append(text, run_start, i - run_start);
    run_start = i + 1;
    switch (byte) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        out += "\\u00";
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 0xF];
        break;
    }
  }
  out.append(text, run_start, std::string_view::npos);
  out += '"';
}

// Writes the pretty layout: two spaces per level, ",\n" between entries, the
// closing bracket on its own line at the level of the line that opened it, and
// "[]" / "{}" for empty containers.
class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  void open(char bracket) {
    out_ += bracket;
    ++depth_;
    first_ = true;
  }

  void close(char bracket) {
    --depth_;
    if (!first_) {
      out_ += '\n';
      indent();
    }
    out_ += bracket;
    first_ = false;
  }

  // Starts an array element; the caller then writes the value.
  void element() {
    out_ += first_ ? "\n" : ",\n";
    first_ = false;
    indent();
  }

  // Starts an object member; the caller then writes the value.
  void key(std::string_view name) {
    element();
    append_json_string(out_, name);
    out_ += ": ";
  }

  void string_value(std::string_view text) { append_json_string(out_, text); }
  void number_value(double value) { append_json_number(out_, value); }
  void integer_value(std::uint64_t value) { append_unsigned(out_, value); }
  void bool_value(bool value) { out_ += value ? "true" : "false"; }
  void null_value() { out_ += "null"; }

 private:
  void indent() { out_.append(static_cast<std::size_t>(depth_) * 2, ' '); }

  std::string& out_;
  int depth_ = 0;
  // True right after an opening bracket, until the first entry is started.
  bool first_ = true;
};

void write_json_line(JsonWriter& json, const TextLine& line) {
  json.open('{');
  json.key("text");
  json.string_value(line.text);
  json.key("x");
  json.number_value(line.x);
  json.key("y");
  json.number_value(line.y);
  json.close('}');
}

void write_json_table(JsonWriter& json, const Table& table) {
  json.open('{');
  json.key("rows");
  json.integer_value(table.rows);
  json.key("cols");
  json.integer_value(table.cols);
  json.key("cells");
  json.open('[');
  for (const auto& row : table.cells) {
    json.element();
    json.open('[');
    for (const auto& cell : row) {
      json.element();
      json.string_value(cell);
    }
    json.close(']');
  }
  json.close(']');
  json.close('}');
}

void write_json_image(JsonWriter& json, const ParsedImage& image) {
  json.open('{');
  json.key("name");
  json.string_value(image.name);
  json.key("format");
  json.string_value(image_format_name(image.format));
  json.key("width");
  json.integer_value(image.width);
  json.key("height");
  json.integer_value(image.height);
  json.key("bits_per_component");
  json.integer_value(image.bits_per_component);
  json.key("color_space");
  json.string_value(image.color_space);
  json.close('}');
}

void write_json_page(JsonWriter& json, const Page& page) {
  json.open('{');
  json.key("width");
  json.number_value(page.width);
  json.key("height");
  json.number_value(page.height);
  json.key("lines");
  json.open('[');
  for (const auto& line : page.lines) {
    json.element();
    write_json_line(json, line);
  }
  json.close(']');
  json.key("needs_ocr");
  json.bool_value(page.needs_ocr);
  json.key("tables");
  json.open('[');
  for (const auto& table : page.tables) {
    json.element();
    write_json_table(json, table);
  }
  json.close(']');
  json.key("images");
  json.open('[');
  for (const auto& image : page.images) {
    json.element();
    write_json_image(json, image);
  }
  json.close(']');
  json.close('}');
}

// ---------------------------------------------------------------- Markdown

// The whole text of a page that needs OCR; the dash is U+2014.
constexpr std::string_view kOcrMarker = "_[scanned page \xE2\x80\x94 text extraction requires OCR]_";
constexpr std::string_view kPageSeparator = "\n\n---\n\n";
constexpr std::string_view kBlockSeparator = "\n\n";

void append_markdown_row(std::string& out, const std::vector<std::string>& row) {
  out += "| ";
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i != 0) out += " | ";
    for (char c : row[i]) {
      if (c == '|') out += '\\';
      out += c;
    }
  }
  out += " |";
}

void append_markdown_separator_row(std::string& out, std::uint64_t cols) {
  out += "| ";
  for (std::uint64_t i = 0; i < cols; ++i) {
    if (i != 0) out += " | ";
    out += "---";
  }
  out += " |";
}

// Appends the table block; appends nothing when the block is empty (no rows and
// no separator row), so the caller can tell by the length whether it was kept.
void append_markdown_table(std::string& out, const Table& table) {
  const bool has_separator = table.rows != 0 && table.cols != 0;
  if (table.cells.empty()) {
    if (has_separator) append_markdown_separator_row(out, table.cols);
    return;
  }
  for (std::size_t i = 0; i < table.cells.size(); ++i) {
    if (i != 0) out += '\n';
    append_markdown_row(out, table.cells[i]);
    if (i == 0 && has_separator) {
      out += '\n';
      append_markdown_separator_row(out, table.cols);
    }
  }
}

void append_markdown_page(std::string& out, const Page& page) {
  if (page.needs_ocr) {
    out += kOcrMarker;
    return;
  }
  const std::size_t page_start = out.size();
  // page_text, written in place; it is an empty block only when nothing was written.
  for (std::size_t i = 0; i < page.lines.size(); ++i) {
    if (i != 0) out += '\n';
    out += page.lines[i].text;
  }
  bool have_block = out.size() != page_start;
  for (const auto& table : page.tables) {
    const std::size_t mark = out.size();
    if (have_block) out += kBlockSeparator;
    const std::size_t block_start = out.size();
    append_markdown_table(out, table);
    if (out.size() == block_start) {
      out.resize(mark);  // empty block: drop it with its separator
    } else {
      have_block = true;
    }
  }
}

// ---------------------------------------------------------------- HTML

constexpr std::string_view kHtmlHead =
    "<!DOCTYPE html>\n<html>\n<head><meta charset=\"utf-8\"><title>folioscan</title></head>\n"
    "<body>\n";
constexpr std::string_view kHtmlTail = "</body>\n</html>\n";

void append_html_escaped(std::string& out, std::string_view text) {
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string_view replacement;
    switch (text[i]) {
      case '&': replacement = "&amp;"; break;
      case '<': replacement = "&lt;"; break;
      case '>': replacement = "&gt;"; break;
      case '"': replacement = "&quot;"; break;
      case '\'': replacement = "&#39;"; break;
      default: continue;
    }
    out.append(text, run_start, i - run_start);
    out += replacement;
    run_start = i + 1;
  }
  out.append(text, run_start, std::string_view::npos);
}

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

// ---------------------------------------------------------------- sizing

// What a writer adds around each item, roughly; only for sizing the output up front.
struct Overhead {
  std::size_t page;
  std::size_t line;
  std::size_t cell;
};

// A size for the output buffer: the document's texts plus the writer's overhead per
// page, line and cell. Reserved once, so a long document does not regrow and copy its
// output again and again; a short estimate only means the buffer grows as before.
std::size_t estimated_size(const Document& doc, Overhead overhead) {
  std::size_t size = 0;
  for (const Page& page : doc.pages) {
    size += overhead.page;
    for (const TextLine& line : page.lines) size += line.text.size() + overhead.line;
    for (const Table& table : page.tables) {
      for (const auto& row : table.cells) {
        for (const std::string& cell : row) size += cell.size() + overhead.cell;
      }
    }
  }
  return size;
}

}  // namespace

void append_json_number(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  // Shortest round-trip digits in scientific form, e.g. "-1.2345e+20", "0e+00".
  std::array<char, 32> buf{};
  auto [end, ec] =
      std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::scientific);
  (void)ec;  // 32 bytes always hold the shortest scientific form of a double
  std::string_view sci(buf.data(), static_cast<std::size_t>(end - buf.data()));

  if (!sci.empty() && sci.front() == '-') {
    out += '-';
    sci.remove_prefix(1);
  }
  const std::size_t e_pos = sci.find('e');
  const std::string_view mantissa = sci.substr(0, e_pos);
  const std::string_view exponent_text = sci.substr(e_pos + 1);

  // Significant digits without the point.
  std::array<char, 24> digits{};
  std::size_t digit_count = 0;
  for (char c : mantissa) {
    if (c != '.') digits[digit_count++] = c;
  }
  int exponent = 0;
  {
    std::string_view magnitude = exponent_text;
    const bool negative = !magnitude.empty() && magnitude.front() == '-';
    if (!magnitude.empty() && (magnitude.front() == '-' || magnitude.front() == '+')) {
      magnitude.remove_prefix(1);
    }
    for (char c : magnitude) exponent = exponent * 10 + (c - '0');
    if (negative) exponent = -exponent;
  }
  const std::string_view all_digits(digits.data(), digit_count);

  if (exponent >= kPlainExponentMin && exponent <= kPlainExponentMax) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-exponent - 1), '0');
      out += all_digits;
      return;
    }
    const auto int_len = static_cast<std::size_t>(exponent) + 1;
    if (digit_count <= int_len) {
      out += all_digits;
      out.append(int_len - digit_count, '0');
      out += ".0";
    } else {
      out += all_digits.substr(0, int_len);
      out += '.';
      out += all_digits.substr(int_len);
    }
    return;
  }

  out += all_digits.front();
  if (digit_count > 1) {
    out += '.';
    out += all_digits.substr(1);
  }
  out += 'e';
  out += exponent < 0 ? '-' : '+';
  append_unsigned(out, static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent));
}

std::string document_to_json(const Document& doc) {
  std::string out;
  // Sized from the document up front rather than grown from 128 bytes.
  out.reserve(128 + estimated_size(doc, {320, 90, 16}));
  JsonWriter json(out);
  json.open('{');
  json.key("version");
  json.string_value(doc.version);
  json.key("pages");
  json.open('[');
  for (const auto& page : doc.pages) {
    json.element();
    write_json_page(json, page);
  }
  json.close(']');
  if (doc.warnings) {
    json.key("warnings");
    json.open('[');
    for (const Warning& warning : *doc.warnings) {
      json.element();
      json.open('{');
      json.key("page");
      if (warning.page) {
        json.integer_value(*warning.page);
      } else {
        json.null_value();
      }
      json.key("message");
      json.string_value(warning.message);
      json.close('}');
    }
    json.close(']');
  }
  json.close('}');
  return out;
}

std::string document_to_markdown(const Document& doc) {
  std::string out;
  out.reserve(estimated_size(doc, {kPageSeparator.size(), 1, 3}));
  for (std::size_t i = 0; i < doc.pages.size(); ++i) {
    if (i != 0) out += kPageSeparator;
    append_markdown_page(out, doc.pages[i]);
  }
  return out;
}

std::vector<std::string> markdown_pages(const Document& doc) {
  std::vector<std::string> pages;
  pages.reserve(doc.pages.size());
  for (const auto& page : doc.pages) {
    std::string out;
    append_markdown_page(out, page);
    pages.push_back(std::move(out));
  }
  return pages;
}

std::string document_to_html(const Document& doc) {
  std::string out;
  // Sized for the head, the tail and the document's pages, not for the head alone.
  out.reserve(kHtmlHead.size() + kHtmlTail.size() + estimated_size(doc, {80, 8, 9}));
  out += kHtmlHead;
  for (const auto& page : doc.pages) append_html_page(out, page);
  out += kHtmlTail;
  return out;
}

}  // namespace folioscan
