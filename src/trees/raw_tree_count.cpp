#include "trees/raw_tree_count.h"

#include <cstdint>

#include "model/branch_maps.h"
#include "trees/graph_pair.h"

namespace velkor {

namespace {

constexpr int kForced = kClassNullor | kClassPort1 | kClassPort2;

// Tree counts can pass 2^64, so they are kept modulo three primes whose
// product exceeds any sum of them that a graph of these sizes can give
// (about 2^110), and put together again at the end.
constexpr std::uint64_t kPrimes[3] = {2305843009213693951ull, 2147483647ull, 1000000007ull};

std::uint64_t mulMod(std::uint64_t a, std::uint64_t b, std::uint64_t p) {
  return static_cast<std::uint64_t>(static_cast<unsigned __int128>(a) * b % p);
}

std::uint64_t powMod(std::uint64_t a, std::uint64_t e, std::uint64_t p) {
  std::uint64_t r = 1;
  for (a %= p; e != 0; e >>= 1) {
    if ((e & 1) != 0) r = mulMod(r, a, p);
    a = mulMod(a, a, p);
  }
  return r;
}

// The determinant of the n x n matrix `m` (row-major, entries in 0 .. p-1)
// modulo the prime p, by elimination; `m` is overwritten.
std::uint64_t determinant(std::uint64_t* m, int n, std::uint64_t p) {
  std::uint64_t det = 1;
  for (int col = 0; col < n; ++col) {
    int pivot = col;
    while (pivot < n && m[pivot * n + col] == 0) ++pivot;
    if (pivot == n) return 0;
    if (pivot != col) {
      for (int k = 0; k < n; ++k) {
        const std::uint64_t t = m[col * n + k];
        m[col * n + k] = m[pivot * n + k];
        m[pivot * n + k] = t;
      }
      det = (p - det) % p;
    }
    const std::uint64_t lead = m[col * n + col];
    det = mulMod(det, lead, p);
    const std::uint64_t inverse = powMod(lead, p - 2, p);
    for (int row = col + 1; row < n; ++row) {
      const std::uint64_t factor = mulMod(m[row * n + col], inverse, p);
      if (factor == 0) continue;
      for (int k = col; k < n; ++k) m[row * n + k] = (m[row * n + k] + p - mulMod(factor, m[col * n + k], p)) % p;
    }
  }
  return det;
}

// Spanning-tree counting on the graph's nodes 1 .. N with some edges
// contracted.
class TreeCounter {
 public:
  TreeCounter(const GraphPair& g) : g_(g), nodes_(g.actual_nodes) {}

  // Starts a count: no edge contracted.
  void reset() {
    for (int v = 1; v <= nodes_; ++v) parent_[v] = v;
    cycle_ = false;
  }
  // Contracts an edge; a cycle among the contracted edges leaves no tree.
  void contract(int e) {
    const int a = find(g_.iGraph.d1[e]);
    const int b = find(g_.iGraph.d2[e]);
    if (a == b)
      cycle_ = true;
    else
      parent_[a] = b;
  }
  // Adds to `sums` the number of spanning trees that hold the contracted
  // edges and otherwise only edges e in [from, to) with usable[e].
  void addTrees(int from, int to, const bool* usable, std::uint64_t* sums) {
    if (cycle_) return;
    int index[kGraphNodeSlots];
    int components = 0;
    for (int v = 1; v <= nodes_; ++v)
      if (find(v) == v) index[v] = components++;
    // The reduced Laplacian leaves out the last component's row and column.
    const int n = components - 1;
    for (int k = 0; k < 3; ++k) {
      const std::uint64_t p = kPrimes[k];
      for (int i = 0; i < n * n; ++i) matrix_[i] = 0;
      for (int e = from; e < to; ++e) {
        if (!usable[e]) continue;
        const int a = index[find(g_.iGraph.d1[e])];
        const int b = index[find(g_.iGraph.d2[e])];
        if (a == b) continue;
        if (a < n) matrix_[a * n + a] = (matrix_[a * n + a] + 1) % p;
        if (b < n) matrix_[b * n + b] = (matrix_[b * n + b] + 1) % p;
        if (a < n && b < n) {
          matrix_[a * n + b] = (matrix_[a * n + b] + p - 1) % p;
          matrix_[b * n + a] = (matrix_[b * n + a] + p - 1) % p;
        }
      }
      sums[k] = (sums[k] + (n == 0 ? 1 : determinant(matrix_, n, p))) % p;
    }
  }

