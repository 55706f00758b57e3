#include "analysis/CurveFit.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vivurozed {

namespace {

[[noreturn]] void Singular(bool& singular, const char* message) {
  singular = true;
  throw EMathError(message);
}

}  // namespace

void NormalEquations(const TMatrix& design, std::span<const double> y, TMatrix& m, TVector& v) {
  const std::size_t n = design.size();
  const std::size_t cols = n ? design[0].size() : 0;
  if (y.size() != n) throw EMathError("NormalEquations: design matrix and y differ in length");
  for (const auto& row : design)
    if (row.size() != cols) throw EMathError("NormalEquations: ragged design matrix");
  m.assign(cols, TVector(cols, 0.0));
  v.assign(cols, 0.0);
  for (std::size_t i = 0; i < cols; ++i) {
    for (std::size_t j = 0; j <= i; ++j) {
      double s = 0;
      for (std::size_t k = 0; k < n; ++k) s += design[k][i] * design[k][j];
      m[i][j] = s;
      m[j][i] = s;
    }
    double s = 0;
    for (std::size_t k = 0; k < n; ++k) s += design[k][i] * y[k];
    v[i] = s;
  }
}

void GaussJordan(TMatrix& a, TVector& b, TVector& x, bool& singular) {
  singular = false;
  const std::size_t n = a.size();
  if (b.size() != n) throw EMathError("Error in GaussJordan: matrix and vector differ in size");
  for (const auto& row : a)
    if (row.size() != n) throw EMathError("Error in GaussJordan: matrix is not square");

  std::vector<std::size_t> pivotRow(n), pivotCol(n);
  std::vector<int> used(n, -1);  // -1 free, 0 used once; anything else is singular
  for (std::size_t step = 0; step < n; ++step) {
    double big = 0;
    std::size_t row = n, col = n;
    for (std::size_t j = 0; j < n; ++j) {
      if (used[j] == 0) continue;
      for (std::size_t k = 0; k < n; ++k) {
        if (used[k] > 0) Singular(singular, "Error in GaussJordan2: matrix is singular");
        if (used[k] < 0 && std::fabs(a[j][k]) > big) {
          big = std::fabs(a[j][k]);
          row = j;
          col = k;
        }
      }
    }
    // Nothing strictly above zero is left (NaN included): no pivot exists.
    if (row == n) Singular(singular, "Error in GaussJordan2: matrix is singular");
    ++used[col];
    pivotRow[step] = row;
    pivotCol[step] = col;
    if (row != col) {
      std::swap(a[row], a[col]);
      std::swap(b[row], b[col]);
    }
    const double inv = 1.0 / a[col][col];
    a[col][col] = 1.0;
    for (double& e : a[col]) e *= inv;
    b[col] *= inv;
    for (std::size_t j = 0; j < n; ++j) {
      if (j == col) continue;
      const double f = a[j][col];
      a[j][col] = 0.0;
      for (std::size_t k = 0; k < n; ++k) a[j][k] -= a[col][k] * f;
      b[j] -= b[col] * f;
    }
  }
  for (std::size_t step = n; step-- > 0;) {
    if (pivotRow[step] == pivotCol[step]) continue;
    for (auto& row : a) std::swap(row[pivotRow[step]], row[pivotCol[step]]);
  }
  for (int u : used)
    if (u != 0) Singular(singular, "Error in GaussJordan: matrix is singular");
  x = b;
}

void PolyFit(std::span<const double> x, std::span<const double> y, int terms, TVector& coeffs,
             double& r) {
  if (terms < 1) throw EMathError("PolyFit called with less than one term");
  const std::size_t n = x.size();
  if (n < 2) throw EMathError("PolyFit called with less than two points");
  if (y.size() != n) throw EMathError("PolyFit called with x and y of different lengths");

  const std::size_t m = std::size_t(terms);
  // The normal matrix is singular exactly when fewer distinct x than terms
  // exist, but rounding can leave a tiny non-zero pivot where exact
  // arithmetic has none; so the case is caught here.
  std::vector<double> distinct(x.begin(), x.end());
  std::sort(distinct.begin(), distinct.end());
  if (std::size_t(std::unique(distinct.begin(), distinct.end()) - distinct.begin()) < m)
    throw EMathError("Error in GaussJordan: matrix is singular");

  TMatrix design(n, TVector(m));
  for (std::size_t k = 0; k < n; ++k) {
    design[k][0] = 1.0;
    for (std::size_t j = 1; j < m; ++j) design[k][j] = design[k][j - 1] * x[k];
  }
  TMatrix normal;
  TVector rhs;
  NormalEquations(design, y, normal, rhs);
  bool singular = false;
  TVector c;
  GaussJordan(normal, rhs, c, singular);

  double sse = 0, sumY = 0, sumY2 = 0;
  for (std::size_t k = 0; k < n; ++k) {
    double fit = 0;
    for (std::size_t j = 0; j < m; ++j) fit += c[j] * design[k][j];
    sse += (fit - y[k]) * (fit - y[k]);
    sumY += y[k];
    sumY2 += y[k] * y[k];
  }
  const double sst = sumY2 - sumY * sumY / double(n);
  const double q = sst != 0 ? sse / sst : 0.0;
  r = q < 1 ? std::sqrt(1 - q) : 0.0;
  coeffs = std::move(c);
}

}  // namespace vivurozed
