// The roots of a numeric polynomial (the zeros or the poles of a formula).
// The polynomial's variable is scaled so that its coefficients lie close to
// 1 before the roots are found as the eigenvalues of its companion matrix
// (Eigen); each root is then polished by Newton steps on the unscaled
// polynomial in long double, and its uncertainty is estimated from the
// coefficients' rounding bounds. A root whose position the coefficients do
// not fix to about six digits is marked unreliable instead of being shown
// as if it were exact.
#pragma once

#include <complex>
#include <vector>

#include "analysis/numeric_formula.h"

namespace velkor {

struct PolynomialRoot {
  std::complex<long double> value;  // rad/s; roots of real polynomials come in conjugate pairs
  long double relativeUncertainty = 0;
  bool reliable = true;

  bool isComplex() const { return value.imag() != 0; }
  // |root| in rad/s, and for a complex pair its quality factor
  // |root| / (-2 Re root) (negative for a right half-plane pair).
  long double naturalFrequency() const { return std::abs(value); }
  long double quality() const { return std::abs(value) / (-2 * value.real()); }
};

// The largest relative uncertainty that still counts as reliable.
inline constexpr long double kReliableRootUncertainty = 1e-6L;

// The roots of `polynomial` (coefficients[k] for s^k; its lowest power is
// ignored, since a formula's numerator and denominator share it): roots at
// the origin first, then real roots by ascending magnitude, then complex
// pairs (negative imaginary part first) by ascending magnitude.
std::vector<PolynomialRoot> polynomialRoots(const NumericPolynomial& polynomial);

// Hz from rad/s.
inline long double hertz(long double radiansPerSecond) {
  return radiansPerSecond / (2 * 3.14159265358979323846264338327950288L);
}

}  // namespace velkor