 private:
  int find(int v) {
    while (parent_[v] != v) v = parent_[v] = parent_[parent_[v]];
    return v;
  }

  const GraphPair& g_;
  int nodes_;
  int parent_[kGraphNodeSlots];
  bool cycle_ = false;
  std::uint64_t matrix_[kGraphNodeSlots * kGraphNodeSlots];
};

// The sum, known modulo each prime, reduced modulo 2^32 (mixed-radix
// reconstruction: the digits are exact, so the wrap can be taken on them).
std::uint32_t wrapped(const std::uint64_t* sums) {
  const std::uint64_t p0 = kPrimes[0], p1 = kPrimes[1], p2 = kPrimes[2];
  const std::uint64_t v0 = sums[0];
  const std::uint64_t v1 = mulMod((sums[1] + p1 - v0 % p1) % p1, powMod(p0 % p1, p1 - 2, p1), p1);
  const std::uint64_t below = (v0 % p2 + mulMod(v1, p0 % p2, p2)) % p2;
  const std::uint64_t v2 = mulMod((sums[2] + p2 - below) % p2, powMod(mulMod(p0 % p2, p1 % p2, p2), p2 - 2, p2), p2);
  const std::uint32_t p0w = static_cast<std::uint32_t>(p0);
  return static_cast<std::uint32_t>(v0) + static_cast<std::uint32_t>(v1) * p0w +
         static_cast<std::uint32_t>(v2) * p0w * static_cast<std::uint32_t>(p1);
}

}  // namespace

bool rawTreeOrdinal(const GraphPair& g, const int* treeEdges, int count, int* ordinal) {
  const int nodes = g.actual_nodes;
  if (nodes < 1 || nodes >= kGraphNodeSlots || g.edges < 1 || g.edges >= kEdgeSlots) return false;
  for (int e = 2; e <= g.edges; ++e)
    if (g.iGraph.d1[e] < 1 || g.iGraph.d1[e] > nodes || g.iGraph.d2[e] < 1 || g.iGraph.d2[e] > nodes) return false;
  if (count < 0 || count >= kTreeSlots) return false;

  bool inTree[kEdgeSlots + 1] = {};
  int last = 1;
  for (int pos = 1; pos <= count; ++pos) {
    const int e = treeEdges[pos];
    if (e < 2 || e > g.edges) return false;
    inTree[e] = true;
    if (e > last) last = e;
  }
  // Edges a tree can use besides the forced ones: loops never are.
  bool usable[kEdgeSlots + 1] = {};
  for (int e = 2; e <= g.edges; ++e)
    usable[e] = (g.dmap[e] & kForced) == 0 && g.iGraph.d1[e] != g.iGraph.d2[e];

  std::uint64_t sums[3] = {1, 1, 1};  // the tree itself
  TreeCounter counter(g);
  for (int d = 2; d < last; ++d) {
    // Only an edge that the generator may leave out is a branch point.
    if (inTree[d] || !usable[d]) continue;
    // The forced edges above d, in ascending order; the last port among
    // them must be in every tree counted.
    int forced[kEdgeSlots];
    int forcedCount = 0;
    int lastPort = 0;
    for (int e = d + 1; e <= g.edges; ++e) {
      if ((g.dmap[e] & kForced) == 0) continue;
      forced[forcedCount++] = e;
      if ((g.dmap[e] & (kClassPort1 | kClassPort2)) != 0) lastPort = forcedCount;
    }
    // Trees holding the first k forced edges above d and no edge at or
    // above the next one.
    for (int k = lastPort; k <= forcedCount; ++k) {
      counter.reset();
      for (int e = 2; e < d; ++e)
        if (inTree[e]) counter.contract(e);
      counter.contract(d);
      for (int j = 0; j < k; ++j) counter.contract(forced[j]);
      const int bound = k < forcedCount ? forced[k] : g.edges + 1;
      counter.addTrees(d + 1, bound, usable, sums);
    }
  }
  *ordinal = static_cast<int>(wrapped(sums));
  return true;
}

}  // namespace velkor
