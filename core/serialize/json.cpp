// The pretty JSON writer and the JSON number form. It appends front to back into one
// growing string, builds no intermediate tree and cannot fail.
#include "serialize.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <system_error>

#include "escape.h"
#include "output_size.h"

namespace folioscan {
namespace {

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

void write_json_block(JsonWriter& json, const Block& block) {
  json.open('{');
  json.key("type");
  json.string_value(block_type_name(block.type));
  json.key("text");
  json.string_value(block.text);
  json.key("bbox");
  json.open('[');
  for (const double value : block.bbox) {
    json.element();
    json.number_value(value);
  }
  json.close(']');
  if (block.level) {
    json.key("level");
    json.integer_value(*block.level);
  }
  if (block.table) {
    json.key("table");
    json.integer_value(*block.table);
  }
  if (block.image) {
    json.key("image");
    json.integer_value(*block.image);
  }
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
  if (table.bbox) {
    json.key("bbox");
    json.open('[');
    for (const double v : *table.bbox) {
      json.element();
      json.number_value(v);
    }
    json.close(']');
  }
  if (!table.spans.empty()) {
    json.key("spans");
    json.open('[');
    for (const CellSpan& span : table.spans) {
      json.element();
      json.open('{');
      json.key("row");
      json.integer_value(span.row);
      json.key("col");
      json.integer_value(span.col);
      json.key("rows");
      json.integer_value(span.rows);
      json.key("cols");
      json.integer_value(span.cols);
      json.close('}');
    }
    json.close(']');
  }
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
  if (page.blocks) {
    json.key("blocks");
    json.open('[');
    for (const auto& block : *page.blocks) {
      json.element();
      write_json_block(json, block);
    }
    json.close(']');
  }
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
  // Sized from the document up front.
  out.reserve(128 + estimated_output_size(doc, {320, 90, 16}));
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

}  // namespace folioscan
