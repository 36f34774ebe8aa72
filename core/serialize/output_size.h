// Sizing a writer's output up front from the document, so that the buffer is reserved
// once instead of regrown and copied as a long document is written.
#pragma once

#include <cstddef>
#include <string>

#include "../model.h"

namespace folioscan {

// What a writer adds around each item, roughly; only for sizing the output up front.
struct WriterOverhead {
  std::size_t page;
  std::size_t line;
  std::size_t cell;
};

// The document's texts plus the writer's overhead per page, line and cell. A short
// estimate only means the buffer grows while it is written.
inline std::size_t estimated_output_size(const Document& doc, WriterOverhead overhead) {
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

}  // namespace folioscan
