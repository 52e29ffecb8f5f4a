// The two graphs of one topological function over one edge set.
#pragma once

#include "support/capacities.h"

namespace velkor {

struct EdgeEnds {
  int d1[kEdgeSlots] = {};  // where the edge's reference direction starts
  int d2[kEdgeSlots] = {};
};

struct GraphPair {
  int minty_nodes = 0;   // M: nodes 1 .. M, node M is the auxiliary node
  int actual_nodes = 0;  // N = M - 1
  int edges = 0;         // E: edges 1 .. E
  int form = 0;          // 0, 2 or 6: the port edges every tree holds
  int topofun = 0;
  int d0[kEdgeSlots] = {};  // branchNames slot of each edge
  EdgeEnds iGraph;
  EdgeEnds vGraph;
  int dmap[kEdgeSlots] = {};
  int dpowermap[kEdgeSlots] = {};
  int dbranchmap[kEdgeSlots] = {};
};

}  // namespace velkor
