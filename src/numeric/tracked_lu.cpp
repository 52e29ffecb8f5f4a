#include "numeric/tracked_lu.h"

#include <cmath>
#include <numeric>

namespace velkor {

namespace {

using Real = TrackedLu::Real;
using Complex = TrackedLu::Complex;

// Products written out: the library's complex product checks for infinities
// and NaN on every call, which the elimination never needs.
inline Complex times(const Complex& a, const Complex& b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

inline Real squared(const Complex& a) { return a.real() * a.real() + a.imag() * a.imag(); }

// |re| + |im|: within a factor of sqrt(2) of |a|, enough for an error
// estimate and far cheaper.
inline Real size1(const Complex& a) { return std::fabs(a.real()) + std::fabs(a.imag()); }

}  // namespace

bool TrackedLu::factor(ComplexMatrix a, RealMatrix bound, Pivoting pivoting) {
  const Eigen::Index n = a.rows();
  lu_ = std::move(a);
  rowOrder_.resize(static_cast<std::size_t>(n));
  columnOrder_.resize(static_cast<std::size_t>(n));
  std::iota(rowOrder_.begin(), rowOrder_.end(), Eigen::Index{0});
  std::iota(columnOrder_.begin(), columnOrder_.end(), Eigen::Index{0});
  rank_ = 0;
  constexpr Real share2 = kNoiseShare * kNoiseShare;
  std::vector<Eigen::Index> below;  // rows under the pivot with a multiplier
  std::vector<Real> multiplierBound;
  for (Eigen::Index k = 0; k < n; ++k) {
    // The pivot: the largest entry that is not noise.
    Eigen::Index pr = -1, pc = -1;
    Real best = 0;
    const Eigen::Index lastColumn = pivoting == Pivoting::Full ? n : k + 1;
    for (Eigen::Index c = k; c < lastColumn; ++c)
      for (Eigen::Index r = k; r < n; ++r) {
        const Real size = squared(lu_(r, c));
        if (size > best && size > share2 * bound(r, c) * bound(r, c)) best = size, pr = r, pc = c;
      }
    if (pr < 0) return false;
    if (pr != k) {
      lu_.row(pr).swap(lu_.row(k));
      bound.row(pr).swap(bound.row(k));
      std::swap(rowOrder_[static_cast<std::size_t>(pr)], rowOrder_[static_cast<std::size_t>(k)]);
    }
    if (pc != k) {
      lu_.col(pc).swap(lu_.col(k));
      bound.col(pc).swap(bound.col(k));
      std::swap(columnOrder_[static_cast<std::size_t>(pc)], columnOrder_[static_cast<std::size_t>(k)]);
    }
    const Complex pivot = lu_(k, k);
    const Real pivotSize = std::sqrt(best);
    const Complex inverse = std::conj(pivot) / best;
    // Running error estimate (in units of the rounding unit), to first
    // order: a' = a - l u carries the errors of a, of u times |l| and of l
    // times |u|, where l = a(r, k) / p carries those of a(r, k) and of p;
    // each operation adds the size of what it adds up.
    below.clear();
    multiplierBound.clear();
    for (Eigen::Index r = k + 1; r < n; ++r) {
      if (lu_(r, k) == Complex(0) && bound(r, k) == 0) continue;
      lu_(r, k) = times(lu_(r, k), inverse);
      const Real l = size1(lu_(r, k));
      below.push_back(r);
      multiplierBound.push_back((bound(r, k) + l * bound(k, k)) / pivotSize + l);
      bound(r, k) = l;  // keeps |l| for the update below
    }
    for (Eigen::Index c = k + 1; c < n; ++c) {
      const Complex u = lu_(k, c);
      const Real uError = bound(k, c);
      if (u == Complex(0) && uError == 0) continue;
      const Real uSize = size1(u);
      for (std::size_t m = 0; m < below.size(); ++m) {
        const Eigen::Index r = below[m];
        const Complex product = times(lu_(r, k), u);
        lu_(r, c) -= product;
        const Real l = bound(r, k);
        bound(r, c) += l * uError + multiplierBound[m] * uSize + l * uSize + size1(lu_(r, c));
      }
    }
    ++rank_;
  }
  return true;
}

TrackedLu::ComplexVector TrackedLu::solve(const ComplexVector& b) const {
  const Eigen::Index n = lu_.rows();
  ComplexVector y(n);
  for (Eigen::Index k = 0; k < n; ++k) y(k) = b(rowOrder_[static_cast<std::size_t>(k)]);
  for (Eigen::Index c = 0; c < n; ++c) {
    if (y(c) == Complex(0)) continue;
    for (Eigen::Index r = c + 1; r < n; ++r)
      if (lu_(r, c) != Complex(0)) y(r) -= times(lu_(r, c), y(c));
  }
  for (Eigen::Index c = n - 1; c >= 0; --c) {
    const Complex pivot = lu_(c, c);
    y(c) = times(y(c), std::conj(pivot) / squared(pivot));
    if (y(c) == Complex(0)) continue;
    for (Eigen::Index r = 0; r < c; ++r)
      if (lu_(r, c) != Complex(0)) y(r) -= times(lu_(r, c), y(c));
  }
  ComplexVector x(n);
  for (Eigen::Index k = 0; k < n; ++k) x(columnOrder_[static_cast<std::size_t>(k)]) = y(k);
  return x;
}

}  // namespace velkor
