#include "trees/common_tree_split.h"

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

void startSubtree(CommonTreeEnumerator& en, const GraphPair& g, const SubtreeRoot& root) {
  if (!startCommonTrees(en, g)) return;
  for (std::int8_t e : root.taken) take(en, g, e);
  en.nextEdge = root.nextEdge;
  en.floor = en.takenCount;
  en.atRoot = true;
}

}  // namespace velkor
