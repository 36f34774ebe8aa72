// One operation of a content stream: an operator keyword with the operands before it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "../cos.h"

namespace folioscan {

struct ContentOp {
  std::vector<Object> operands;
  std::array<char, 4> op{};  // the keyword's first (at most) 4 bytes
  std::uint8_t op_len = 0;
  std::string_view name() const { return {op.data(), op_len}; }
};

}  // namespace folioscan
