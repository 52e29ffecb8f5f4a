#include "trees/common_tree_split.h"

#include <cmath>
#include <utility>

#include "support/capacities.h"

#include "model/branch_maps.h"
#include "trees/common_tree_enumerator.h"
#include "trees/graph_pair.h"

namespace velkor {

namespace {

constexpr int kForced = kClassNullor | kClassPort1 | kClassPort2;

// Takes edge e in both forests, as the enumeration does.
void take(CommonTreeEnumerator& en, const GraphPair& g, int e) {
  en.iForest.unite(g.iGraph.d1[e], g.iGraph.d2[e]);
  en.vForest.unite(g.vGraph.d1[e], g.vGraph.d2[e]);
  en.signs[en.takenCount + 1] = en.signs[en.takenCount] * en.iForest.lastSign * en.vForest.lastSign;
  en.taken[en.takenCount++] = e;
}

void untake(CommonTreeEnumerator& en) {
  --en.takenCount;
  en.iForest.undoLast();
  en.vForest.undoLast();
}

// The choices on edges e .. lastEdge under the current state, take first,
// with the enumeration's own tests: an edge is taken when it closes no
// cycle in either graph, and left out unless it is a port or nullor edge,
// too few edges would remain, or a graph would fall apart.
struct RootSearch {
  CommonTreeEnumerator& en;
  const GraphPair& g;
  int lastEdge;
  int needed;
  std::vector<SubtreeRoot>* roots;  // nullptr: count only
  int count = 0;

  void visit(int e) {
    if (en.takenCount == needed || e > lastEdge) {
      ++count;
      if (roots != nullptr) {
        SubtreeRoot root;
        for (int k = 0; k < en.takenCount; ++k) root.taken.push_back(static_cast<std::int8_t>(en.taken[k]));
        root.nextEdge = e;
        roots->push_back(std::move(root));
      }
      return;
    }
    if (e > g.edges) return;
    const bool fits = en.iForest.find(g.iGraph.d1[e]) != en.iForest.find(g.iGraph.d2[e]) &&
                      en.vForest.find(g.vGraph.d1[e]) != en.vForest.find(g.vGraph.d2[e]);
    if (fits) {
      take(en, g, e);
      visit(e + 1);
      untake(en);
    }
    if ((g.dmap[e] & kForced) != 0) return;
    if (g.edges - e < needed - en.takenCount || !endsStillJoinedIn(en, g, e)) return;
    visit(e + 1);
  }
};

}  // namespace

std::vector<SubtreeRoot> listSubtrees(CommonTreeEnumerator& scratch, const GraphPair& g, int wanted,
                                      int lastEdge) {
  std::vector<SubtreeRoot> roots;
  if (!startCommonTrees(scratch, g)) return roots;
  const int needed = g.actual_nodes - 1;
  int depth = 2;
  for (; depth < g.edges && depth < lastEdge; ++depth) {
    RootSearch counting{scratch, g, depth, needed, nullptr};
    counting.visit(2);
    if (counting.count >= wanted) break;
  }
  RootSearch listing{scratch, g, depth, needed, &roots};
  listing.visit(2);
  return roots;
}

int lastDistinguishingEdge(const GraphPair& g) {
  int last = 1;
  for (int e = 2; e <= g.edges; ++e) {
    if ((g.dmap[e] & kForced) == 0) {
      if (g.dmap[e] != kClassAdmittance) break;
      bool shared = false;
      for (int other = 2; other <= g.edges && !shared; ++other)
        shared = other != e && g.dmap[other] == kClassAdmittance && g.dbranchmap[other] == g.dbranchmap[e];
      if (shared) break;
    }
    last = e;
  }
  return last;
}

namespace {

// The spanning trees of one graph on nodes 1 .. N (edge 1, to the
// auxiliary node, left out) that hold every port and nullor edge: those of
// the graph with these edges contracted, by elimination on its Laplacian
// without the row and column of node 1's part.
double spanningTrees(const GraphPair& g, const EdgeEnds& ends) {
  const int nodes = g.actual_nodes;
  std::vector<int> part(static_cast<std::size_t>(nodes) + 1);
  for (int v = 0; v <= nodes; ++v) part[static_cast<std::size_t>(v)] = v;
  auto find = [&](int v) {
    while (part[static_cast<std::size_t>(v)] != v) v = part[static_cast<std::size_t>(v)];
    return v;
  };
  for (int e = 2; e <= g.edges; ++e) {
    if ((g.dmap[e] & kForced) == 0) continue;
    const int a = find(ends.d1[e]), b = find(ends.d2[e]);
    if (a == b) return 0;  // the edges every tree must hold close a cycle
    part[static_cast<std::size_t>(a > b ? a : b)] = a < b ? a : b;
  }
  // Rows for the parts other than node 1's, numbered densely.
  std::vector<int> row(static_cast<std::size_t>(nodes) + 1, -1);
  int n = 0;
  for (int v = 2; v <= nodes; ++v)
    if (find(v) == v && find(v) != find(1)) row[static_cast<std::size_t>(v)] = n++;
  if (n == 0) return 1;
  std::vector<double> a(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0.0);
  auto at = [&](int r, int c) -> double& {
    return a[static_cast<std::size_t>(r) * static_cast<std::size_t>(n) + static_cast<std::size_t>(c)];
  };
  for (int e = 2; e <= g.edges; ++e) {
    if ((g.dmap[e] & kForced) != 0) continue;
    const int pu = find(ends.d1[e]), pv = find(ends.d2[e]);
    if (pu == pv) continue;
    const int u = row[static_cast<std::size_t>(pu)], v = row[static_cast<std::size_t>(pv)];
    if (u >= 0) at(u, u) += 1;
    if (v >= 0) at(v, v) += 1;
    if (u >= 0 && v >= 0) {
      at(u, v) -= 1;
      at(v, u) -= 1;
    }
  }
  double trees = 1;
  for (int k = 0; k < n; ++k) {
    int pivot = k;
    for (int r = k + 1; r < n; ++r)
      if (std::fabs(at(r, k)) > std::fabs(at(pivot, k))) pivot = r;
    if (std::fabs(at(pivot, k)) < 1e-9) return 0;
    if (pivot != k)
      for (int c = 0; c < n; ++c) std::swap(at(k, c), at(pivot, c));
    trees *= std::fabs(at(k, k));
    for (int r = k + 1; r < n; ++r) {
      const double factor = at(r, k) / at(k, k);
      if (factor == 0) continue;
      for (int c = k; c < n; ++c) at(r, c) -= factor * at(k, c);
    }
  }
  return trees;
}

}  // namespace

double commonTreeBound(const GraphPair& g) {
  for (int e = 2; e <= g.edges && e < kEdgeSlots; ++e)
    for (int end : {g.iGraph.d1[e], g.iGraph.d2[e], g.vGraph.d1[e], g.vGraph.d2[e]})
      if (end < 1 || end > g.actual_nodes) return 0;
  if (g.actual_nodes < 1 || g.actual_nodes >= kGraphNodeSlots || g.edges >= kEdgeSlots) return 0;
  const double i = spanningTrees(g, g.iGraph);
  const double v = spanningTrees(g, g.vGraph);
  return i < v ? i : v;
}

void startSubtree(CommonTreeEnumerator& en, const GraphPair& g, const SubtreeRoot& root) {
  if (!startCommonTrees(en, g)) return;
  for (std::int8_t e : root.taken) take(en, g, e);
  en.nextEdge = root.nextEdge;
  en.floor = en.takenCount;
  en.atRoot = true;
}

}  // namespace velkor
