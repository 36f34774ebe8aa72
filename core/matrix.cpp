// The affine matrix product shared by the content interpreter and table detection.
#include "content.h"

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

}  // namespace folioscan
