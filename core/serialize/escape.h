// Escaping text for the three writers: JSON string literals, Markdown table cells and
// HTML text and attribute values. Each appends to `out`; defined here so that the
// writers inline them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace folioscan {

inline constexpr std::string_view kJsonHexDigits = "0123456789abcdef";

// `text` as a JSON string literal, quotes included: '"', '\\' and the control
// characters escaped (the short forms where JSON has one, else \u00XX); all other bytes
// as they are.
inline void append_json_string(std::string& out, std::string_view text) {
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
        out += kJsonHexDigits[byte >> 4];
        out += kJsonHexDigits[byte & 0xF];
        break;
    }
  }
  out.append(text, run_start, std::string_view::npos);
  out += '"';
}

// `text` as the content of a Markdown table cell: each '|' preceded by a backslash.
inline void append_markdown_cell(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '|') out += '\\';
    out += c;
  }
}

// `text` with &, <, >, " and ' written as character references.
inline void append_html_escaped(std::string& out, std::string_view text) {
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
