#include "analysis/polynomial_roots.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

namespace velkor {

namespace {

using Complex = std::complex<long double>;
using Matrix = Eigen::Matrix<long double, Eigen::Dynamic, Eigen::Dynamic>;

constexpr long double kEps = LDBL_EPSILON;
constexpr long double kPi = std::numbers::pi_v<long double>;
constexpr int kMaxSweeps = 800;      // Aberth sweeps over all the roots
constexpr int kCircleRadii = 48;     // radii tried per inclusion circle
constexpr int kMaxBalancing = 200;   // sweeps of the companion matrix balancing
constexpr std::size_t kMaxCluster = 16;  // the most roots one cluster may hold
// The widest cluster, relative to its mean, still taken as one repeated
// root: a six-fold root from exact coefficients spreads to about 1e-3;
// wider groups are distinct roots that the numbers do not fix.
constexpr long double kMaxClusterSpread = 1e-2L;

bool finite(Complex z) { return std::isfinite(z.real()) && std::isfinite(z.imag()); }

// The polynomial in t with s = 2^shift t, divided by a power of 2 so that its
// largest coefficient is near 1: both exact, so the roots, the rounding
// bounds and every relative quantity carry over unchanged.
struct ScaledPolynomial {
  std::vector<long double> a;
  std::vector<long double> bounds;
  int shift = 0;
};

ScaledPolynomial scaled(const std::vector<long double>& a, const std::vector<long double>& bounds) {
  std::size_t n = a.size() - 1;
  ScaledPolynomial p;
  // 2^shift is close to the geometric mean of the roots' magnitudes.
  p.shift = static_cast<int>(
      std::lround(static_cast<long double>(std::ilogb(a[0]) - std::ilogb(a[n])) / static_cast<long double>(n)));
  int top = std::numeric_limits<int>::min();
  for (std::size_t k = 0; k <= n; ++k)
    if (a[k] != 0) top = std::max(top, std::ilogb(a[k]) + static_cast<int>(k) * p.shift);
  for (std::size_t k = 0; k <= n; ++k) {
    int exponent = static_cast<int>(k) * p.shift - top;
    p.a.push_back(std::ldexp(a[k], exponent));
    p.bounds.push_back(std::ldexp(bounds[k], exponent));
  }
  return p;
}

// Starting points on the circles of the Newton polygon: for each edge of
// the upper convex hull of (k, log |a_k|) from i to j, j - i points on the
// circle whose radius |a_i / a_j|^(1 / (j - i)) is the magnitude of that
// many roots. Angles are offset so that no start lies on the real axis.
std::vector<Complex> newtonPolygonStarts(const std::vector<long double>& a) {
  std::size_t n = a.size() - 1;
  std::vector<std::pair<long double, long double>> hull;
  for (std::size_t k = 0; k <= n; ++k) {
    if (a[k] == 0) continue;
    std::pair<long double, long double> point{static_cast<long double>(k), std::log2(std::fabs(a[k]))};
    while (hull.size() >= 2) {
      const auto& [x0, y0] = hull[hull.size() - 2];
      const auto& [x1, y1] = hull.back();
      if ((x1 - x0) * (point.second - y0) - (y1 - y0) * (point.first - x0) < 0) break;
      hull.pop_back();
    }
    hull.push_back(point);
  }
  std::vector<Complex> starts;
  for (std::size_t e = 0; e + 1 < hull.size(); ++e) {
    long double count = hull[e + 1].first - hull[e].first;
    long double radius = std::exp2((hull[e].second - hull[e + 1].second) / count);
    for (long double l = 0; l < count; ++l)
      starts.push_back(std::polar(radius, 2 * kPi * l / count + 2 * kPi * hull[e].first / static_cast<long double>(n) + 0.7L));
  }
  return starts;
}

// Diagonal similarity by powers of 2 that evens out row and column norms
// (exact, so the eigenvalues are unchanged).
void balance(Matrix& m) {
  for (int sweep = 0; sweep < kMaxBalancing; ++sweep) {
    bool done = true;
    for (Eigen::Index i = 0; i < m.rows(); ++i) {
      long double c = 0, r = 0;
      for (Eigen::Index j = 0; j < m.rows(); ++j)
        if (j != i) {
          c += std::fabs(m(j, i));
          r += std::fabs(m(i, j));
        }
      if (c == 0 || r == 0) continue;
      long double f = 1, s = c + r;
      while (c < r / 2) {
        c *= 2;
        r /= 2;
        f *= 2;
      }
      while (c >= r * 2) {
        c /= 2;
        r *= 2;
        f /= 2;
      }
      if ((c + r) < 0.95L * s) {
        done = false;
        m.row(i) /= f;
        m.col(i) *= f;
      }
    }
    if (done) break;
  }
}

// The eigenvalues of the balanced companion matrix, in long double.
std::vector<Complex> companionStarts(const std::vector<long double>& a) {
  auto n = static_cast<Eigen::Index>(a.size() - 1);
  Matrix companion = Matrix::Zero(n, n);
  for (Eigen::Index k = 0; k < n; ++k) {
    companion(k, n - 1) = -a[static_cast<std::size_t>(k)] / a.back();
    if (k + 1 < n) companion(k + 1, k) = 1;
  }
  balance(companion);
  Eigen::EigenSolver<Matrix> solver(companion, false);
  std::vector<Complex> roots;
  if (solver.info() != Eigen::Success) return roots;
  for (Eigen::Index k = 0; k < n; ++k) roots.push_back(solver.eigenvalues()[k]);
  return roots;
}

struct Evaluation {
  Complex value, slope;
  long double roundoff = 0;  // a bound on the rounding error of `value`
};

Evaluation evaluate(const std::vector<long double>& a, Complex z) {
  Evaluation e;
  long double r = std::abs(z), magnitude = 0;
  for (std::size_t k = a.size(); k-- > 0;) {
    e.slope = e.slope * z + e.value;
    e.value = e.value * z + a[k];
    magnitude = magnitude * r + std::fabs(a[k]);
  }
  e.roundoff = 8 * static_cast<long double>(a.size()) * kEps * magnitude;
  return e;
}

// Simultaneous Newton steps with the repulsion of the other
// approximations (Aberth-Ehrlich): no two approximations settle on the
// same simple root. Each stops once its value is within rounding of 0 or
// its step no longer changes it.
void aberth(const std::vector<long double>& a, std::vector<Complex>& z) {
  std::vector<char> done(z.size(), 0);
  for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
    bool moved = false;
    for (std::size_t i = 0; i < z.size(); ++i) {
      if (done[i]) continue;
      Evaluation e = evaluate(a, z[i]);
      if (!finite(e.value) || !finite(e.slope) || std::abs(e.value) <= e.roundoff) {
        done[i] = 1;
        continue;
      }
      Complex step;
      if (e.slope == Complex(0)) {
        step = -z[i] * Complex(1e-3L, 1e-3L) - Complex(1e-3L, 0);  // off a critical point
      } else {
        Complex ratio = e.value / e.slope, repulsion = 0;
        for (std::size_t j = 0; j < z.size(); ++j)
          if (j != i && z[j] != z[i]) repulsion += 1.0L / (z[i] - z[j]);
        step = ratio / (1.0L - ratio * repulsion);
        if (!finite(step)) step = ratio;
      }
      z[i] -= step;
      moved = true;
      if (std::abs(step) <= kEps * std::abs(z[i])) done[i] = 1;
    }
    if (!moved) break;
  }
}

// The approximations of a real polynomial's roots made symmetric: an
// approximation whose mirror image has a partner closer than itself is
// averaged with it into an exact conjugate pair, the others are taken as
// real. Returns each one's conjugate (itself when real).
std::vector<std::size_t> symmetrize(std::vector<Complex>& z) {
  std::vector<std::size_t> mate(z.size());
  std::iota(mate.begin(), mate.end(), std::size_t{0});
  struct Candidate {
    long double distance;
    std::size_t upper, lower;
  };
  std::vector<Candidate> candidates;
  for (std::size_t i = 0; i < z.size(); ++i)
    for (std::size_t j = 0; j < z.size(); ++j)
      if (z[i].imag() > 0 && z[j].imag() < 0) candidates.push_back({std::abs(z[j] - std::conj(z[i])), i, j});
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& x, const Candidate& y) { return x.distance < y.distance; });
  std::vector<char> paired(z.size(), 0);
  for (const Candidate& c : candidates) {
    if (paired[c.upper] || paired[c.lower]) continue;
    if (!(c.distance < 2 * std::min(z[c.upper].imag(), -z[c.lower].imag()))) continue;
    Complex mean = (z[c.upper] + std::conj(z[c.lower])) / 2.0L;
    z[c.upper] = mean;
    z[c.lower] = std::conj(mean);
    mate[c.upper] = c.lower;
    mate[c.lower] = c.upper;
    paired[c.upper] = paired[c.lower] = 1;
  }
  for (std::size_t i = 0; i < z.size(); ++i)
    if (!paired[i]) z[i].imag(0);
  return mate;
}

