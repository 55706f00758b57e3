// Pearson correlation of two 8-bit pictures over the rows and columns they
// share: how alike two decodings of the same recording are.
#pragma once

#include <algorithm>
#include <cmath>

#include "image/BMPExtImage.h"

namespace vivurozed::testing {

inline double PictureCorrelation(const TExtBitmap& a, const TExtBitmap& b) {
  double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, n = 0;
  for (int y = 0; y < std::min(a.Height(), b.Height()); ++y) {
    for (int x = 0; x < std::min(a.Width(), b.Width()); ++x) {
      const double u = a.ScanLine(y)[x], v = b.ScanLine(y)[x];
      sa += u, sb += v, saa += u * u, sbb += v * v, sab += u * v, n += 1;
    }
  }
  if (n == 0) return 0;
  const double cov = sab - sa * sb / n;
  return cov / std::sqrt((saa - sa * sa / n) * (sbb - sb * sb / n));
}

}  // namespace vivurozed::testing
