// Fast enumeration of the common spanning trees of a graph pair.
//
// Yields exactly the trees that the plain generator accepts, in the same
// order, without visiting the trees it would reject: the edges are decided
// in ascending order, each taken before it is left out (which gives the
// lexicographic order of the plain generator), and a branch is cut as soon
// as an edge would close a cycle in either graph, a nullor or port edge
// cannot be taken, or the edges still open can no longer connect either
// graph. Both graphs keep their components in union-find forests whose
// unions are undone on backtracking, so no state is copied.
#pragma once

#include <cstdint>

#include "support/capacities.h"

namespace velkor {

struct GraphPair;

// A union-find forest whose unions can be undone in reverse order.
struct UndoableForest {
  int parent[kGraphNodeSlots];
  int size[kGraphNodeSlots];
  int undo[kGraphNodeSlots];  // the root that each union attached
  int undoDepth = 0;

  void reset(int nodes);
  int find(int v) const;
  bool unite(int a, int b);  // false when a and b are already joined
  void undoLast();
};

struct CommonTreeEnumerator {
  UndoableForest iForest;
  UndoableForest vForest;
  int taken[kTreeSlots] = {};  // the edges taken, in ascending order
  int takenCount = 0;
  int nextEdge = 2;
  int state = 0;  // 0 not started, 1 running, 2 exhausted
  std::uint64_t steps = 0;
};

// Advances to the next common tree; true with the tree's edges in
// `treeEdges` positions 1 .. N-1, false when there is none left (or when
// `workLimit` steps have been spent, if it is not 0).
bool nextCommonTree(CommonTreeEnumerator& en, const GraphPair& g, int* treeEdges, std::uint64_t workLimit);

}  // namespace velkor