// What an inclusion circle proves: `bound` on the distance between the mean
// of the roots inside and that of the approximations inside, and the
// smallest radius at which the count was proved.
struct Inclusion {
  bool found = false;
  long double bound = INFINITY;
  long double radius = INFINITY;
};

// The check of a whole set of approximations against the polynomial.
class RootSetCheck {
public:
  RootSetCheck(const std::vector<long double>& a, const std::vector<long double>& bounds,
               const std::vector<Complex>& z, const std::vector<std::size_t>& mate)
      : z_(z) {
    // q = a_n prod (s - z_j), multiplied out in real arithmetic factor by
    // factor, and beside it the same product of magnitudes, which bounds
    // the rounding of every coefficient of q.
    std::vector<long double> q{a.back()}, magnitude{std::fabs(a.back())};
    auto multiply = [](std::vector<long double>& p, std::initializer_list<long double> factor) {
      std::vector<long double> out(p.size() + factor.size() - 1, 0);
      std::size_t j = 0;
      for (long double f : factor) {
        for (std::size_t k = 0; k < p.size(); ++k) out[k + j] += p[k] * f;
        ++j;
      }
      p = std::move(out);
    };
    for (std::size_t j = 0; j < z.size(); ++j) {
      if (mate[j] == j) {
        multiply(q, {-z[j].real(), 1});
        multiply(magnitude, {std::fabs(z[j].real()), 1});
      } else if (z[j].imag() > 0) {
        long double sum = 2 * z[j].real(), product = std::norm(z[j]);
        multiply(q, {product, -sum, 1});
        multiply(magnitude, {product, std::fabs(sum), 1});
      }
    }
    std::size_t n = a.size() - 1;
    slack_.assign(n + 1, 0);
    if (q.size() != a.size()) {
      slack_.clear();  // an incomplete set proves nothing
      return;
    }
    // Coefficient by coefficient: what the set fails to reproduce, the
    // given coefficient's rounding bound, and the rounding of q (against
    // the size of the product's terms, the Newton polygon's magnitude).
    for (std::size_t k = 0; k <= n; ++k) {
      long double rounding = 4 * static_cast<long double>(n + 2) * kEps * magnitude[k];
      slack_[k] = (std::fabs(a[k] - q[k]) + bounds[k] + rounding) * (1 + 4 * kEps);
    }
    lead_ = std::fabs(a.back());
  }

