#include "analysis/polynomial_roots.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cfloat>
#include <cmath>

namespace velkor {

namespace {

using Complex = std::complex<long double>;

// The value and the first derivative at s.
std::pair<Complex, Complex> valueAndSlope(const std::vector<long double>& a, Complex s) {
  Complex value = 0, slope = 0;
  for (std::size_t k = a.size(); k-- > 0;) {
    slope = slope * s + value;
    value = value * s + a[k];
  }
  return {value, slope};
}

// The Taylor coefficients of the polynomial at s: a(s + h) = sum t[j] h^j
// (repeated synthetic division).
std::vector<Complex> taylorAt(const std::vector<long double>& a, Complex s) {
  std::vector<Complex> t(a.begin(), a.end());
  std::size_t n = t.size();
  for (std::size_t j = 0; j + 1 < n; ++j)
    for (std::size_t k = n - 1; k > j; --k) t[k - 1] += s * t[k];
  return t;
}

// Eigenvalues of the companion matrix of a scaled copy of `a` (degree >= 1,
// a[0] and a.back() nonzero), mapped back to the unscaled variable.
std::vector<Complex> companionRoots(const std::vector<long double>& a) {
  std::size_t n = a.size() - 1;
  // s = scale * t with scale the geometric mean of |a0/an|^(1/n): the
  // scaled polynomial has equal first and last coefficients. Logarithms
  // keep the powers of the scale in range.
  long double logScale = (std::log(std::fabs(a[0])) - std::log(std::fabs(a[n]))) / static_cast<long double>(n);
  long double logLead = std::log(std::fabs(a[n])) + static_cast<long double>(n) * logScale;
  Eigen::MatrixXd companion = Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(n), static_cast<Eigen::Index>(n));
  for (std::size_t k = 0; k < n; ++k) {
    long double monic = 0;
    if (a[k] != 0) {
      monic = std::exp(std::log(std::fabs(a[k])) + static_cast<long double>(k) * logScale - logLead);
      if ((a[k] < 0) != (a[n] < 0)) monic = -monic;
    }
    companion(static_cast<Eigen::Index>(k), static_cast<Eigen::Index>(n - 1)) = -static_cast<double>(monic);
    if (k + 1 < n) companion(static_cast<Eigen::Index>(k + 1), static_cast<Eigen::Index>(k)) = 1.0;
  }
  Eigen::EigenSolver<Eigen::MatrixXd> solver(companion, false);
  std::vector<Complex> roots;
  long double scale = std::exp(logScale);
  if (solver.info() != Eigen::Success) return roots;
  for (Eigen::Index k = 0; k < solver.eigenvalues().size(); ++k) {
    std::complex<double> t = solver.eigenvalues()[k];
    roots.emplace_back(static_cast<long double>(t.real()) * scale, static_cast<long double>(t.imag()) * scale);
  }
  return roots;
}

// Newton steps on the unscaled polynomial while they reduce the residual.
Complex polish(const std::vector<long double>& a, Complex root) {
  auto [value, slope] = valueAndSlope(a, root);
  for (int step = 0; step < 50 && value != Complex(0) && slope != Complex(0); ++step) {
    Complex next = root - value / slope;
    auto [nextValue, nextSlope] = valueAndSlope(a, next);
    if (!(std::abs(nextValue) < std::abs(value))) break;
    root = next;
    value = nextValue;
    slope = nextSlope;
  }
  return root;
}

// How far the root may be from the printed value, relative to its size:
// the smallest radius h at which one Taylor term |t_j| h^j reaches the
// possible change of the polynomial near the root (the coefficients'
// rounding bounds plus the residual).
long double relativeUncertainty(const std::vector<long double>& a, const std::vector<long double>& bounds,
                                Complex root) {
  long double r = std::abs(root);
  std::vector<Complex> t = taylorAt(a, root);
  long double slack = std::abs(t[0]);
  long double rk = 1;
  for (std::size_t k = 0; k < a.size(); ++k) {
    long double unit = std::fabs(a[k]) * LDBL_EPSILON;
    slack += (k < bounds.size() ? std::max(bounds[k], unit) : unit) * rk;
    rk *= r;
  }
  long double radius = INFINITY;
  for (std::size_t j = 1; j < t.size(); ++j) {
    long double tj = std::abs(t[j]);
    if (tj > 0) radius = std::min(radius, std::pow(slack / tj, 1.0L / static_cast<long double>(j)));
  }
  return r > 0 ? radius / r : radius;
}

}  // namespace

