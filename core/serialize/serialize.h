// The three text forms of a Document: pretty JSON, Markdown and standalone HTML.
// Each is one pass into one growing buffer and cannot fail; one file per writer, their
// escaping in escape.h.
#pragma once

#include <string>

#include "../model.h"

namespace folioscan {

std::string document_to_json(const Document& doc);
std::string document_to_markdown(const Document& doc);
std::string document_to_html(const Document& doc);

// Shortest round-trip form, plain between 1e-5 and 1e15, else scientific; "null"
// for NaN and infinities. Appends to `out`.
void append_json_number(std::string& out, double value);

}  // namespace folioscan