  // Tries circles around `centre` that hold the approximations `members`
  // and no other.
  Inclusion enclose(const std::vector<std::size_t>& members, Complex centre) const {
    Inclusion result;
    if (!finite(centre) || slack_.empty()) return result;
    std::vector<char> inside(z_.size(), 0);
    std::vector<long double> distances;
    for (const Complex& zj : z_) distances.push_back(std::abs(zj - centre));
    long double inner = 0, outer = INFINITY;
    for (std::size_t j : members) {
      inside[j] = 1;
      inner = std::max(inner, distances[j]);
    }
    for (std::size_t j = 0; j < z_.size(); ++j)
      if (!inside[j]) outer = std::min(outer, distances[j]);
    if (!std::isfinite(outer)) outer = 4 * (std::abs(centre) + inner);
    if (!(outer > inner) || !std::isfinite(inner)) return result;
    long double low = std::max(inner, outer * 1e-15L);
    long double m = static_cast<long double>(members.size());
    long double step = std::pow(outer / low, 1.0L / kCircleRadii);
    long double radius = low * std::sqrt(step);
    for (int l = 0; l < kCircleRadii; ++l, radius *= step) {
      long double ratio = ratioBound(std::abs(centre), distances, radius);
      if (!(ratio < 1)) continue;
      long double bound = radius * -std::log1p(-ratio) / m;
      result.found = true;
      result.bound = std::min(result.bound, bound);
      result.radius = std::min(result.radius, radius);
    }
    return result;
  }

private:
  // An upper bound of E(s) / |q(s)| on the circle |s - centre| = radius
  // (`distances`: |z_j - centre|): E at |centre| + radius (its
  // coefficients are not negative) over |a_n| prod ||z_j - centre| - radius|.
  long double ratioBound(long double centreSize, const std::vector<long double>& distances, long double radius) const {
    long double x = centreSize + radius, e = 0;
    for (std::size_t k = slack_.size(); k-- > 0;) e = e * x + slack_[k];
    if (e == 0) return 0;
    // The product kept as a mantissa and a power of 2, which neither
    // overflows nor underflows.
    long double product = 1;
    long exponent = 0;
    for (long double distance : distances) {
      long double d = std::fabs(distance - radius);
      if (d == 0) return INFINITY;
      product *= d;
      if (product > 1e1000L || product < 1e-1000L) {
        int e2 = 0;
        product = std::frexp(product, &e2);
        exponent += e2;
      }
    }
    int eProduct = 0;
    product = std::frexp(product, &eProduct);
    exponent += eProduct;
    int eE = 0, eLead = 0;
    long double mantissa = std::frexp(e, &eE) / (std::frexp(lead_, &eLead) * product);
    long shift = static_cast<long>(eE) - eLead - exponent;
    if (shift > 64) return INFINITY;
    if (shift < -16000) return 0;
    return std::ldexp(mantissa, static_cast<int>(shift));
  }

