// The estimate of a writer's output size: the document's texts plus the writer's
// overhead per item.
#include "output_size.h"

#include <string>

namespace folioscan {

std::size_t estimated_output_size(const Document& doc, WriterOverhead overhead) {
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
