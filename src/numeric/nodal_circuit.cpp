#include "numeric/nodal_circuit.h"

#include <Eigen/Eigenvalues>
#include <Eigen/LU>
#include <Eigen/SVD>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <numeric>

#include "model/network_store.h"
#include "model/parameter_table.h"
#include "numeric/tracked_lu.h"

namespace velkor {

namespace {

using Real = long double;
using Complex = std::complex<Real>;
using ComplexMatrix = Eigen::Matrix<Complex, Eigen::Dynamic, Eigen::Dynamic>;
using ComplexVector = Eigen::Matrix<Complex, Eigen::Dynamic, 1>;
using RealMatrix = Eigen::Matrix<Real, Eigen::Dynamic, Eigen::Dynamic>;

// A port quantity as a linear form over (V1, I1, V2, I2): voltage, current,
// the incident wave V + Z0 I and the reflected wave V - Z0 I (both doubled,
// which the quotients do not see).
enum class Quantity { V, I, MinusI, WaveIn, WaveOut };
struct PortQuantity {
  Quantity quantity;
  int port;  // 0 or 1
};
struct Definition {
  PortQuantity numerator, denominator, constraint;
};

// The scattering rows by the waves: s from b = S a; the scattering chain
// rows from b1 = F11 a2 + F12 b2 and a1 = F21 a2 + F22 b2.
constexpr Definition kScattering[8] = {
    {{Quantity::WaveOut, 0}, {Quantity::WaveIn, 0}, {Quantity::WaveIn, 1}},   // s11
    {{Quantity::WaveOut, 0}, {Quantity::WaveIn, 1}, {Quantity::WaveIn, 0}},   // s12
    {{Quantity::WaveOut, 1}, {Quantity::WaveIn, 0}, {Quantity::WaveIn, 1}},   // s21
    {{Quantity::WaveOut, 1}, {Quantity::WaveIn, 1}, {Quantity::WaveIn, 0}},   // s22
    {{Quantity::WaveOut, 0}, {Quantity::WaveIn, 1}, {Quantity::WaveOut, 1}},  // f11
    {{Quantity::WaveOut, 0}, {Quantity::WaveOut, 1}, {Quantity::WaveIn, 1}},  // f12
    {{Quantity::WaveIn, 0}, {Quantity::WaveIn, 1}, {Quantity::WaveOut, 1}},   // f21
    {{Quantity::WaveIn, 0}, {Quantity::WaveOut, 1}, {Quantity::WaveIn, 1}},   // f22
};

PortQuantity fromTable(const char* quantity, const int terminals[2]) {
  const int port = terminals[0] >= 2 ? 1 : 0;
  if (std::strcmp(quantity, "v") == 0) return {Quantity::V, port};
  if (std::strcmp(quantity, "-i") == 0) return {Quantity::MinusI, port};
  return {Quantity::I, port};
}

// The definition of parameter-table row r.
Definition definitionOf(int r) {
  const ParameterRecord& row = parameterTable[r];
  if (isScatteringKind(row.kind)) return kScattering[r - 24];
  return {fromTable(row.numeratorQuantity, row.numeratorTerminals),
          fromTable(row.denominatorQuantity, row.denominatorTerminals),
          fromTable(row.constraintQuantity, row.constraintTerminals)};
}

// Weights of the form on V and I of its port.
std::pair<Real, Real> weightsOf(const PortQuantity& q, Real z0) {
  switch (q.quantity) {
    case Quantity::V: return {1, 0};
    case Quantity::I: return {0, 1};
    case Quantity::MinusI: return {0, -1};
    case Quantity::WaveIn: return {1, z0};
    case Quantity::WaveOut: return {1, -z0};
  }
  return {0, 0};
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

class DisjointSets {
 public:
  explicit DisjointSets(int n) : parent_(static_cast<std::size_t>(n)) { std::iota(parent_.begin(), parent_.end(), 0); }
  int find(int x) {
    while (parent_[static_cast<std::size_t>(x)] != x) {
      parent_[static_cast<std::size_t>(x)] = parent_[static_cast<std::size_t>(parent_[static_cast<std::size_t>(x)])];
      x = parent_[static_cast<std::size_t>(x)];
    }
    return x;
  }
  void join(int a, int b) {
    a = find(a), b = find(b);
    if (a != b) parent_[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
  }

 private:
  std::vector<int> parent_;
};

// Row and column scalings (powers of 2) that bring every row's and
// column's largest entry of |G| + w|C| near 1, so that pivoting and the
// rank threshold see comparable sizes.
void equilibrate(const RealMatrix& magnitude, std::vector<Real>& rowScale, std::vector<Real>& columnScale) {
  const Eigen::Index n = magnitude.rows();
  rowScale.assign(static_cast<std::size_t>(n), 1);
  columnScale.assign(static_cast<std::size_t>(n), 1);
  for (Eigen::Index r = 0; r < n; ++r) {
    const Real largest = magnitude.row(r).maxCoeff();
    if (largest > 0) rowScale[static_cast<std::size_t>(r)] = std::exp2(-std::round(std::log2(largest)));
  }
  for (Eigen::Index c = 0; c < n; ++c) {
    Real largest = 0;
    for (Eigen::Index r = 0; r < n; ++r)
      largest = std::max(largest, magnitude(r, c) * rowScale[static_cast<std::size_t>(r)]);
    if (largest > 0) columnScale[static_cast<std::size_t>(c)] = std::exp2(-std::round(std::log2(largest)));
  }
}

// Refinement steps at most, and the share of the parameter's value below
// which a correction ends them (ten rounding units).
constexpr int kRefinementSteps = 4;
constexpr Real kRefinedShare = 1e-18L;
// A value at most this share of the solution's size is rounding noise.
constexpr Real kNoise = 1e-13L;
// Generalized eigenvalues beyond this many times the network's frequency
// scale, left after the deflation, count as infinite.
constexpr Real kInfiniteRoot = 1e12L;
// A pole and a zero this close (relative) are one root of both, cancelled.
constexpr Real kCancelled = 1e-6L;
// Roots within this share of the frequency scale of the origin lie on it.
constexpr Real kOriginRoot = 1e-10L;

// Points s (times the frequency scale) at which no pole or zero of a
// network is to be expected, over six decades: the equations are singular
// at all of them only when they are singular for every s.
const Complex kGenericPoints[3] = {{0.5377e-3L, 0.8431e-3L}, {-0.3183L, 1.6487L}, {0.7219e3L, 0.4733e3L}};

// The roots of a real pencil made an exact conjugate-closed set: the real
// ones kept, each one below the real axis kept with its mirror image (the
// solver's partner above it dropped).
std::vector<Complex> conjugateClosed(const std::vector<Complex>& roots) {
  std::vector<Complex> out;
  for (const Complex& r : roots) {
    if (r.imag() == 0) {
      out.push_back(r);
    } else if (r.imag() < 0) {
      out.push_back(r);
      out.push_back(std::conj(r));
    }
  }
  return out;
}

// Clusters in rad/s, ordered as the formula roots are listed: the origin's,
// then the real ones by ascending magnitude, then the complex pairs
// (negative imaginary part first) by ascending magnitude. Those of
// multiplicity 0 (cancelled, or not confirmed) are left out.
std::vector<RootCluster> orderedClusters(std::vector<RootCluster> clusters, Real scale) {
  std::vector<RootCluster> origin, real, complex;
  for (RootCluster& c : clusters) {
    if (c.multiplicity <= 0) continue;
    c.value *= scale;
    c.spread *= scale;
    if (c.value == Complex(0)) origin.push_back(c);
    else if (c.value.imag() == 0) real.push_back(c);
    else if (c.value.imag() < 0) complex.push_back(c);
  }
  auto byMagnitude = [](const RootCluster& a, const RootCluster& b) { return std::abs(a.value) < std::abs(b.value); };
  std::stable_sort(real.begin(), real.end(), byMagnitude);
  std::stable_sort(complex.begin(), complex.end(), byMagnitude);
  std::vector<RootCluster> out = std::move(origin);
  out.insert(out.end(), real.begin(), real.end());
  for (const RootCluster& c : complex) {
    out.push_back(c);
    out.push_back({std::conj(c.value), c.multiplicity, c.spread});
  }
  return out;
}

// Every root as many times as it counts, in double.
std::vector<std::complex<double>> expanded(const std::vector<RootCluster>& clusters) {
  std::vector<std::complex<double>> out;
  for (const RootCluster& c : clusters)
    for (int k = 0; k < c.multiplicity; ++k)
      out.emplace_back(static_cast<double>(c.value.real()), static_cast<double>(c.value.imag()));
  return out;
}

// The relative change of every entry of the perturbed pencil, and each
// entry's share of it: a number in [-1, 1] fixed by its place (a hash, so
// that the entries of identical stages change differently).
constexpr Real kPerturbation = 1e-12L;
Real patternOf(std::uint64_t place) {
  std::uint64_t x = place + 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  x ^= x >> 31;
  return static_cast<Real>(x >> 11) / static_cast<Real>(1ULL << 52) - 1;
}

// Units of the frequency scale: a cluster about the origin at most this
// wide lies on it; roots beyond kSuspectRoot are confirmed by the turns of
// H's argument on a circle at least kWindingRadius of their size, sampled
// at kWindingPoints points, each step turning less than kWindingStep, and
// kWiderCircle times wider where H cannot be followed on it.
constexpr Real kOriginSpread = 1e-3L;
constexpr Real kSuspectRoot = 1e3L;
constexpr Real kWindingRadius = 1e-3L;
constexpr int kWindingPoints = 64;
constexpr Real kWindingStep = 2;
constexpr Real kWiderCircle = 8;

// Relative size below which a singular value counts as 0 in the deflation.
// For the zeros a smaller one: the zeros of a chain of identical stages
// (each stage's transmission zero far above the network's frequencies)
// form a Jordan chain near infinity whose singular values fall as the
// power of the chain's length, and a coarser rank would take them for
// infinite roots.
constexpr Real kRankTolerance = 1e-12L;
constexpr Real kZeroRankTolerance = 1e-16L;

// The rank of a matrix with singular values `sigma` (descending).
Eigen::Index rankOf(const Eigen::Matrix<Real, Eigen::Dynamic, 1>& sigma, Real reference, Real tolerance) {
  Eigen::Index rank = 0;
  while (rank < sigma.size() && sigma(rank) > tolerance * reference) ++rank;
  return rank;
}

// Removes from the pencil (A + s B) its eigenvalues at s = infinity, with
// their multiplicity: the rows of U'B that vanish (B = U S V') state
// constraints A2 v = 0, every eigenvector at a finite s lies in the null
// space N of A2, and the pencil (U1' A N, U1' B N) of size rank B keeps
// exactly the finite eigenvalues (det(A + sB) changes by a constant factor
// only). This repeats until B is of full rank. Returns the number removed,
// or -1 for a pencil that is singular (det(A + sB) = 0 for every s).
long deflateInfinite(RealMatrix& a, RealMatrix& b, Real reference, Real tolerance) {
  long removed = 0;
  for (;;) {
    const Eigen::Index n = a.rows();
    if (n == 0) return removed;
    Eigen::JacobiSVD<RealMatrix> svdB(b, Eigen::ComputeFullU);
    const Eigen::Index rank = rankOf(svdB.singularValues(), reference, tolerance);
    if (rank == n) return removed;
    const RealMatrix a2 = svdB.matrixU().rightCols(n - rank).transpose() * a;
    Eigen::JacobiSVD<RealMatrix> svdA(a2, Eigen::ComputeFullV);
    if (rankOf(svdA.singularValues(), reference, tolerance) < n - rank) return -1;
    const RealMatrix u1 = svdB.matrixU().leftCols(rank);
    const RealMatrix null = svdA.matrixV().rightCols(rank);
    RealMatrix nextA = u1.transpose() * a * null;
    RealMatrix nextB = u1.transpose() * b * null;
    a = std::move(nextA);
    b = std::move(nextB);
    removed += n - rank;
  }
}

// The finite generalized eigenvalues s of (G + s C) v = 0, in units of the
// frequency scale w (the pencil is given as G and w C), closed under
// conjugation. The infinite ones (which a nullor network has in Jordan
// blocks, whose computed images would scatter to large finite values) and
// those at the origin (likewise, for a multiple root there) are removed
// exactly first; a generalized Schur form of what is left gives the others,
// and beside them (`perturbed`) those of what is left with every entry
// changed by kPerturbation of itself: how far each moved tells which are
// numerically repeated.
struct Eigenvalues {
  std::vector<Complex> roots, perturbed;
};

// The finite eigenvalues of the regular pencil (-g, c), c of full rank
// (the deflation left no infinite one): by a generalized Schur form, of the
// transposed pencil where the iteration does not converge (three
// identical lead sections make it stall), and else as the eigenvalues of
// -c^-1 g. Nothing when all fail.
std::vector<Complex> schurEigenvalues(const RealMatrix& g, const RealMatrix& c) {
  const Eigen::Index n = g.rows();
  std::vector<Complex> roots;
  auto take = [&](Complex alpha, Real beta) {
    if (beta == 0 || std::abs(alpha) > kInfiniteRoot * std::abs(beta)) return;
    Complex root = alpha / beta;
    if (std::abs(root) <= kOriginRoot) root = 0;
    roots.push_back(root);
  };
  // The generalized solver may not be asked whether it succeeded after a
  // failure (its check asserts in builds with assertions), so convergence
  // is told first by the QZ decomposition it runs, with the same bound on
  // iterations: on the same pencil the solver then converges too.
  Eigen::RealQZ<RealMatrix> qz(n);
  qz.setMaxIterations(400 * n);
  Eigen::GeneralizedEigenSolver<RealMatrix> solver;
  solver.setMaxIterations(400 * n);
  for (const bool transposed : {false, true}) {
    const RealMatrix a = transposed ? RealMatrix(-g.transpose()) : RealMatrix(-g);
    const RealMatrix b = transposed ? RealMatrix(c.transpose()) : c;
    qz.compute(a, b, false);
    if (qz.info() != Eigen::Success) continue;
    solver.compute(a, b, false);
    if (solver.info() != Eigen::Success) continue;
    for (Eigen::Index k = 0; k < n; ++k) take(solver.alphas()(k), solver.betas()(k));
    return conjugateClosed(roots);
  }
  const Eigen::FullPivLU<RealMatrix> lu(c);
  if (!lu.isInvertible()) return {};
  Eigen::EigenSolver<RealMatrix> standard(-lu.solve(g), false);
  if (standard.info() != Eigen::Success) return {};
  for (Eigen::Index k = 0; k < n; ++k) take(standard.eigenvalues()(k), 1);
  return conjugateClosed(roots);
}

Eigenvalues finiteEigenvalues(const RealMatrix& g0, const RealMatrix& c0, Real tolerance) {
  if (g0.rows() == 0) return {};
  RealMatrix magnitude = g0.cwiseAbs() + c0.cwiseAbs();
  std::vector<Real> rowScale, columnScale;
  equilibrate(magnitude, rowScale, columnScale);
  const Eigen::Index n0 = g0.rows();
  RealMatrix g(n0, n0), c(n0, n0);
  for (Eigen::Index r = 0; r < n0; ++r)
    for (Eigen::Index k = 0; k < n0; ++k) {
      const Real scale = rowScale[static_cast<std::size_t>(r)] * columnScale[static_cast<std::size_t>(k)];
      g(r, k) = g0(r, k) * scale;
      c(r, k) = c0(r, k) * scale;
    }
  const Real reference = std::max(g.norm(), c.norm());
  if (deflateInfinite(g, c, reference, tolerance) < 0) return {};
  // At the origin: the infinite eigenvalues of the reversed pencil. The
  // finer rank of the zeros serves chains near infinity only: a chain at
  // the origin (coupling capacitors, integrators) left by a finer rank would
  // split into tiny finite roots about it.
  const long atOrigin = deflateInfinite(c, g, reference, std::max(tolerance, kRankTolerance));
  if (atOrigin < 0) return {};
  Eigenvalues result;
  result.roots.assign(static_cast<std::size_t>(atOrigin), Complex(0));
  result.perturbed = result.roots;
  const Eigen::Index n = g.rows();
  if (n == 0) return result;
  const std::vector<Complex> finite = schurEigenvalues(g, c);
  result.roots.insert(result.roots.end(), finite.begin(), finite.end());
  RealMatrix g1 = g, c1 = c;
  for (Eigen::Index r = 0; r < n; ++r)
    for (Eigen::Index k = 0; k < n; ++k) {
      const auto place = 2 * static_cast<std::uint64_t>(r * n + k);
      g1(r, k) *= 1 + kPerturbation * patternOf(place);
      c1(r, k) *= 1 + kPerturbation * patternOf(place + 1);
    }
  const std::vector<Complex> moved = schurEigenvalues(g1, c1);
  result.perturbed.insert(result.perturbed.end(), moved.begin(), moved.end());
  return result;
}

}  // namespace

NumericCircuit::NumericCircuit(const NetworkStore& store, int parameter, const ValueLookup& values)
    : parameter_(parameter) {
  build(store, values);
  if (status_ == Status::Regular) analyse();
}

void NumericCircuit::build(const NetworkStore& s, const ValueLookup& values) {
  const int nodes = std::clamp(s.nodeCount, 0, kNodeSlots - 1);
  const int passiveCount = std::clamp(s.passiveCount, 0, kPassiveEdgeSlots - 1);
  const int activeCount = std::clamp(s.activeCount, 0, kActiveEdgeSlots - 1);
  auto nodeOk = [&](int n) { return n >= 1 && n <= nodes; };
  auto nameOf = [&](int slot) {
    return slot >= 0 && slot < kNameSlots ? std::string(s.branchNames[slot]) : std::string();
  };

  // A value by name; missing names are collected once each.
  auto valueOf = [&](const std::string& name) -> Real {
    if (std::find(names_.begin(), names_.end(), name) == names_.end()) names_.push_back(name);
    if (std::optional<long double> v = values(name)) return *v;
    if (std::find(missing_.begin(), missing_.end(), name) == missing_.end()) missing_.push_back(name);
    return 0;
  };

  // The datum of every connected part: elements join their terminal pairs,
  // ports their terminals.
  DisjointSets parts(nodes + 1);
  for (int p = 2; p <= passiveCount; ++p) {
    const PassiveEdge& e = s.passiveEdges[p];
    if (nodeOk(e.node1) && nodeOk(e.node2)) parts.join(e.node1, e.node2);
  }
  for (int a = 1; a <= activeCount; ++a) {
    const ActiveEdge& e = s.activeEdges[a];
    if (nodeOk(e.outPlus) && nodeOk(e.outMinus)) parts.join(e.outPlus, e.outMinus);
    if (nodeOk(e.inPlus) && nodeOk(e.inMinus)) parts.join(e.inPlus, e.inMinus);
  }
  for (int port = 0; port < 2; ++port)
    if (nodeOk(s.portNodes[2 * port]) && nodeOk(s.portNodes[2 * port + 1]))
      parts.join(s.portNodes[2 * port], s.portNodes[2 * port + 1]);
  // A part that touches neither port: no tree spans the network, and the
  // formulas are 0/0; so is the parameter here, although the part could
  // not change its value.
  {
    std::vector<bool> portPart(static_cast<std::size_t>(nodes + 1), false);
    for (int k = 0; k < 4; ++k)
      if (nodeOk(s.portNodes[k])) portPart[static_cast<std::size_t>(parts.find(s.portNodes[k]))] = true;
    auto apart = [&](int n) { return nodeOk(n) && !portPart[static_cast<std::size_t>(parts.find(n))]; };
    bool floating = false;
    for (int p = 2; p <= passiveCount; ++p) floating = floating || apart(s.passiveEdges[p].node1);
    for (int a = 1; a <= activeCount; ++a) floating = floating || apart(s.activeEdges[a].outPlus);
    if (floating) status_ = Status::Indeterminate;
  }
  // Unknown column of each node's voltage; -1 for a datum.
  std::vector<long> column(static_cast<std::size_t>(nodes + 1), -1);
  std::size_t next = 0;
  for (int n = 1; n <= nodes; ++n)
    if (parts.find(n) != n) column[static_cast<std::size_t>(n)] = static_cast<long>(next++);

  auto add = [&](std::size_t row, std::size_t col, Real g, Real c) {
    if (g != 0 || c != 0) entries_.push_back({row, col, g, c});
  };
  auto nodeColumn = [&](int n) { return nodeOk(n) ? column[static_cast<std::size_t>(n)] : -1L; };
  // g * v(plus, minus) (+ s c * ...) added to `row`.
  auto voltage = [&](std::size_t row, int plus, int minus, Real g, Real c) {
    if (const long p = nodeColumn(plus); p >= 0) add(row, static_cast<std::size_t>(p), g, c);
    if (const long m = nodeColumn(minus); m >= 0) add(row, static_cast<std::size_t>(m), -g, -c);
  };
  // The unknown `col` times `factor` leaves node n (its current-law row).
  auto leaving = [&](int n, std::size_t col, Real factor) {
    if (const long r = nodeColumn(n); r >= 0) add(static_cast<std::size_t>(r), col, factor, 0);
  };
  // A new unknown and a new row of the same index.
  auto fresh = [&]() { return next++; };

  Real conductances = 0, reactances = 0;  // sums of log sizes, for the frequency scale
  int conductanceCount = 0, reactanceCount = 0;
  std::vector<std::pair<Real, bool>> reactive;  // capacitances, and inductances (true)
  auto noteConductance = [&](Real g) {
    if (g != 0 && std::isfinite(g)) conductances += std::log(std::abs(g)), ++conductanceCount;
  };

  for (int p = 2; p <= passiveCount; ++p) {
    const PassiveEdge& e = s.passiveEdges[p];
    const std::string name = nameOf(e.name);
    const char kind = lower(name.empty() ? 'a' : name[0]);
    const bool unit = name == "a";
    const Real x = unit ? 1 : valueOf(name);
    if (unit || kind == 'c' || kind == 'g' || kind == 'y') {
      const bool capacitor = kind == 'c';
      if (capacitor) reactive.emplace_back(x, false);
      else noteConductance(x);
      const Real g = capacitor ? 0 : x, c = capacitor ? x : 0;
      if (const long r = nodeColumn(e.node1); r >= 0) voltage(static_cast<std::size_t>(r), e.node1, e.node2, g, c);
      if (const long r = nodeColumn(e.node2); r >= 0) voltage(static_cast<std::size_t>(r), e.node1, e.node2, -g, -c);
    } else {
      // An impedance: its current i leaves node1 through it into node2, and
      // v(node1, node2) - Z i = 0 with Z = x or s x.
      const bool inductive = kind == 'l' || kind == 'm';
      if (inductive) {
        reactive.emplace_back(x, true);
      } else if (x != 0) {
        noteConductance(1 / x);
      }
      const std::size_t i = fresh();
      leaving(e.node1, i, 1);
      leaving(e.node2, i, -1);
      voltage(i, e.node1, e.node2, 1, 0);
      add(i, i, inductive ? 0 : -x, inductive ? -x : 0);
    }
  }
  for (int a = 1; a <= activeCount; ++a) {
    const ActiveEdge& e = s.activeEdges[a];
    const std::string name = nameOf(e.name);
    if (!name.empty() && lower(name[0]) == 'o') {
      // Norator current from +out to -out; nullator v(+in, -in) = 0.
      const std::size_t i = fresh();
      leaving(e.outPlus, i, 1);
      leaving(e.outMinus, i, -1);
      voltage(i, e.inPlus, e.inMinus, 1, 0);
      continue;
    }
    const Real x = name == "a" ? 1 : valueOf(name);
    noteConductance(x);
    if (const long r = nodeColumn(e.outPlus); r >= 0) voltage(static_cast<std::size_t>(r), e.inPlus, e.inMinus, x, 0);
    if (const long r = nodeColumn(e.outMinus); r >= 0)
      voltage(static_cast<std::size_t>(r), e.inPlus, e.inMinus, -x, 0);
  }

  // The ports: V = v(+) - v(-), I enters at +.
  std::size_t portColumn[4];
  for (int port = 0; port < 2; ++port) {
    const int plus = s.portNodes[2 * port], minus = s.portNodes[2 * port + 1];
    const std::size_t v = fresh();   // V's column and its defining row
    const std::size_t i = next++;    // I's column; its row comes below
    add(v, v, 1, 0);
    voltage(v, plus, minus, -1, 0);
    leaving(plus, i, -1);
    leaving(minus, i, 1);
    portColumn[2 * port] = v;
    portColumn[2 * port + 1] = i;
  }
  if (!missing_.empty()) {
    status_ = Status::MissingValues;
    entries_.clear();
    return;
  }

  // The parameter's two rows take the rows of the two current columns.
  Real z0 = 1;
  const bool scattering = isScatteringKind(parameterTable[parameter_].kind);
  if (scattering && s.normalization == 0) z0 = 1 / valueOf("Y0");
  else if (scattering && s.normalization == 1) z0 = valueOf("Z0");
  const Definition d = definitionOf(parameter_);
  if (!missing_.empty()) {
    status_ = Status::MissingValues;
    entries_.clear();
    return;
  }
  const std::size_t constraintRow = portColumn[1], denominatorRow = portColumn[3];
  auto form = [&](std::size_t row, const PortQuantity& q) {
    auto [wv, wi] = weightsOf(q, z0);
    add(row, portColumn[2 * q.port], wv, 0);
    add(row, portColumn[2 * q.port + 1], wi, 0);
  };
  form(constraintRow, d.constraint);
  form(denominatorRow, d.denominator);
  driveRow_ = denominatorRow;
  auto [wv, wi] = weightsOf(d.numerator, z0);
  if (wv != 0) output_.emplace_back(portColumn[2 * d.numerator.port], wv);
  if (wi != 0) output_.emplace_back(portColumn[2 * d.numerator.port + 1], wi);
  rows_ = next;

  // The frequency scale: the geometric mean of the corner frequencies of
  // the reactive elements against a typical conductance.
  const Real typical = conductanceCount > 0 ? std::exp(conductances / conductanceCount) : 1;
  // A capacitance C meets g at g/C, an inductance L at 1/(g L).
  for (const auto& [x, inductive] : reactive)
    if (x != 0 && std::isfinite(x))
      reactances += inductive ? -std::log(typical * std::abs(x)) : std::log(typical / std::abs(x)), ++reactanceCount;
  frequencyScale_ = reactanceCount > 0 ? std::exp(reactances / reactanceCount) : 1;
  if (!std::isfinite(frequencyScale_) || frequencyScale_ <= 0) frequencyScale_ = 1;
}

std::optional<NumericCircuit::Point> NumericCircuit::solve(std::complex<long double> s) const {
  if (status_ != Status::Regular) return std::nullopt;
  const auto n = static_cast<Eigen::Index>(rows_);
  ComplexMatrix a = ComplexMatrix::Zero(n, n);
  // Beside each entry the sum of the sizes of its terms: an entry whose
  // terms cancel is told from one that is merely small.
  RealMatrix bound = RealMatrix::Zero(n, n);
  const Real size = std::abs(s);
  for (const Entry& e : entries_) {
    const auto r = static_cast<Eigen::Index>(e.row), c = static_cast<Eigen::Index>(e.column);
    a(r, c) += Complex(e.g) + s * e.c;
    bound(r, c) += std::abs(e.g) + size * std::abs(e.c);
  }
  std::vector<Real> rowScale, columnScale;
  equilibrate(bound, rowScale, columnScale);
  for (Eigen::Index c = 0; c < n; ++c)
    for (Eigen::Index r = 0; r < n; ++r) {
      const Real scale = rowScale[static_cast<std::size_t>(r)] * columnScale[static_cast<std::size_t>(c)];
      a(r, c) *= scale;
      bound(r, c) *= scale;
    }
  // Whether the equations are singular for every s is told by full
  // pivoting (analyse()); then partial pivoting serves. Either way a
  // pivot is refused only when it is lost to cancellation, never for being
  // small: a high gain makes pivots small without making them uncertain.
  // Partial pivoting can lose a column to cancellation that full pivoting
  // keeps (elimination in a poor order swamps a small true entry), so a
  // column of noise is checked once more with full pivoting.
  TrackedLu lu;
  if (!(regularityKnown_ && lu.factor(a, bound, TrackedLu::Pivoting::Partial)) &&
      !lu.factor(a, std::move(bound), TrackedLu::Pivoting::Full))
    return std::nullopt;
  ComplexVector b = ComplexVector::Zero(n);
  b(static_cast<Eigen::Index>(driveRow_)) = rowScale[driveRow_];
  ComplexVector x = lu.solve(b);
  // Refinement on the residual of the unscaled equations, taken from the
  // elements' entries in quadruple precision: where the parameter is small
  // beside the network's other quantities (deep in a stop band, or s^5
  // below the coupling corners) the LU alone leaves it a rounding of those
  // quantities; each step gains the digits the equations' condition allows.
  for (int step = 0; step < kRefinementSteps; ++step) {
    const std::vector<Complex> wide = residual(s, x.data(), columnScale);
    ComplexVector r(n);
    for (Eigen::Index k = 0; k < n; ++k)
      r(k) = wide[static_cast<std::size_t>(k)] * rowScale[static_cast<std::size_t>(k)];
    const ComplexVector dx = lu.solve(r);
    x += dx;
    // Done when the parameter itself no longer moves.
    Complex h = 0, dh = 0;
    for (const auto& [col, weight] : output_) {
      h += weight * x(static_cast<Eigen::Index>(col)) * columnScale[col];
      dh += weight * dx(static_cast<Eigen::Index>(col)) * columnScale[col];
    }
    if (!(std::norm(dh) > kRefinedShare * kRefinedShare * std::norm(h))) break;
  }
  Complex h = 0;
  Real weights = 0, largest = 0;
  for (const auto& [col, weight] : output_) {
    h += weight * x(static_cast<Eigen::Index>(col)) * columnScale[col];
    weights += std::abs(weight);
  }
  for (Eigen::Index k = 0; k < n; ++k)
    largest = std::max(largest, std::abs(x(k)) * columnScale[static_cast<std::size_t>(k)]);
  if (!std::isfinite(h.real()) || !std::isfinite(h.imag())) return std::nullopt;
  return Point{zero_ ? Complex(0) : h, largest * weights};
}

std::vector<std::complex<long double>> NumericCircuit::residual(std::complex<long double> s,
                                                               const std::complex<long double>* x,
                                                               const std::vector<long double>& columnScale) const {
  // (a + b i)(c + d i) of long doubles in quadruple precision: the products
  // are exact, the sums lose 1e-34 of their terms.
  using Wide = __float128;
  const auto n = static_cast<std::size_t>(rows_);
  std::vector<Wide> re(n, 0), im(n, 0);
  re[driveRow_] = 1;
  const Wide sr = static_cast<Wide>(s.real()), si = static_cast<Wide>(s.imag());
  std::vector<Wide> xr(n), xi(n);  // the scalings are powers of 2: exact
  for (std::size_t k = 0; k < n; ++k) {
    xr[k] = static_cast<Wide>(x[k].real() * columnScale[k]);
    xi[k] = static_cast<Wide>(x[k].imag() * columnScale[k]);
  }
  for (const Entry& e : entries_) {
    const Wide g = static_cast<Wide>(e.g);
    if (e.c == 0) {
      re[e.row] -= g * xr[e.column];
      im[e.row] -= g * xi[e.column];
      continue;
    }
    const Wide c = static_cast<Wide>(e.c);
    const Wide ar = g + sr * c, ai = si * c;
    re[e.row] -= ar * xr[e.column] - ai * xi[e.column];
    im[e.row] -= ar * xi[e.column] + ai * xr[e.column];
  }
  std::vector<Complex> r(n);
  for (std::size_t k = 0; k < n; ++k) r[k] = Complex(static_cast<Real>(re[k]), static_cast<Real>(im[k]));
  return r;
}

std::optional<std::complex<long double>> NumericCircuit::value(std::complex<long double> s) const {
  if (std::optional<Point> p = solve(s)) return p->value;
  return std::nullopt;
}

std::complex<double> NumericCircuit::response(std::complex<double> s) const {
  const std::optional<Complex> h = value(Complex(s.real(), s.imag()));
  if (!h) return {std::nan(""), std::nan("")};
  return {static_cast<double>(h->real()), static_cast<double>(h->imag())};
}

void NumericCircuit::analyse() {
  // Singular at every generic point: singular for every s.
  int singular = 0;
  bool allSmall = true;
  for (const Complex& direction : kGenericPoints) {
    // The size of the solution tells what rounding can leave of a true 0.
    const std::optional<Point> p = solve(direction * frequencyScale_);
    if (!p) {
      ++singular;
      continue;
    }
    if (!(std::abs(p->value) <= kNoise * p->scale)) allSmall = false;
  }
  if (singular == 3) {
    status_ = Status::Indeterminate;
    return;
  }
  zero_ = allSmall;
  regularityKnown_ = true;
}

const std::vector<RootCluster>& NumericCircuit::poleClusters() const {
  findRoots();
  return poleClusters_;
}

const std::vector<RootCluster>& NumericCircuit::zeroClusters() const {
  findRoots();
  return zeroClusters_;
}

const std::vector<std::complex<double>>& NumericCircuit::poles() const {
  findRoots();
  return poles_;
}

const std::vector<std::complex<double>>& NumericCircuit::zeros() const {
  findRoots();
  return zeros_;
}

std::optional<int> NumericCircuit::winding(std::complex<long double> centre, long double radius) const {
  Real turned = 0;
  Complex previous;
  for (int k = 0; k <= kWindingPoints; ++k) {
    // The first point again at the end, so that the turns add up to whole ones.
    const Real angle = 2 * std::numbers::pi_v<Real> * (static_cast<Real>(k % kWindingPoints) + 0.5L) / kWindingPoints;
    const std::optional<Complex> h = value((centre + std::polar(radius, angle)) * frequencyScale_);
    if (!h || *h == Complex(0)) return std::nullopt;
    if (k > 0) {
      const Real step = std::arg(*h / previous);
      if (!(std::fabs(step) < kWindingStep)) return std::nullopt;
      turned += step;
    }
    previous = *h;
  }
  return static_cast<int>(std::lround(turned / (2 * std::numbers::pi_v<Real>)));
}

void NumericCircuit::findRoots() const {
  if (rootsFound_ || status_ != Status::Regular) return;
  rootsFound_ = true;
  // H = 0 has neither poles nor zeros.
  if (zero_) return;
  // Poles and zeros in units of the frequency scale.
  const auto n = static_cast<Eigen::Index>(rows_);
  RealMatrix g = RealMatrix::Zero(n + 1, n + 1), c = RealMatrix::Zero(n + 1, n + 1);
  for (const Entry& e : entries_) {
    g(static_cast<Eigen::Index>(e.row), static_cast<Eigen::Index>(e.column)) += e.g;
    c(static_cast<Eigen::Index>(e.row), static_cast<Eigen::Index>(e.column)) += e.c * frequencyScale_;
  }
  const Eigenvalues poles = finiteEigenvalues(g.topLeftCorner(n, n), c.topLeftCorner(n, n), kRankTolerance);
  // det [[G + sC, e], [n', 0]] = -det(G + sC) H(s).
  g(static_cast<Eigen::Index>(driveRow_), n) = 1;
  for (const auto& [col, weight] : output_) g(n, static_cast<Eigen::Index>(col)) += weight;
  const Eigenvalues zeros = finiteEigenvalues(g, c, kZeroRankTolerance);
  std::vector<RootCluster> poleSet = clusterRoots(poles.roots, poles.perturbed, kOriginSpread);
  std::vector<RootCluster> zeroSet = clusterRoots(zeros.roots, zeros.perturbed, kOriginSpread);
  // A pole and a zero that coincide cancel: modes of the network that the
  // parameter does not see (a part the ports neither drive nor observe)
  // appear in both pencils, and at the origin a power of s common to both.
  for (RootCluster& pole : poleSet)
    for (RootCluster& zero : zeroSet) {
      if (pole.multiplicity == 0 || zero.multiplicity == 0) continue;
      if (std::abs(zero.value - pole.value) > kCancelled * std::max(std::abs(pole.value), std::abs(zero.value))) continue;
      const int common = std::min(pole.multiplicity, zero.multiplicity);
      pole.multiplicity -= common;
      zero.multiplicity -= common;
    }
  // Far out, an infinite root that the deflation could not tell from a
  // finite one (a Jordan chain at infinity that rounding split into huge
  // values) is told by the response: about a true root of H its argument
  // turns once per zero and back once per pole, about a false one not at
  // all. The circle holds the cluster's members and no other root.
  auto confirmed = [&](std::vector<RootCluster>& set) {
    for (RootCluster& root : set) {
      if (root.multiplicity == 0 || !(std::abs(root.value) > kSuspectRoot)) continue;
      Real room = INFINITY;
      for (const auto* others : {&poleSet, &zeroSet})
        for (const RootCluster& other : *others)
          if (&other != &root && other.multiplicity > 0) room = std::min(room, std::abs(other.value - root.value));
      // Where H cannot be followed on the circle (its equations singular
      // there, or its argument too fast), a wider one; a root that no
      // circle confirms is not shown.
      std::optional<int> turns;
      for (Real radius = std::max(2 * root.spread, kWindingRadius * std::abs(root.value));
           !turns && radius <= room / 2 && radius < std::abs(root.value); radius *= kWiderCircle)
        turns = winding(root.value, radius);
      if (!turns || *turns == 0) root.multiplicity = 0;
    }
  };
  confirmed(zeroSet);
  confirmed(poleSet);
  poleClusters_ = orderedClusters(std::move(poleSet), frequencyScale_);
  zeroClusters_ = orderedClusters(std::move(zeroSet), frequencyScale_);
  poles_ = expanded(poleClusters_);
  zeros_ = expanded(zeroClusters_);
}

}  // namespace velkor