  std::vector<Complex> z_;
  std::vector<long double> slack_;
  long double lead_ = 0;
};

// The root of the (m - 1)-th derivative next to `start`: for m roots that
// coincide, their common value, found by Newton steps on a polynomial for
// which it is a simple root (NaN when the steps do not settle).
Complex clusterCentre(const std::vector<long double>& a, Complex start, std::size_t m) {
  std::vector<long double> derivative(a.begin() + static_cast<std::ptrdiff_t>(m - 1), a.end());
  for (std::size_t k = 0; k < derivative.size(); ++k)
    for (std::size_t f = k + 1; f < k + m; ++f) derivative[k] *= static_cast<long double>(f);
  Complex z = start;
  for (int step = 0; step < 60; ++step) {
    Evaluation e = evaluate(derivative, z);
    if (std::abs(e.value) <= e.roundoff) return z;
    if (e.slope == Complex(0)) break;
    Complex move = e.value / e.slope;
    z -= move;
    if (!finite(z)) break;
    if (std::abs(move) <= 4 * kEps * std::abs(z)) return z;
  }
  return Complex(NAN, NAN);
}

struct CheckedSet {
  std::vector<PolynomialRoot> reals;                                      // and clusters on the real axis
  std::vector<std::pair<PolynomialRoot, PolynomialRoot>> pairs;          // lower, upper
  long double reliableCount = 0;                                          // with multiplicities
  // The symmetric approximations checked, and those left unreliable.
  std::vector<Complex> approximations;
  std::vector<std::size_t> mate;
  std::vector<std::size_t> unreliable;
};

bool reliableBound(long double bound, Complex value) {
  return bound <= kReliableRootUncertainty * std::abs(value);
}

