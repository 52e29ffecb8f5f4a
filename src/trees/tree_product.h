// Orientation, sign and accumulation of every common tree of a function.
#pragma once

#include <atomic>

#include "support/capacities.h"

namespace velkor {

struct TreeContext;
struct EdgeEnds;
struct PolyRecord;

struct ProductState {
  int commonTreeCount = 0;
  int iPermutation[kTreeSlots] = {};
  int vPermutation[kTreeSlots] = {};
  int termEdges[kTreeSlots] = {};
  int termCount = 0;
  int termPower = 0;
  int termSign = 1;
};

// Evaluates the function whose graph pair is built into `record`; 0 on
// success, the accumulation's nonzero status when memory ran out (1) or a
// coefficient left the 64-bit range (kCoefficientOutOfRange), or
// kProductStopped when the work meter stopped it (a time bound, a signal).
// Only a success keeps the record (it is released otherwise).
constexpr int kProductStopped = 3;  // apart from the accumulation's statuses
int treeProduct(TreeContext& ctx, int mintyNodes, int edges, int actualNodes, int form, int topofun,
                PolyRecord& record);

struct SubtreeRoot;

// One piece of a function that several jobs evaluate: the common trees of
// the subtree of `root` alone, accumulated into `record` (an empty record
// of its own, laid out with `exponentCount` exponents; its columns are put
// in order when `sortColumns` is set, else left as the terms came). The graph pair is ctx.graph, already built. Returns what
// treeProduct returns; `trees` counts the trees accumulated, and on failure
// the record is released and `failedTree` holds the edges of the tree that
// failed (positions 1 .. N-1).
int subtreeProduct(TreeContext& ctx, const SubtreeRoot& root, int exponentCount, PolyRecord& record,
                   bool sortColumns, std::atomic<int>& trees, int* failedTree);

// The exponents a term of the function whose graph pair is ctx.graph can
// use (see compactTerms).
int termSpan(const TreeContext& ctx);

// Walks one graph's tree from node 1 and records, per node 2 .. N, the
// signed edge through which the walk first reaches it.
void orientTree(int count, const int* d1, const int* d2, const int* treeEdges, int* permutation);

// Both orientations of a common tree at once.
void orientTreePair(int count, const EdgeEnds& iGraph, const EdgeEnds& vGraph, const int* treeEdges,
                    int* iPermutation, int* vPermutation);

// The sign of a common tree from its two permutations (which it changes).
int treeSign(int actualNodes, int* vPermutation, int* iPermutation);

}  // namespace velkor
