// The search of the common-tree enumeration cut into independent subtrees,
// so that several jobs can enumerate one topological function.
//
// The enumeration decides the edges in ascending order, each taken before
// it is left out. Fixing the decisions on the first edges gives disjoint
// subtrees of that search; listed take-first, the subtrees hold the common
// trees in the order of the whole enumeration, one after another. Each is
// enumerated on its own from its root, which is reached by taking the
// root's edges again in order: the components and signs are then exactly
// those the whole enumeration has there.
#pragma once

#include <cstdint>
#include <vector>

namespace velkor {

struct CommonTreeEnumerator;
struct GraphPair;

// The root of one subtree: the edges taken on the way to it (ascending),
// and the first edge still to decide. Every edge before `nextEdge` that is
// not in `taken` is left out.
struct SubtreeRoot {
  std::vector<std::int8_t> taken;
  int nextEdge = 2;
};

// The roots of the subtrees of `g`'s enumeration that still may hold a
// tree, in the enumeration's order: every choice on the edges up to the
// shallowest depth that gives at least `wanted` of them, but no deeper than
// the edge `lastEdge` (nor past the last edge). Empty when `g` has no common
// tree. `scratch` is used for the search.
std::vector<SubtreeRoot> listSubtrees(CommonTreeEnumerator& scratch, const GraphPair& g, int wanted,
                                      int lastEdge = 1 << 30);

// The last edge up to which the subtrees' products are apart: every edge
// from 2 to it is either never left out (a port or nullor edge) or carries
// a symbol that no other edge carries. Subtrees that differ only in the
// choices on these edges then share no product, since the first edge on
// which two of them differ is in the products of one and not the other.
int lastDistinguishingEdge(const GraphPair& g);

// A bound on the number of common trees of `g`, at once: the spanning
// trees of the sparser of its two graphs (by the matrix-tree theorem, the
// determinant of the reduced Laplacian), which every common tree is.
double commonTreeBound(const GraphPair& g);

// Sets `en` up to enumerate the subtree of `root` alone: nextCommonTree
// then yields its trees and reports the end after the last of them.
void startSubtree(CommonTreeEnumerator& en, const GraphPair& g, const SubtreeRoot& root);

}  // namespace velkor
