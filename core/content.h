// Page content: gathering the content streams, cutting them into operations, and the
// interpreter that turns text-showing operations into positioned runs.
#pragma once

#include <array>
#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include "agl.h"
#include "cos.h"
#include "error.h"

namespace folioscan {

struct OpenDocument;
struct PageRecord;

// A content operation's operand list. Its storage comes from the memory resource the
// tokenizer is given (a page's arena in the extraction driver), so a page's thousands of
// short lists cost no heap allocation each.
using OperandList = std::pmr::vector<Object>;

struct ContentOp {
  OperandList operands;
  std::array<char, 4> op{};  // the keyword's first (at most) 4 bytes
  std::uint8_t op_len = 0;
  std::string_view name() const { return {op.data(), op_len}; }
};

struct TextRun {
  std::string text;
  std::string font;
  double x = 0.0;
  double y = 0.0;
  double width = 0.0;
  double font_size = 0.0;
};

// A 2D affine matrix [a b c d e f], row-vector convention.
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};
// m × n (apply m first, then n).
Matrix multiply(const Matrix& m, const Matrix& n);

[[nodiscard]] Result<Bytes> gather_page_content(OpenDocument& doc, const PageRecord& page);
// The operations in content order. Operand lists are allocated from `memory`, which must
// outlive the operations.
std::vector<ContentOp> tokenize_content(ByteView content,
                                        std::pmr::memory_resource* memory = std::pmr::new_delete_resource());
std::vector<TextRun> interpret_content(const std::vector<ContentOp>& ops, const FontMap& fonts);
// The same with fonts shared through a FontCache.
std::vector<TextRun> interpret_content(const std::vector<ContentOp>& ops, const SharedFontMap& fonts);

}  // namespace folioscan
