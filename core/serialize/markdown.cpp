// The Markdown writer: pages apart by a rule, each page's lines then its tables as pipe
// tables, and a marker for pages that need OCR. It appends front to back into one
// growing string and cannot fail.
#include "serialize.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "cell_paragraphs.h"
#include "escape.h"
#include "output_size.h"

namespace folioscan {
namespace {

// The whole text of a page that needs OCR; the dash is U+2014.
constexpr std::string_view kOcrMarker = "_[scanned page \xE2\x80\x94 text extraction requires OCR]_";
constexpr std::string_view kPageSeparator = "\n\n---\n\n";
constexpr std::string_view kBlockSeparator = "\n\n";

// A recovered cell's paragraphs are apart by "<br>" (a pipe table's cell is one line).
void append_markdown_row(std::string& out, const std::vector<std::string>& row, bool line_breaks) {
  out += "| ";
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i != 0) out += " | ";
    if (line_breaks) {
      append_cell_paragraphs(out, row[i], append_markdown_cell);
    } else {
      append_markdown_cell(out, row[i]);
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
    append_markdown_row(out, table.cells[i], table.bbox.has_value());
    if (i == 0 && has_separator) {
      out += '\n';
      append_markdown_separator_row(out, table.cols);
    }
  }
}

// A recovered page: its blocks in reading order (a placed table where its block
// stands), then the tables without a place, each block apart by a blank line and the
// items of a list on consecutive lines.
void append_markdown_blocks(std::string& out, const Page& page, const WriterOptions& options) {
  const std::vector<Block>& blocks = *page.blocks;
  std::vector<bool> placed(page.tables.size(), false);
  bool have_block = false;
  bool after_item = false;
  for (const Block& block : blocks) {
    const std::size_t mark = out.size();
    const bool item = block.type == BlockType::ListItem;
    if (have_block) out += item && after_item ? std::string_view("\n") : kBlockSeparator;
    const std::size_t block_start = out.size();
    switch (block.type) {
      case BlockType::Heading:
        out.append(block.level.value_or(1), '#');
        out += ' ';
        out += block.text;
        break;
      case BlockType::ListItem:
        out.append(2 * (block.level.value_or(1) - 1), ' ');
        if (!block.ordered) out += "- ";
        out += block.text;
        break;
      case BlockType::Table:
        if (block.table && *block.table < page.tables.size() && !placed[*block.table]) {
          placed[*block.table] = true;
          append_markdown_table(out, page.tables[*block.table]);
        }
        break;
      case BlockType::Image:
        if (options.image_placeholders && block.image && *block.image < page.images.size()) {
          out += "![";
          for (const char c : page.images[*block.image].name) {
            if (c == '[' || c == ']' || c == '\\') out += '\\';
            out += c;
          }
          out += "]()";
        }
        break;
      case BlockType::Paragraph:
        out += block.text;
        break;
    }
    if (out.size() == block_start) {
      out.resize(mark);
      continue;
    }
    have_block = true;
    after_item = item;
  }
  for (std::size_t i = 0; i < page.tables.size(); ++i) {
    if (placed[i]) continue;
    const std::size_t mark = out.size();
    if (have_block) out += kBlockSeparator;
    const std::size_t block_start = out.size();
    append_markdown_table(out, page.tables[i]);
    if (out.size() == block_start) {
      out.resize(mark);
    } else {
      have_block = true;
    }
  }
}

void append_markdown_page(std::string& out, const Page& page, const WriterOptions& options) {
  if (page.needs_ocr) {
    out += kOcrMarker;
    return;
  }
  if (page.blocks) {
    append_markdown_blocks(out, page, options);
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

}  // namespace

std::string document_to_markdown(const Document& doc, const WriterOptions& options) {
  std::string out;
  out.reserve(estimated_output_size(doc, {kPageSeparator.size(), 1, 3}));
  for (std::size_t i = 0; i < doc.pages.size(); ++i) {
    if (i != 0) out += kPageSeparator;
    append_markdown_page(out, doc.pages[i], options);
  }
  return out;
}

std::vector<std::string> markdown_pages(const Document& doc, const WriterOptions& options) {
  std::vector<std::string> pages;
  pages.reserve(doc.pages.size());
  for (const auto& page : doc.pages) {
    std::string out;
    append_markdown_page(out, page, options);
    pages.push_back(std::move(out));
  }
  return pages;
}

}  // namespace folioscan