// Every approximation reported once: alone, in a cluster, or unreliable.
CheckedSet checkRoots(const std::vector<long double>& a, const std::vector<long double>& bounds,
                      std::vector<Complex> z) {
  CheckedSet set;
  if (!std::all_of(z.begin(), z.end(), finite)) {
    // Nothing to check: every root unknown.
    set.reals.assign(z.size(), PolynomialRoot{Complex(NAN, 0), INFINITY, false, 1, 0});
    return set;
  }
  std::vector<std::size_t> mate = symmetrize(z);
  RootSetCheck check(a, bounds, z, mate);
  std::size_t n = z.size();
  std::vector<char> assigned(n, 0);
  std::vector<long double> estimate(n, INFINITY);
  auto emit = [&](PolynomialRoot root) {
    if (root.isComplex()) {
      PolynomialRoot mirror = root;
      mirror.value = std::conj(root.value);
      set.pairs.emplace_back(mirror, root);
    } else {
      set.reals.push_back(root);
    }
    if (root.reliable) set.reliableCount += root.multiplicity * (root.isComplex() ? 2 : 1);
  };
  std::vector<std::size_t> leaders;  // one of each pair (the upper), and the real ones
  for (std::size_t i = 0; i < n; ++i)
    if (z[i].imag() >= 0) leaders.push_back(i);
  std::sort(leaders.begin(), leaders.end(), [&](std::size_t x, std::size_t y) { return std::abs(z[x]) < std::abs(z[y]); });

  for (std::size_t i : leaders) {
    Inclusion alone = check.enclose({i}, z[i]);
    if (alone.found) estimate[i] = alone.bound / std::abs(z[i]);
    if (alone.found && reliableBound(alone.bound, z[i])) {
      emit(PolynomialRoot{z[i], alone.bound / std::abs(z[i]), true, 1, 0});
      assigned[i] = assigned[mate[i]] = 1;
    }
  }
  // Approximations that no circle separates: the smallest cluster of
  // their nearest neighbours whose mean is fixed, either symmetric about
  // the real axis (a real mean) or wholly above it (with its mirror image).
  for (std::size_t i : leaders) {
    if (assigned[i]) continue;
    std::vector<std::size_t> near;
    for (std::size_t j = 0; j < n; ++j)
      if (!assigned[j]) near.push_back(j);
    std::stable_sort(near.begin(), near.end(),
                     [&](std::size_t x, std::size_t y) { return std::abs(z[x] - z[i]) < std::abs(z[y] - z[i]); });
    for (std::size_t k = 2; k <= std::min(near.size(), kMaxCluster); ++k) {
      std::vector<std::size_t> members(near.begin(), near.begin() + static_cast<std::ptrdiff_t>(k));
      bool symmetric = true, upper = true;
      Complex sum = 0;
      for (std::size_t j : members) {
        symmetric = symmetric && std::find(members.begin(), members.end(), mate[j]) != members.end();
        upper = upper && z[j].imag() > 0;
        sum += z[j];
      }
      if (!symmetric && !upper) continue;
      Complex centre = sum / static_cast<long double>(k);
      if (symmetric) centre.imag(0);
      Inclusion cluster = check.enclose(members, centre);
      // The members moved together onto the cluster's refined centre: the
      // approximations of a multiple root scatter about it far more than
      // their mean does. A cluster proved that way stays moved for the
      // checks that follow.
      Complex refined = clusterCentre(a, centre, k);
      if (symmetric) refined.imag(0);
      std::vector<Complex> moved;
      std::vector<std::size_t> movedMate;
      if (finite(refined) && std::abs(refined - centre) < std::abs(centre)) {
        moved = z;
        movedMate = mate;
        for (std::size_t j : members) {
          moved[j] = refined;
          if (symmetric) {
            movedMate[j] = j;
          } else {
            moved[mate[j]] = std::conj(refined);
          }
        }
        Inclusion tight = RootSetCheck(a, bounds, moved, movedMate).enclose(members, refined);
        if (tight.found && tight.bound < cluster.bound) {
          cluster = tight;
          centre = refined;
        } else {
          moved.clear();
        }
      }
      if (!cluster.found || !reliableBound(cluster.bound, centre) ||
          !(cluster.radius <= kMaxClusterSpread * std::abs(centre)))
        continue;
      long double size = std::abs(centre);
      emit(PolynomialRoot{centre, cluster.bound / size, true, static_cast<int>(k), cluster.radius / size});
      for (std::size_t j : members) assigned[j] = assigned[mate[j]] = 1;
      if (!moved.empty()) {
        z = std::move(moved);
        mate = std::move(movedMate);
        check = RootSetCheck(a, bounds, z, mate);
      }
      break;
    }
  }
  for (std::size_t i : leaders) {
    if (assigned[i]) continue;
    emit(PolynomialRoot{z[i], estimate[i], false, 1, 0});
    set.unreliable.push_back(i);
    if (mate[i] != i) set.unreliable.push_back(mate[i]);
    assigned[i] = assigned[mate[i]] = 1;
  }
  set.approximations = std::move(z);
  set.mate = std::move(mate);
  return set;
}

