// The three text forms of a Document: pretty JSON, Markdown and standalone HTML.
// Each is one pass into one growing buffer and cannot fail; one file per writer, their
// escaping in escape.h.
#pragma once

#include <string>
#include <vector>

#include "../model.h"

namespace folioscan {

// Choices of the Markdown and HTML writers for recovered pages' blocks.
struct WriterOptions {
  // Image blocks as a short placeholder ("![Im1]()", <img alt="Im1">) rather than
  // nothing.
  bool image_placeholders = false;
};

std::string document_to_json(const Document& doc);
std::string document_to_markdown(const Document& doc, const WriterOptions& options = {});
// The Markdown of each page on its own, in page order: document_to_markdown is these
// joined with the page separator, which a page's own text can also hold, so callers
// that need one page's Markdown take it from here rather than splitting the document's.
std::vector<std::string> markdown_pages(const Document& doc, const WriterOptions& options = {});
std::string document_to_html(const Document& doc, const WriterOptions& options = {});

// Shortest round-trip form, plain between 1e-5 and 1e15, else scientific; "null"
// for NaN and infinities. Appends to `out`.
void append_json_number(std::string& out, double value);

}  // namespace folioscan
