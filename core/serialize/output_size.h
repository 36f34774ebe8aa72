// Sizing a writer's output up front from the document, so that the buffer is reserved
// once instead of regrown and copied as a long document is written.
#pragma once

#include <cstddef>

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
std::size_t estimated_output_size(const Document& doc, WriterOverhead overhead);

}  // namespace folioscan