std::vector<PolynomialRoot> polynomialRoots(const NumericPolynomial& polynomial) {
  std::vector<PolynomialRoot> roots;
  std::size_t first = polynomial.firstNonzero();
  std::size_t end = polynomial.endNonzero();
  if (first >= end) return roots;  // the zero polynomial: no roots to show
  for (std::size_t k = 0; k < first; ++k) roots.push_back(PolynomialRoot{});
  if (end - first < 2) return roots;
  std::vector<long double> a(polynomial.coefficients.begin() + static_cast<std::ptrdiff_t>(first),
                             polynomial.coefficients.begin() + static_cast<std::ptrdiff_t>(end));
  std::vector<long double> bounds;
  for (std::size_t k = first; k < end && k < polynomial.errorBounds.size(); ++k)
    bounds.push_back(polynomial.errorBounds[k]);

  std::vector<Complex> found = companionRoots(a);
  std::vector<PolynomialRoot> rest;
  for (Complex z : found) {
    PolynomialRoot root;
    root.value = polish(a, z);
    root.relativeUncertainty = relativeUncertainty(a, bounds, root.value);
    // An imaginary part within the uncertainty is not resolved: the root is
    // taken as real.
    if (std::fabs(root.value.imag()) <= root.relativeUncertainty * std::abs(root.value))
      root.value.imag(0);
    root.reliable = std::isfinite(root.relativeUncertainty) && root.relativeUncertainty <= kReliableRootUncertainty;
    rest.push_back(root);
  }
  if (found.size() + 1 != a.size()) {
    // The eigenvalue solver gave up: every root is unknown.
    rest.assign(a.size() - 1, PolynomialRoot{Complex(NAN, NAN), INFINITY, false});
  }
  // Complex roots as exact conjugate pairs: each root with a positive
  // imaginary part is matched with the nearest one below the axis.
  std::vector<PolynomialRoot> upper, lower, real;
  for (const PolynomialRoot& root : rest)
    (root.value.imag() > 0 ? upper : root.value.imag() < 0 ? lower : real).push_back(root);
  for (PolynomialRoot& up : upper) {
    auto nearest = std::min_element(lower.begin(), lower.end(), [&](const PolynomialRoot& x, const PolynomialRoot& y) {
      return std::abs(x.value - std::conj(up.value)) < std::abs(y.value - std::conj(up.value));
    });
    if (nearest == lower.end()) {
      up.reliable = false;
      real.push_back(up);
      continue;
    }
    Complex mean = (up.value + std::conj(nearest->value)) / 2.0L;
    bool reliable = up.reliable && nearest->reliable;
    long double uncertainty = std::max(up.relativeUncertainty, nearest->relativeUncertainty);
    roots.push_back(PolynomialRoot{std::conj(mean), uncertainty, reliable});
    roots.push_back(PolynomialRoot{mean, uncertainty, reliable});
    lower.erase(nearest);
  }
  for (PolynomialRoot& low : lower) {
    low.reliable = false;
    real.push_back(low);
  }
  auto bySize = [](const PolynomialRoot& x, const PolynomialRoot& y) {
    return std::abs(x.value) < std::abs(y.value);
  };
  std::sort(real.begin(), real.end(), bySize);
  // Pairs were pushed lower-first; order the pairs by size.
  std::vector<std::pair<PolynomialRoot, PolynomialRoot>> pairs;
  for (std::size_t k = first; k + 1 < roots.size(); k += 2) pairs.emplace_back(roots[k], roots[k + 1]);
  roots.resize(first);
  std::sort(pairs.begin(), pairs.end(), [&](const auto& x, const auto& y) { return bySize(x.first, y.first); });
  roots.insert(roots.end(), real.begin(), real.end());
  for (const auto& [low, up] : pairs) {
    roots.push_back(low);
    roots.push_back(up);
  }
  return roots;
}

}  // namespace velkor
