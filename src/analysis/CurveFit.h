// Least-squares polynomial fitting for calibration curves and map
// corrections, on a Gauss-Jordan solver with full pivoting.
#pragma once

#include <span>
#include <vector>

#include "platform/MathError.h"

namespace vivurozed {

using TMatrix = std::vector<std::vector<double>>;  // rows
using TVector = std::vector<double>;

// Fits y = c0 + c1 x + ... + c(terms-1) x^(terms-1) to the points and sets r
// to the goodness of fit: sqrt(1 - SSE/SST), 1 for a perfect fit and for
// constant y, 0 for a fit no better than the mean.
void PolyFit(std::span<const double> x, std::span<const double> y, int terms, TVector& coeffs,
             double& r);

// Solves a x = b. a (n x n) ends up holding its inverse and b the solution,
// which is also copied to x. Sets singular and throws EMathError when a is
// singular, a zero pivot included.
void GaussJordan(TMatrix& a, TVector& b, TVector& x, bool& singular);

// M = X^T X (the lower triangle computed, mirrored) and v = X^T y for a
// design matrix X of n rows and m columns.
void NormalEquations(const TMatrix& design, std::span<const double> y, TMatrix& m, TVector& v);

}  // namespace vivurozed
