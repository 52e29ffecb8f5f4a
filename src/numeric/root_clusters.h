// Repeated roots among computed eigenvalues. A root of multiplicity k whose
// eigenvectors form a chain (a Jordan block: identical stages in cascade,
// several coupling capacitors) comes out of any eigenvalue method as k
// approximations spread about it by the k-th root of the rounding, in no
// fixed pattern, while their mean stays as accurate as a simple root.
//
// Which approximations belong together is told by perturbation: the same
// pencil with every entry changed by a tiny relative amount gives a second
// set. A simple root barely moves (by its condition times the change); the
// members of a cluster scatter anew, by at least their spread. Two
// approximations are one cluster when each moved further than they are
// apart: the numbers do not tell them apart. Each cluster is reported once,
// with its count, its mean, and how far its members lay from the mean.
#pragma once

#include <complex>
#include <vector>

namespace velkor {

struct RootCluster {
  std::complex<long double> value;  // the mean of the members (0 for a cluster about the origin)
  int multiplicity = 1;
  long double spread = 0;  // the largest distance of a member from `value`
};

// `roots` and `perturbed` are closed under conjugation (roots of a real
// pencil). A root with nothing near it in `perturbed` (the perturbation
// moved the deflation's decision) is taken as simple. The clusters are
// closed under conjugation too: one whose members are their own conjugates
// has a real mean. A cluster about the origin (its mean within its spread
// of 0) lies on it when it spreads at most `originSpread`; a wider one says
// nothing and its members are kept apart. Roots equal to 0 exactly (deflated
// there) form the origin's cluster with those. The origin's cluster comes
// first.
std::vector<RootCluster> clusterRoots(const std::vector<std::complex<long double>>& roots,
                                      const std::vector<std::complex<long double>>& perturbed,
                                      long double originSpread);

}  // namespace velkor
