// The affine matrix product shared by the content walk, the text interpreter and table
// detection, and the matrix of "cm" and "Tm" operands.
#include "matrix.h"

#include "cos/object.h"

namespace folioscan {

Matrix multiply(const Matrix& m, const Matrix& n) {
  return Matrix{
      m.a * n.a + m.b * n.c,
      m.a * n.b + m.b * n.d,
      m.c * n.a + m.d * n.c,
      m.c * n.b + m.d * n.d,
      m.e * n.a + m.f * n.c + n.e,
      m.e * n.b + m.f * n.d + n.f,
  };
}

Matrix matrix_from(const std::vector<Object>& operands) {
  double v[6] = {1, 0, 0, 1, 0, 0};
  for (std::size_t i = 0; i < 6 && i < operands.size(); ++i) {
    if (auto n = operands[i].as_number()) v[i] = *n;
  }
  return Matrix{v[0], v[1], v[2], v[3], v[4], v[5]};
}

}  // namespace folioscan
