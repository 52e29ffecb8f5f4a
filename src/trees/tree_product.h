// Orientation, sign and accumulation of every common tree of a function.
#pragma once

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

// Walks one graph's tree from node 1 and records, per node 2 .. N, the
// signed edge through which the walk first reaches it.
void orientTree(int count, const int* d1, const int* d2, const int* treeEdges, int* permutation);

// Both orientations of a common tree at once.
void orientTreePair(int count, const EdgeEnds& iGraph, const EdgeEnds& vGraph, const int* treeEdges,
                    int* iPermutation, int* vPermutation);

// The sign of a common tree from its two permutations (which it changes).
int treeSign(int actualNodes, int* vPermutation, int* iPermutation);

}  // namespace velkor
