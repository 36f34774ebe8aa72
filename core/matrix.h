// The 2D affine matrix of content streams: the product, and reading one from the six
// operands of "cm" or "Tm".
#pragma once

#include <vector>

namespace folioscan {

struct Object;

// A 2D affine matrix [a b c d e f], row-vector convention.
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};

// m × n (apply m first, then n).
Matrix multiply(const Matrix& m, const Matrix& n);
// The six operands of "cm" or "Tm"; a missing or non-numeric one keeps the identity's value.
Matrix matrix_from(const std::vector<Object>& operands);

}  // namespace folioscan