// The approximations of a multiple root scatter about it (by about the
// m-th root of the rounding), and the scatter of each cluster spoils the
// check of every other root. The unreliable approximations within 1% of
// each other are gathered into groups, and each group closed under
// conjugation is moved onto the root of the (m - 1)-th derivative next to
// its mean, for another check of the whole set.
std::vector<Complex> gathered(const std::vector<long double>& a, const CheckedSet& set) {
  std::vector<Complex> z = set.approximations;
  std::vector<std::size_t> group(z.size());
  std::iota(group.begin(), group.end(), std::size_t{0});
  auto root = [&](std::size_t i) {
    while (group[i] != i) i = group[i] = group[group[i]];
    return i;
  };
  for (std::size_t i : set.unreliable)
    for (std::size_t j : set.unreliable)
      if (i < j && std::abs(z[i] - z[j]) <= 1e-2L * std::max(std::abs(z[i]), std::abs(z[j]))) group[root(i)] = root(j);
  std::vector<std::vector<std::size_t>> members(z.size());
  for (std::size_t i : set.unreliable) members[root(i)].push_back(i);
  for (const std::vector<std::size_t>& g : members) {
    if (g.size() < 2) continue;
    bool symmetric = true, upper = true;
    Complex sum = 0;
    for (std::size_t j : g) {
      symmetric = symmetric && std::find(g.begin(), g.end(), set.mate[j]) != g.end();
      upper = upper && z[j].imag() > 0;
      sum += z[j];
    }
    if (!symmetric && !upper) continue;
    Complex centre = clusterCentre(a, sum / static_cast<long double>(g.size()), g.size());
    if (symmetric) centre.imag(0);
    if (!finite(centre)) continue;
    for (std::size_t j : g) {
      z[j] = centre;
      if (upper) z[set.mate[j]] = std::conj(centre);
    }
  }
  return z;
}

}  // namespace

std::vector<PolynomialRoot> polynomialRoots(const NumericPolynomial& polynomial) {
  std::vector<PolynomialRoot> roots;
  std::size_t first = polynomial.firstNonzero();
  std::size_t end = polynomial.endNonzero();
  if (first >= end) return roots;  // the zero polynomial: no roots to show
  if (first > 0) roots.push_back(PolynomialRoot{0, 0, true, static_cast<int>(first), 0});
  if (end - first < 2) return roots;
  std::vector<long double> a(polynomial.coefficients.begin() + static_cast<std::ptrdiff_t>(first),
                             polynomial.coefficients.begin() + static_cast<std::ptrdiff_t>(end));
  std::vector<long double> bounds;
  for (std::size_t k = 0; k < a.size(); ++k) {
    long double given = first + k < polynomial.errorBounds.size() ? polynomial.errorBounds[first + k] : 0;
    bounds.push_back(std::max(given, std::fabs(a[k]) * kEps));
  }
  ScaledPolynomial p = scaled(a, bounds);
  std::size_t degree = a.size() - 1;

  std::vector<Complex> z = newtonPolygonStarts(p.a);
  aberth(p.a, z);
  CheckedSet best = checkRoots(p.a, p.bounds, z);
  if (best.reliableCount < static_cast<long double>(degree)) {
    // An independent start: the companion matrix's eigenvalues.
    std::vector<Complex> eigen = companionStarts(p.a);
    if (eigen.size() == degree) {
      aberth(p.a, eigen);
      CheckedSet second = checkRoots(p.a, p.bounds, eigen);
      if (second.reliableCount > best.reliableCount) best = std::move(second);
    }
  }
  // Again with every cluster gathered, while that proves more.
  for (int round = 0; round < 3 && best.reliableCount < static_cast<long double>(degree); ++round) {
    CheckedSet next = checkRoots(p.a, p.bounds, gathered(p.a, best));
    if (!(next.reliableCount > best.reliableCount)) break;
    best = std::move(next);
  }

  auto unscale = [&](PolynomialRoot& root) {
    root.value = Complex(std::ldexp(root.value.real(), p.shift), std::ldexp(root.value.imag(), p.shift));
  };
  auto bySize = [](const PolynomialRoot& x, const PolynomialRoot& y) { return std::abs(x.value) < std::abs(y.value); };
  std::sort(best.reals.begin(), best.reals.end(), bySize);
  std::sort(best.pairs.begin(), best.pairs.end(), [&](const auto& x, const auto& y) { return bySize(x.first, y.first); });
  for (PolynomialRoot& root : best.reals) {
    unscale(root);
    roots.push_back(root);
  }
  for (auto& [lower, upper] : best.pairs) {
    for (PolynomialRoot* root : {&lower, &upper}) {
      // A real part within the uncertainty is not resolved: the pair is
      // taken as on the imaginary axis (and the bound grows by the shift).
      long double size = std::abs(root->value), re = std::fabs(root->value.real());
      if (root->reliable && re <= root->relativeUncertainty * size) {
        root->relativeUncertainty += re / size;
        root->value.real(0);
      }
    }
    unscale(lower);
    unscale(upper);
    roots.push_back(lower);
    roots.push_back(upper);
  }
  return roots;
}

}  // namespace velkor
