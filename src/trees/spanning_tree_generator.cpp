// Resumable enumeration of the spanning trees of the current graph (i-graph)
// that are admissible for the function being evaluated.
//
// The edge set is partitioned depth first: the lowest open edge is taken, and
// the branch that leaves it out is saved on an explicit stack and explored
// later. Component labels make the cycle test a lookup and the completion
// test a scan over the nodes. Port and nullor edges are never left out. A
// complete tree is a raw tree; it is accepted when it holds every nullor edge
// and its edges also span the voltage graph (v-graph).
//
// Nothing is allocated and no list of trees is kept: the live path and at
// most M - 1 saved copies of it are all the state there is.
#include "trees/spanning_tree_generator.h"

#include "trees/tree_context.h"

namespace velkor {

namespace {

// Class bits of an edge that is never left out of a tree.
constexpr int kNeverExcluded = kClassNullor | kClassPort1 | kClassPort2;
// Class bits of the port edges every tree must hold.
constexpr int kPortBits = kClassPort1 | kClassPort2;

// True when the graph pair fits the tables and every edge end is a node of
// the graph, so that no label, flag or stack lookup can leave its table.
bool graphFitsTables(const GraphPair& g) {
  if (g.minty_nodes < 1 || g.minty_nodes > kMaxGraphNodes) return false;
  if (g.actual_nodes != g.minty_nodes - 1) return false;
  if (g.edges < 1 || g.edges >= kEdgeSlots) return false;
  for (int e = 1; e <= g.edges; ++e) {
    const int ends[4] = {g.iGraph.d1[e], g.iGraph.d2[e], g.vGraph.d1[e], g.vGraph.d2[e]};
    for (int node : ends)
      if (node < 1 || node > g.minty_nodes) return false;
  }
  return true;
}

void startEnumeration(TreeGenerator& gen, const GraphPair& g) {
  gen.generatorState = EnumerationState::kRunning;
  // An edge from a node to itself can never be in a tree. One that may be
  // left out is left out from the start, so it neither branches nor counts
  // towards the edges still available; a nullor or port edge stays open and
  // ends its branch as a cycle when it is taken.
  for (int e = 1; e <= g.edges; ++e) {
    const bool loop = g.iGraph.d1[e] == g.iGraph.d2[e];
    gen.edgeStatus[e] = loop && (g.dmap[e] & kNeverExcluded) == 0 ? EdgeStatus::kExcluded : EdgeStatus::kOpen;
  }
  for (int v = 1; v <= g.minty_nodes; ++v) gen.componentLabel[v] = 0;
  gen.stackDepth = 0;
  gen.nextLabel = 1;
  gen.rawTreeCount = 0;
}

void saveState(TreeGenerator& gen, const GraphPair& g) {
  // The saved states of the live path belong to distinct taken edges of a
  // forest on M nodes, so the depth stays below M; the test only guards the
  // table against a graph that breaks that bound.
  if (gen.stackDepth >= kGraphNodeSlots) return;
  SavedState& saved = gen.stateStack[gen.stackDepth];
  for (int e = 1; e <= g.edges; ++e) saved.edgeStatus[e] = gen.edgeStatus[e];
  for (int v = 1; v <= g.minty_nodes; ++v) saved.componentLabel[v] = gen.componentLabel[v];
  ++gen.stackDepth;
}

// Restores the latest saved branch point. False when only the bottom entry
// is left: that branch leaves out the reference edge and holds no tree.
bool restoreState(TreeGenerator& gen, const GraphPair& g) {
  if (gen.stackDepth <= 1) return false;
  --gen.stackDepth;
  const SavedState& saved = gen.stateStack[gen.stackDepth];
  for (int e = 1; e <= g.edges; ++e) gen.edgeStatus[e] = saved.edgeStatus[e];
  int largest = 0;
  for (int v = 1; v <= g.minty_nodes; ++v) {
    gen.componentLabel[v] = saved.componentLabel[v];
    if (saved.componentLabel[v] > largest) largest = saved.componentLabel[v];
  }
  gen.nextLabel = largest + 1;
  return true;
}

// A spanning tree is complete when every node is in the reference edge's
// component and no port edge is still open. The second condition matters
// only when the first port edge already joins the last node: the second port
// edge must still be tried (and then closes a cycle).
bool treeComplete(const TreeGenerator& gen, const GraphPair& g) {
  for (int v = 1; v <= g.minty_nodes; ++v)
    if (gen.componentLabel[v] != 1) return false;
  for (int e = 1; e <= g.edges; ++e)
    if ((g.dmap[e] & kPortBits) != 0 && gen.edgeStatus[e] == EdgeStatus::kOpen) return false;
  return true;
}

enum class Step { kContinue, kCycle, kComplete };

// Takes edge i into the i-graph forest and updates the component labels.
Step takeEdge(TreeGenerator& gen, const GraphPair& g, int i) {
  gen.edgeStatus[i] = EdgeStatus::kTaken;
  const int a = g.iGraph.d1[i];
  const int b = g.iGraph.d2[i];
  // An edge from a node to itself closes a cycle whenever it is taken.
  if (a == b) return Step::kCycle;
  int* label = gen.componentLabel;
  const int la = label[a];
  const int lb = label[b];
  if (la == 0 && lb == 0) {
    label[a] = gen.nextLabel;
    label[b] = gen.nextLabel;
    ++gen.nextLabel;
    // A new component never completes the tree: component 1 holds the
    // reference edge and is separate from it.
    return Step::kContinue;
  }
  if (la == 0) {
    label[a] = lb;
  } else if (lb == 0) {
    label[b] = la;
  } else if (la == lb) {
    return Step::kCycle;
  } else {
    const int low = la < lb ? la : lb;
    const int high = la < lb ? lb : la;
    for (int v = 1; v <= g.minty_nodes; ++v) {
      if (label[v] == high)
        label[v] = low;
      else if (label[v] > high)
        --label[v];
    }
    --gen.nextLabel;
  }
  return treeComplete(gen, g) ? Step::kComplete : Step::kContinue;
}

// Descends from the current state until a spanning tree is complete (true)
// or the branch ends in a cycle or runs out of edges (false).
bool descend(TreeGenerator& gen, const GraphPair& g, WorkMeter& meter) {
  const int neededEdges = g.minty_nodes - 1;
  for (;;) {
    if (!meter.step()) return false;
    int i = 1;
    while (i <= g.edges && gen.edgeStatus[i] != EdgeStatus::kOpen) ++i;
    if (i > g.edges) return false;
    if ((g.dmap[i] & kNeverExcluded) == 0) {
      gen.edgeStatus[i] = EdgeStatus::kExcluded;
      int remaining = 0;
      for (int e = 1; e <= g.edges; ++e)
        if (gen.edgeStatus[e] != EdgeStatus::kExcluded) ++remaining;
      // The branch without edge i is worth exploring only when enough edges
      // are left for a tree. The labels saved are those before i is taken.
      if (remaining >= neededEdges) saveState(gen, g);
    }
    switch (takeEdge(gen, g, i)) {
      case Step::kContinue:
        break;
      case Step::kCycle:
        return false;
      case Step::kComplete:
        return true;
    }
  }
}

// Whether the tree's edges, taken with their v-graph ends, reach every node
// 1 .. N from the v-graph start of the first tree edge.
bool spansVoltageGraph(const GraphPair& g, const int* treeEdges, int count) {
  const int n = g.actual_nodes;
  if (count <= 0) return n <= 1;
  bool used[kTreeSlots] = {};
  bool reached[kGraphNodeSlots] = {};
  int stack[kGraphNodeSlots];
  int depth = 0;
  const int start = g.vGraph.d1[treeEdges[1]];
  reached[start] = true;
  stack[depth++] = start;
  for (;;) {
    const int v = stack[depth - 1];
    int w = 0;
    for (int pos = 1; pos <= count; ++pos) {
      if (used[pos]) continue;
      const int e = treeEdges[pos];
      if (g.vGraph.d1[e] == v) {
        w = g.vGraph.d2[e];
      } else if (g.vGraph.d2[e] == v) {
        w = g.vGraph.d1[e];
      } else {
        continue;
      }
      used[pos] = true;
      break;
    }
    if (w != 0) {
      // Every push uses up one tree position, so the stack holds at most
      // count + 1 nodes.
      reached[w] = true;
      stack[depth++] = w;
    } else if (depth == 1) {
      break;
    } else {
      --depth;
    }
  }
  for (int v = 1; v <= n; ++v)
    if (!reached[v]) return false;
  return true;
}

// Lists the raw tree, fills treeEdges and applies the acceptance tests.
bool acceptRawTree(TreeContext& ctx) {
  TreeGenerator& gen = ctx.generator;
  const GraphPair& g = ctx.graph;
  const bool trace = ctx.traced(kTraceRawTrees);
  // Networks near the limits have more than 2^31 raw trees: the counter
  // wraps as the printed 32-bit number does.
  gen.rawTreeCount = static_cast<int>(static_cast<unsigned>(gen.rawTreeCount) + 1u);
  if (trace) ctx.out.print(" raw i-tree no. %5d edges:", gen.rawTreeCount);
  int count = 0;
  int nullors = 0;
  for (int e = 2; e <= g.edges; ++e) {
    if (gen.edgeStatus[e] != EdgeStatus::kTaken) continue;
    if (trace) ctx.out.print("%3d(%s) ", e, ctx.store.branchNames[g.d0[e]]);
    // A spanning tree on M nodes has M - 1 edges, edge 1 among them, so
    // this bound is never reached; it only keeps the table safe.
    if (count + 1 < kTreeSlots) gen.treeEdges[++count] = e;
    if ((g.dmap[e] & kClassNullor) != 0) ++nullors;
  }
  if (nullors < ctx.store.opampcnt) {
    if (trace) ctx.out.print(" rejected: opamp sorting\n");
    return false;
  }
  if (!spansVoltageGraph(g, gen.treeEdges, count)) {
    if (trace) ctx.out.print(" rejected: no corresponding v-tree\n");
    return false;
  }
  if (trace) ctx.out.print(" accepted\n");
  return true;
}

}  // namespace

void nextTree(TreeContext& ctx) {
  TreeGenerator& gen = ctx.generator;
  const GraphPair& g = ctx.graph;
  bool resume = false;
  switch (gen.generatorState) {
    case EnumerationState::kStart:
      if (!graphFitsTables(g)) {
        gen.rawTreeCount = 0;
        gen.generatorState = EnumerationState::kExhausted;
        return;
      }
      startEnumeration(gen, g);
      break;
    case EnumerationState::kRunning:
      resume = true;
      break;
    default:
      return;
  }
  for (;;) {
    if (resume && !restoreState(gen, g)) {
      gen.generatorState = EnumerationState::kExhausted;
      return;
    }
    resume = true;
    if (descend(gen, g, ctx.meter) && acceptRawTree(ctx)) return;
    if (ctx.meter.stopped() != WorkMeter::Stop::kNone) {
      gen.generatorState = EnumerationState::kExhausted;
      return;
    }
  }
}

}  // namespace velkor
