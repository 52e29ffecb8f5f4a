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
#include "trees/enumeration_state.h"

namespace velkor {

class WorkMeter;

struct GraphPair;

// The components of one graph under the edges taken so far, joined one
// edge at a time and separated again in reverse order.
//
// It also follows the determinant of the reduced incidence matrix (rows
// nodes 2 .. N, columns the edges in the order they are joined) by
// contraction: each component is one row, the sum of its nodes' rows (the
// component of node 1 has none), so joining two components adds one row to
// the other and leaves the new column with a single entry, along which the
// determinant is expanded. Each union therefore contributes a sign: that
// entry, times (-1) to the power of the eliminated row's place among the
// rows left, plus one.
//
// Components are kept by label: every node carries its component's root,
// and each component's nodes form a circular list, so that finding a
// root is one load and a union relabels the smaller component (splicing
// the two lists; undoing splits them again the same way).
struct UndoableForest {
  int label[kGraphNodeSlots];  // the root of each node's component
  std::uint64_t members[kGraphNodeSlots];  // per root: its component's nodes, one bit each
  int size[kGraphNodeSlots];               // per root: how many nodes its component has
  int next[kGraphNodeSlots];   // the next node of the same component
  int undo[kGraphNodeSlots];  // the root that each union attached
  int undoDepth = 0;
  int rowNode[kGraphNodeSlots];      // per root: the node whose row is the component's; 0 for node 1's
  int keptRow[kGraphNodeSlots];      // per union: the kept root's row node before it
  int eliminated[kGraphNodeSlots];   // per union: the row eliminated
  std::uint64_t rowsLeft = 0;        // rows not eliminated yet, one bit per node
  int lastSign = 1;                  // the sign of the latest union's column

  void reset(int nodes);
  int find(int v) const { return label[v]; }
  // Joins the ends of an edge directed from a to b; false when they are
  // already joined.
  bool unite(int a, int b);
  void undoLast();

 private:
  // Sets the label of every node on `member`'s list.
  void relabel(int member, int root);
};

struct CommonTreeEnumerator {
  UndoableForest iForest;
  UndoableForest vForest;
  int taken[kTreeSlots] = {};  // the edges taken, in ascending order
  // signs[k]: the product of both graphs' incidence determinants over the
  // first k edges taken, so signs[N-1] is the sign of a complete tree.
  int signs[kTreeSlots] = {};
  int takenCount = 0;
  int nextEdge = 2;
  EnumerationState state = EnumerationState::kStart;
  // An enumeration of one subtree of the search (common_tree_split.h):
  // the first `floor` edges taken are fixed and never undone, and with
  // `atRoot` set the next call starts at the subtree's root instead of
  // resuming after a tree.
  int floor = 0;
  bool atRoot = false;
  // joinedFrom[e][v]: the nodes of node v's component in the graph of
  // edges e .. E alone, one bit each; one table per graph, set up when the
  // enumeration starts.
  std::uint64_t iJoinedFrom[kEdgeSlots + 1][kGraphNodeSlots] = {};
  std::uint64_t vJoinedFrom[kEdgeSlots + 1][kGraphNodeSlots] = {};
};

struct EdgeEnds;

// The components of the graph of edges e .. lastEdge alone, for every e
// from lastEdge + 1 down to 2: joinedFrom[e][v] holds the nodes of node
// v's component, one bit each.
void labelSuffixes(const EdgeEnds& ends, int lastEdge, int nodes, std::uint64_t (*joinedFrom)[kGraphNodeSlots]);

// Whether the taken edges (in `forest`) and the edges after `edge` still
// join the two ends of `edge`: with the taken and open edges connected,
// whether leaving `edge` out keeps them connected.
bool endsStillJoined(const UndoableForest& forest, const EdgeEnds& ends,
                     const std::uint64_t (*joinedFrom)[kGraphNodeSlots], int edge);
// Sets up the enumeration of `g` from its first edge; false when `g` has no
// common tree at all (the enumeration is then exhausted).
bool startCommonTrees(CommonTreeEnumerator& en, const GraphPair& g);
// Whether both graphs stay connected when `edge`, the next edge to decide,
// is left out (given that they are connected with it).
bool endsStillJoinedIn(const CommonTreeEnumerator& en, const GraphPair& g, int edge);

// Advances to the next common tree; true with the tree's edges in
// `treeEdges` positions 1 .. N-1 (and its sign in en.signs[N-1]), false
// when there is none left, or when `meter` stops the enumeration (which
// then stays ended).
// Whether a graph pair's counts and every edge's ends are within the
// enumeration's tables.
bool validGraphPair(const GraphPair& g);

bool nextCommonTree(CommonTreeEnumerator& en, const GraphPair& g, int* treeEdges, WorkMeter& meter);

}  // namespace velkor
