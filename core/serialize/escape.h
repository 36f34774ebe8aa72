// Escaping text for the three writers: JSON string literals, Markdown table cells and
// HTML text and attribute values. Each appends to `out`.
#pragma once

#include <string>
#include <string_view>

namespace folioscan {

// `text` as a JSON string literal, quotes included: '"', '\\' and the control
// characters escaped (the short forms where JSON has one, else \u00XX); all other bytes
// as they are.
void append_json_string(std::string& out, std::string_view text);

// `text` as the content of a Markdown table cell: each '|' preceded by a backslash.
void append_markdown_cell(std::string& out, std::string_view text);

// `text` with &, <, >, " and ' written as character references.
void append_html_escaped(std::string& out, std::string_view text);

}  // namespace folioscan
