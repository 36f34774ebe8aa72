// Page content: gathering the content streams, cutting them into operations, and the
// interpreter that turns text-showing operations into positioned runs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "agl.h"
#include "cos.h"
#include "error.h"

namespace folioscan {

struct OpenDocument;
struct PageRecord;

// The operands of one operation, in a vector-like list that holds up to kInline objects
// inside itself: nearly every operator takes at most four (Tj, Td, Tf, re, m, l, rg), so
// a page's operations allocate nothing for them; longer lists move to the heap.
class OperandList {
 public:
  static constexpr std::uint32_t kInline = 4;

  OperandList() = default;
  OperandList(const OperandList& other);
  OperandList(OperandList&& other) noexcept { take(other); }
  OperandList& operator=(const OperandList& other);
  OperandList& operator=(OperandList&& other) noexcept;
  ~OperandList() { release(); }

  template <class... Args>
  Object& emplace_back(Args&&... args) {
    if (size_ == capacity_) grow();
    Object* slot = std::construct_at(data() + size_, std::forward<Args>(args)...);
    ++size_;
    return *slot;
  }
  void push_back(Object value) { emplace_back(std::move(value)); }
  // Destroys the objects and keeps the storage.
  void clear() {
    std::destroy_n(data(), size_);
    size_ = 0;
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  Object& operator[](std::size_t i) { return data()[i]; }
  const Object& operator[](std::size_t i) const { return data()[i]; }
  Object* begin() { return data(); }
  Object* end() { return data() + size_; }
  const Object* begin() const { return data(); }
  const Object* end() const { return data() + size_; }

 private:
  Object* data() { return heap_ != nullptr ? heap_ : std::launder(reinterpret_cast<Object*>(inline_)); }
  const Object* data() const {
    return heap_ != nullptr ? heap_ : std::launder(reinterpret_cast<const Object*>(inline_));
  }
  void grow();
  void take(OperandList& other) noexcept;
  void release() noexcept;

  alignas(Object) unsigned char inline_[kInline * sizeof(Object)];
  Object* heap_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = kInline;
};

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
std::vector<ContentOp> tokenize_content(ByteView content);
std::vector<TextRun> interpret_content(const std::vector<ContentOp>& ops, const FontMap& fonts);
// The same with fonts shared through a FontCache.
std::vector<TextRun> interpret_content(const std::vector<ContentOp>& ops, const SharedFontMap& fonts);

}  // namespace folioscan
