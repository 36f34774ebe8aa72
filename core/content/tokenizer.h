// Cutting content into operations: operands and operator keywords, with inline images
// skipped (in recovery, to where their data ends).
#pragma once

#include <cstddef>
#include <functional>

#include "../cos/object.h"
#include "operation.h"

namespace folioscan {

// Calls `visit` with each operation in content order; an operation lives only for the
// call. The page driver feeds them straight to the interpreter and the rule collector,
// so a page of millions of operations never holds them all.
// In recovery an inline image ends where its data does (its size, or the end of its
// ASCII encoding), not at the first bytes "EI" inside it; gives how many inline images
// were read so (always 0 in the strict reading).
std::size_t for_each_content_op(ByteView content, const std::function<void(const ContentOp&)>& visit,
                                bool recover = false);

}  // namespace folioscan
