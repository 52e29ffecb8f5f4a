#include "trees/common_tree_enumerator.h"

#include "model/branch_maps.h"
#include "support/work_meter.h"
#include "trees/graph_pair.h"

namespace velkor {

void UndoableForest::reset(int nodes) {
  rowsLeft = 0;
  for (int v = 0; v <= nodes && v < kGraphNodeSlots; ++v) {
    label[v] = v;
    next[v] = v;
    members[v] = std::uint64_t{1} << v;
    size[v] = 1;
    rowNode[v] = v == 1 ? 0 : v;
    if (v >= 2) rowsLeft |= std::uint64_t{1} << v;
  }
  undoDepth = 0;
  lastSign = 1;
}

void UndoableForest::relabel(int member, int root) {
  int v = member;
  do {
    label[v] = root;
    v = next[v];
  } while (v != member);
}

bool UndoableForest::unite(int a, int b) {
  const int rootA = find(a);
  const int rootB = find(b);
  if (rootA == rootB) return false;
  int keep = rootA;
  int gone = rootB;
  // The larger component keeps its label (the first root's when they are
  // as large). The sizes are counted beside the node sets: counting the
  // bits of a set calls a library routine on processors taken as having
  // no instruction for it.
  if (size[keep] < size[gone]) {
    keep = rootB;
    gone = rootA;
  }
  // The row of the component without node 1 goes; between two components
  // with rows, the attached one's.
  const int keptBefore = rowNode[keep];
  int row = rowNode[gone];
  bool rowOfA = gone == rootA;
  if (row == 0) {
    row = keptBefore;
    rowOfA = keep == rootA;
    rowNode[keep] = 0;
  }
  // The edge's column holds +1 in the row of its start, -1 in its end's.
  static_assert(kGraphNodeSlots <= 64, "one bit per node");
  const std::uint64_t below = rowsLeft & ((std::uint64_t{1} << row) - 1);
  // Whether an odd number of rows is before it (its place, from 0, is odd).
  const bool oddPlace = __builtin_parityll(below) != 0;
  lastSign = (oddPlace ? -1 : 1) * (rowOfA ? 1 : -1);
  rowsLeft &= ~(std::uint64_t{1} << row);

  relabel(gone, keep);
  members[keep] |= members[gone];
  size[keep] += size[gone];
  const int spliced = next[keep];
  next[keep] = next[gone];
  next[gone] = spliced;
  keptRow[undoDepth] = keptBefore;
  eliminated[undoDepth] = row;
  undo[undoDepth++] = gone;
  return true;
}

void UndoableForest::undoLast() {
  --undoDepth;
  const int gone = undo[undoDepth];
  const int keep = label[gone];
  const int spliced = next[keep];
  next[keep] = next[gone];
  next[gone] = spliced;
  relabel(gone, gone);
  members[keep] &= ~members[gone];
  size[keep] -= size[gone];
  rowNode[keep] = keptRow[undoDepth];
  rowsLeft |= std::uint64_t{1} << eliminated[undoDepth];
}

namespace {

constexpr int kForced = kClassNullor | kClassPort1 | kClassPort2;

}  // namespace

bool validGraphPair(const GraphPair& g) {
  if (g.minty_nodes < 1 || g.minty_nodes > kMaxGraphNodes || g.actual_nodes != g.minty_nodes - 1) return false;
  if (g.edges < 1 || g.edges >= kEdgeSlots) return false;
  for (int e = 2; e <= g.edges; ++e) {
    const int ends[4] = {g.iGraph.d1[e], g.iGraph.d2[e], g.vGraph.d1[e], g.vGraph.d2[e]};
    for (int node : ends)
      if (node < 1 || node > g.actual_nodes) return false;
  }
  return true;
}

// Fills joinedFrom[e] for e = E + 1 down to 2: the components of the
// edges e .. E, added one at a time from the last.
void labelSuffixes(const EdgeEnds& ends, int lastEdge, int nodes, std::uint64_t (*joinedFrom)[kGraphNodeSlots]) {
  UndoableForest forest;
  forest.reset(nodes);
  for (int e = lastEdge + 1; e >= 2; --e) {
    if (e <= lastEdge) forest.unite(ends.d1[e], ends.d2[e]);
    for (int v = 0; v <= nodes; ++v) joinedFrom[e][v] = forest.members[forest.find(v)];
  }
}

// Whether the graph of the taken edges and the open edges after `edge`
// still joins the two ends of `edge`. With the taken and open edges
// connected before `edge` is left out, as they are at every step, this is
// whether they stay connected without it.
//
// The nodes reached from one end grow in turns: by whole components of the
// open edges, then by whole components of the taken ones, each node added
// once, until the other end's component is met or nothing new is reached.
bool endsStillJoined(const UndoableForest& forest, const EdgeEnds& ends,
                     const std::uint64_t (*joinedFrom)[kGraphNodeSlots], int edge) {
  const std::uint64_t* open = joinedFrom[edge + 1];
  const std::uint64_t target = forest.members[forest.find(ends.d2[edge])];
  std::uint64_t reached = forest.members[forest.find(ends.d1[edge])];
  std::uint64_t frontier = reached;
  while (frontier != 0) {
    if ((reached & target) != 0) return true;
    std::uint64_t byOpen = 0;
    for (std::uint64_t rest = frontier; rest != 0; rest &= rest - 1) byOpen |= open[__builtin_ctzll(rest)];
    byOpen &= ~reached;
    std::uint64_t added = byOpen;
    for (std::uint64_t rest = byOpen; rest != 0; rest &= rest - 1)
      added |= forest.members[forest.find(__builtin_ctzll(rest))];
    added &= ~reached;
    reached |= added;
    frontier = added;
  }
  return (reached & target) != 0;
}

bool startCommonTrees(CommonTreeEnumerator& en, const GraphPair& g) {
  const int nodes = g.actual_nodes;
  en.floor = 0;
  en.atRoot = false;
  if (!validGraphPair(g)) {
    en.state = EnumerationState::kExhausted;
    return false;
  }
  labelSuffixes(g.iGraph, g.edges, nodes, en.iJoinedFrom);
  labelSuffixes(g.vGraph, g.edges, nodes, en.vJoinedFrom);
  // Without a connected graph on either side there is no common tree;
  // with one, every step below keeps the taken and open edges connected.
  const std::uint64_t allNodes = ((std::uint64_t{1} << (nodes + 1)) - 1) & ~std::uint64_t{1};
  if (en.iJoinedFrom[2][1] != allNodes || en.vJoinedFrom[2][1] != allNodes) {
    en.state = EnumerationState::kExhausted;
    return false;
  }
  en.iForest.reset(nodes);
  en.vForest.reset(nodes);
  en.takenCount = 0;
  en.signs[0] = 1;
  en.nextEdge = 2;
  en.state = EnumerationState::kRunning;
  return true;
}

bool endsStillJoinedIn(const CommonTreeEnumerator& en, const GraphPair& g, int edge) {
  return endsStillJoined(en.iForest, g.iGraph, en.iJoinedFrom, edge) &&
         endsStillJoined(en.vForest, g.vGraph, en.vJoinedFrom, edge);
}

bool nextCommonTree(CommonTreeEnumerator& en, const GraphPair& g, int* treeEdges, WorkMeter& meter) {
  const int nodes = g.actual_nodes;
  const int needed = nodes - 1;
  bool backtrack = false;
  if (en.state == EnumerationState::kStart) {
    if (!startCommonTrees(en, g)) return false;
  } else if (en.state == EnumerationState::kRunning) {
    backtrack = !en.atRoot;  // resume after the tree last returned
    en.atRoot = false;
  } else {
    return false;
  }

  for (;;) {
    if (!meter.step()) {
      en.state = EnumerationState::kExhausted;
      return false;
    }
    if (backtrack) {
      // Leave out the latest edge taken that may be left out, and go on
      // after it if the rest can still make a tree.
      backtrack = false;
      bool resumed = false;
      while (en.takenCount > en.floor) {
        const int e = en.taken[--en.takenCount];
        en.iForest.undoLast();
        en.vForest.undoLast();
        if ((g.dmap[e] & kForced) != 0) continue;  // never left out
        if (g.edges - e < needed - en.takenCount) continue;
        if (!endsStillJoined(en.iForest, g.iGraph, en.iJoinedFrom, e) ||
            !endsStillJoined(en.vForest, g.vGraph, en.vJoinedFrom, e))
          continue;
        en.nextEdge = e + 1;
        resumed = true;
        break;
      }
      if (!resumed) {
        en.state = EnumerationState::kExhausted;
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
      en.signs[en.takenCount + 1] = en.signs[en.takenCount] * en.iForest.lastSign * en.vForest.lastSign;
      en.taken[en.takenCount++] = e;
      en.nextEdge = e + 1;
      continue;
    }
    if (forced) {
      backtrack = true;
      continue;
    }
    // Leave edge e out.
    if (g.edges - e < needed - en.takenCount || !endsStillJoined(en.iForest, g.iGraph, en.iJoinedFrom, e) ||
        !endsStillJoined(en.vForest, g.vGraph, en.vJoinedFrom, e)) {
      backtrack = true;
      continue;
    }
    en.nextEdge = e + 1;
  }
}

}  // namespace velkor
