#include "numeric/root_clusters.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace velkor {

namespace {

using Real = long double;
using Complex = std::complex<Real>;

// Two approximations join when both moved under the perturbation by more
// than this share of their distance: the members of a k-fold cluster lie
// on a k-gon about its mean, neighbours at most two radii apart.
constexpr Real kJoin = 2;
// A group that the numbers cannot part is still taken as one repeated root
// only when it looks like one: a k-fold root that rounding split lies on a
// near-regular k-gon about the true root (the k-th roots of the
// perturbation), so the members' distances from the mean differ by at most
// kRegularity; and its spread stays below the k-th root of kWorstRounding
// (rounding times the largest condition a root of the engine may have),
// so that distinct roots, which the perturbation moves only by their
// condition, are not taken for one.
constexpr Real kRegularity = 2;
constexpr Real kWorstRounding = 1e-4L;

bool repeatedRoot(const std::vector<Complex>& members, Complex mean) {
  Real nearest = INFINITY, furthest = 0;
  for (const Complex& z : members) {
    nearest = std::min(nearest, std::abs(z - mean));
    furthest = std::max(furthest, std::abs(z - mean));
  }
  const Real k = static_cast<Real>(members.size());
  return furthest <= kRegularity * nearest && furthest <= std::pow(kWorstRounding, 1 / k) * std::abs(mean);
}

class Groups {
 public:
  explicit Groups(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), std::size_t{0}); }
  std::size_t find(std::size_t x) {
    while (parent_[x] != x) x = parent_[x] = parent_[parent_[x]];
    return x;
  }
  void join(std::size_t a, std::size_t b) {
    a = find(a), b = find(b);
    if (a != b) parent_[std::max(a, b)] = std::min(a, b);
  }

 private:
  std::vector<std::size_t> parent_;
};

}  // namespace

std::vector<RootCluster> clusterRoots(const std::vector<Complex>& roots, const std::vector<Complex>& perturbed,
                                      Real originSpread) {
  const std::size_t n = roots.size();
  // How far each approximation moved: the distance to the nearest one of
  // the perturbed set.
  std::vector<Real> moved(n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    Real nearest = INFINITY;
    for (const Complex& p : perturbed) nearest = std::min(nearest, std::abs(roots[i] - p));
    moved[i] = std::isfinite(nearest) ? nearest : 0;
  }
  Groups groups(n);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j)
      if (std::abs(roots[i] - roots[j]) <= kJoin * std::min(moved[i], moved[j])) groups.join(i, j);

  std::vector<RootCluster> clusters;
  RootCluster origin{0, 0, 0};
  for (std::size_t leader = 0; leader < n; ++leader) {
    if (groups.find(leader) != leader) continue;
    std::vector<Complex> members;
    for (std::size_t i = leader; i < n; ++i)
      if (groups.find(i) == leader) members.push_back(roots[i]);
    Complex sum = 0;
    for (const Complex& z : members) sum += z;
    Complex mean = sum / static_cast<Real>(members.size());
    // Closed under conjugation: every member's mirror image is a member.
    const bool selfConjugate = std::all_of(members.begin(), members.end(), [&](const Complex& z) {
      return std::find(members.begin(), members.end(), std::conj(z)) != members.end();
    });
    if (selfConjugate) mean.imag(0);
    Real spread = 0;
    for (const Complex& z : members) spread = std::max(spread, std::abs(z - mean));
    const int count = static_cast<int>(members.size());
    const bool aboutOrigin = std::abs(mean) <= spread;
    if (members.size() > 1 && (aboutOrigin ? spread > originSpread : !repeatedRoot(members, mean))) {
      for (const Complex& z : members) clusters.push_back({z, 1, 0});
      continue;
    }
    if (aboutOrigin) {
      // About the origin: one with the roots deflated there exactly.
      origin.multiplicity += count;
      origin.spread = std::max(origin.spread, spread);
      continue;
    }
    clusters.push_back({mean, count, spread});
  }
  if (origin.multiplicity > 0) clusters.insert(clusters.begin(), origin);
  return clusters;
}

}  // namespace velkor
