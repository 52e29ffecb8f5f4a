#include "trees/common_tree_enumerator.h"

#include "model/branch_maps.h"
#include "trees/graph_pair.h"

namespace velkor {

void UndoableForest::reset(int nodes) {
  for (int v = 0; v <= nodes && v < kGraphNodeSlots; ++v) {
    parent[v] = v;
    size[v] = 1;
  }
  undoDepth = 0;
}

int UndoableForest::find(int v) const {
  while (parent[v] != v) v = parent[v];
  return v;
}

bool UndoableForest::unite(int a, int b) {
  a = find(a);
  b = find(b);
  if (a == b) return false;
  if (size[a] < size[b]) {
    int t = a;
    a = b;
    b = t;
  }
  parent[b] = a;
  size[a] += size[b];
  undo[undoDepth++] = b;
  return true;
}

void UndoableForest::undoLast() {
  int b = undo[--undoDepth];
  int a = parent[b];
  size[a] -= size[b];
  parent[b] = b;
}

namespace {

constexpr int kForced = kClassNullor | kClassPort1 | kClassPort2;

bool validGraph(const GraphPair& g) {
  if (g.minty_nodes < 1 || g.minty_nodes > kMaxGraphNodes || g.actual_nodes != g.minty_nodes - 1) return false;
  if (g.edges < 1 || g.edges >= kEdgeSlots) return false;
  for (int e = 2; e <= g.edges; ++e) {
    const int ends[4] = {g.iGraph.d1[e], g.iGraph.d2[e], g.vGraph.d1[e], g.vGraph.d2[e]};
    for (int node : ends)
      if (node < 1 || node > g.actual_nodes) return false;
  }
  return true;
}

// Whether the taken edges together with the open edges from `from` on can
// still connect all nodes 1 .. N in one graph.
bool canStillConnect(const UndoableForest& forest, const EdgeEnds& ends, int from, int lastEdge, int nodes,
                     int components) {
  if (components <= 1) return true;
  int root[kGraphNodeSlots];
  for (int v = 1; v <= nodes; ++v) root[v] = forest.find(v);
  // A scratch forest over the current components' roots.
  int parent[kGraphNodeSlots];
  for (int v = 1; v <= nodes; ++v) parent[v] = v;
  auto findScratch = [&](int v) {
    while (parent[v] != v) {
      parent[v] = parent[parent[v]];
      v = parent[v];
    }
    return v;
  };
  for (int e = from; e <= lastEdge; ++e) {
    int a = findScratch(root[ends.d1[e]]);
    int b = findScratch(root[ends.d2[e]]);
    if (a == b) continue;
    parent[a] = b;
    if (--components == 1) return true;
  }
  return false;
}

}  // namespace

bool nextCommonTree(CommonTreeEnumerator& en, const GraphPair& g, int* treeEdges, std::uint64_t workLimit) {
  const int nodes = g.actual_nodes;
  const int needed = nodes - 1;
  bool backtrack = false;
  if (en.state == 0) {
    if (!validGraph(g)) {
      en.state = 2;
      return false;
    }
    en.iForest.reset(nodes);
    en.vForest.reset(nodes);
    en.takenCount = 0;
    en.nextEdge = 2;
    en.steps = 0;
    en.state = 1;
  } else if (en.state == 1) {
    backtrack = true;  // resume after the tree last returned
  } else {
    return false;
  }

  for (;;) {
    if (workLimit != 0 && ++en.steps > workLimit) {
      en.state = 2;
      return false;
    }
    if (backtrack) {
      // Leave out the latest edge taken that may be left out, and go on
      // after it if the rest can still make a tree.
      backtrack = false;
      bool resumed = false;
      while (en.takenCount > 0) {
        const int e = en.taken[--en.takenCount];
        en.iForest.undoLast();
        en.vForest.undoLast();
        if ((g.dmap[e] & kForced) != 0) continue;  // never left out
        const int components = nodes - en.takenCount;
        if (g.edges - e < needed - en.takenCount) continue;
        if (!canStillConnect(en.iForest, g.iGraph, e + 1, g.edges, nodes, components) ||
            !canStillConnect(en.vForest, g.vGraph, e + 1, g.edges, nodes, components))
          continue;
        en.nextEdge = e + 1;
        resumed = true;
        break;
      }
      if (!resumed) {
        en.state = 2;
        return false;
      }
    }
    if (en.takenCount == needed) {
      // Every port edge must be in the tree; they come first, so a tree
      // that is complete has passed them all unless the tree has no edges.
      bool portsOpen = false;
      for (int e = en.nextEdge; e <= g.edges && (g.dmap[e] & kForced) != 0; ++e) portsOpen = true;
      if (!portsOpen) {
        for (int k = 0; k < en.takenCount; ++k) treeEdges[k + 1] = en.taken[k];
        return true;
      }
      backtrack = true;
      continue;
    }
    const int e = en.nextEdge;
    if (e > g.edges) {
      backtrack = true;
      continue;
    }
    const bool forced = (g.dmap[e] & kForced) != 0;
    const int ia = g.iGraph.d1[e], ib = g.iGraph.d2[e];
    const int va = g.vGraph.d1[e], vb = g.vGraph.d2[e];
    const bool fitsI = en.iForest.find(ia) != en.iForest.find(ib);
    const bool fitsV = fitsI && en.vForest.find(va) != en.vForest.find(vb);
    if (fitsV) {
      en.iForest.unite(ia, ib);
      en.vForest.unite(va, vb);
      en.taken[en.takenCount++] = e;
      en.nextEdge = e + 1;
      continue;
    }
    if (forced) {
      backtrack = true;
      continue;
    }
    // Leave edge e out.
    const int components = nodes - en.takenCount;
    if (g.edges - e < needed - en.takenCount ||
        !canStillConnect(en.iForest, g.iGraph, e + 1, g.edges, nodes, components) ||
        !canStillConnect(en.vForest, g.vGraph, e + 1, g.edges, nodes, components)) {
      backtrack = true;
      continue;
    }
    en.nextEdge = e + 1;
  }
}

}  // namespace velkor
