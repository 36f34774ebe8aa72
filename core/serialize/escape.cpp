// Escaping text for the JSON, Markdown and HTML writers. Runs of bytes that need no
// escape are appended whole.
#include "escape.h"

#include <cstddef>

namespace folioscan {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

}  // namespace

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

void append_markdown_cell(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '|') out += '\\';
    out += c;
  }
}

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

}  // namespace folioscan
