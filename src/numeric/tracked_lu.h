// Dense LU factorisation of a complex matrix (long double) that carries,
// beside every entry, a bound on the magnitudes summed into it: at the
// start the sum of the sizes of the terms that make the entry, and after
// each elimination step that bound plus the bound of the product taken
// away. An entry far below its bound is what is left of a cancellation and
// is rounding noise; an entry close to its bound is a true value however
// small it is beside the others.
//
// So singularity is told by cancellation, not by size: a pivot of 1e-15
// next to 1 is real in the equations of a high-gain amplifier (the gain of
// six stages alone reaches 1e11), while in a network that is singular at
// the values the last pivot is a difference of equal terms and is noise
// against its bound. The elimination skips rows whose multiplier is exactly
// 0, so that the sparse equations of a circuit cost far less than n^3.
#pragma once

#include <Eigen/Core>
#include <complex>
#include <limits>
#include <vector>

namespace velkor {

class TrackedLu {
 public:
  using Real = long double;
  using Complex = std::complex<Real>;
  using ComplexMatrix = Eigen::Matrix<Complex, Eigen::Dynamic, Eigen::Dynamic>;
  using ComplexVector = Eigen::Matrix<Complex, Eigen::Dynamic, 1>;
  using RealMatrix = Eigen::Matrix<Real, Eigen::Dynamic, Eigen::Dynamic>;

  enum class Pivoting {
    Full,     // the largest entry of the rest that is not noise: rank-revealing
    Partial,  // the largest entry of the column that is not noise: cheaper
  };

  // An entry at most this share of its error estimate may be 0: the
  // estimate, times the rounding unit, bounds the entry's error to first
  // order, so an entry above it is certainly not 0. A small multiple of the
  // rounding unit leaves room for the second order.
  static constexpr Real kNoiseShare = 64 * std::numeric_limits<Real>::epsilon();

  // Factors `a`, whose entries have the magnitude bounds `bound` (each at
  // least |a|). Returns false when the matrix is singular within rounding:
  // with full pivoting when the rest of the matrix is all noise, with
  // partial pivoting when a column of it is.
  bool factor(ComplexMatrix a, RealMatrix bound, Pivoting pivoting);

  // The number of pivots found before the rest was noise (n when regular).
  long rank() const { return rank_; }

  // x with A x = b; only after factor() returned true.
  ComplexVector solve(const ComplexVector& b) const;

 private:
  ComplexMatrix lu_;
  std::vector<Eigen::Index> rowOrder_;     // row k of lu_ is row rowOrder_[k] of A
  std::vector<Eigen::Index> columnOrder_;  // column k of lu_ is column columnOrder_[k] of A
  long rank_ = 0;
};

}  // namespace velkor
