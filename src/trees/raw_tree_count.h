// The raw-tree counter of the plain generator at a given tree, found by
// counting instead of enumerating.
#pragma once

namespace velkor {

struct GraphPair;

// The number of raw trees (spanning trees of the current graph that the
// plain generator completes) up to and including the tree whose edges are
// `treeEdges` positions 1 .. count (ascending, edge 1 left implicit), as
// the generator's 32-bit counter holds it, in *ordinal; false when the
// graph or the tree does not fit the tables.
//
// The generator decides the edges in ascending order and takes each one
// before it leaves it out. So the raw trees before this tree are, for each
// edge d that the tree leaves out, those that agree with it below d and
// take d. Those are counted with the matrix-tree theorem: with the edges
// decided below d fixed, a nullor or port edge above d is either in the
// raw tree or above all of its edges (taking it earlier ends the branch),
// which splits the count into one determinant per such edge.
bool rawTreeOrdinal(const GraphPair& g, const int* treeEdges, int count, int* ordinal);

}  // namespace velkor
