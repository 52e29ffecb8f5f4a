// The roots of a numeric polynomial (the zeros or the poles of a formula),
// each either proved to the precision the coefficients allow or marked as
// not fixed by them.
//
// Approximations come from simultaneous (Aberth) iteration in long double,
// started on circles whose radii the coefficients' Newton polygon gives, so
// that roots spread over hundreds of decades are all found; where that set
// does not prove every root, the eigenvalues of the balanced companion
// matrix in long double are a second, independent start. Each set is
// checked as a whole: q(s) = a_n prod (s - z_i) is multiplied out
// and compared with the coefficients, and the difference plus the
// coefficients' rounding bounds is a bound E on |p - q| for every
// polynomial p the coefficients may stand for. Where E < |q| on a circle,
// p has exactly as many roots inside as q (Rouche), and their sum differs
// from that of the approximations inside by at most
// radius * -log(1 - max E/|q|). A root alone in such a circle is reported
// with that bound; approximations that no small circle separates are
// tried as a cluster of numerically repeated roots (at most 1% wide),
// reported once with their count and their mean (well conditioned even
// when each member is not); a cluster's members moved onto its centre make
// the check of the other roots sharper, so the set is checked again while
// that proves more. Everything else is marked unreliable, never shown as a
// root, and a root is never counted twice.
#pragma once

#include <cmath>
#include <complex>
#include <vector>

#include "analysis/numeric_formula.h"

namespace velkor {

struct PolynomialRoot {
  std::complex<long double> value;  // rad/s; roots of real polynomials come in conjugate pairs
  // For a reliable root the proved bound on |true - value| / |value|; for
  // an unreliable one the best estimate there is (inf: none).
  long double relativeUncertainty = 0;
  bool reliable = true;
  // A cluster of numerically repeated roots: `multiplicity` roots, each
  // within `relativeSpread` * |value| of `value`, whose mean is `value`.
  int multiplicity = 1;
  long double relativeSpread = 0;

  bool isComplex() const { return value.imag() != 0; }
  // |root| in rad/s, and for a complex pair its quality factor
  // |root| / (-2 Re root): negative for a right half-plane pair, infinite
  // for a pair on the imaginary axis.
  long double naturalFrequency() const { return std::abs(value); }
  long double quality() const {
    if (value.real() == 0) return INFINITY;
    return std::abs(value) / (-2 * value.real());
  }
};

// The largest relative uncertainty that still counts as reliable.
inline constexpr long double kReliableRootUncertainty = 1e-6L;

// The roots of `polynomial` (coefficients[k] for s^k; its lowest power is
// ignored, since a formula's numerator and denominator share it): roots at
// the origin first (one entry, with their multiplicity), then real roots by
// ascending magnitude, then complex pairs (negative imaginary part first)
// by ascending magnitude. The multiplicities add up to the degree.
std::vector<PolynomialRoot> polynomialRoots(const NumericPolynomial& polynomial);

// Hz from rad/s.
inline long double hertz(long double radiansPerSecond) {
  return radiansPerSecond / (2 * 3.14159265358979323846264338327950288L);
}

}  // namespace velkor
