// Sums the signed products of the common trees of the current graph and the
// voltage graph into the function's polynomial.
//
// Each accepted tree is oriented in both graphs by a walk from node 1 that
// records, per node, the signed edge through which the node is reached.
// The sign of the tree is the product of the two orientation signs and of
// the parity of the permutation that carries one node-to-edge assignment
// into the other, which is the product of the determinants of the two
// trees' incidence matrices reduced at node 1.
#include "trees/tree_product.h"

#include "model/parameter_table.h"
#include "poly/term_accumulation.h"
#include "trees/common_tree_split.h"
#include "trees/raw_tree_count.h"
#include "trees/tree_context.h"

namespace velkor {

namespace {

void printGraph(TreeContext& ctx, const EdgeEnds& ends) {
  const GraphPair& g = ctx.graph;
  ctx.out.print("name:edge#,nameindex,node1,#node2#\n");
  for (int i = 1; i <= g.edges; ++i)
    ctx.out.print("%5s: d0[%3d]=%3d, d1=%3d, d2=%3d\n", ctx.store.branchNames[g.d0[i]], i, g.d0[i], ends.d1[i],
                  ends.d2[i]);
}

// The map and graph listing printed before the enumeration starts.
void printListing(TreeContext& ctx) {
  const GraphPair& g = ctx.graph;
  const BranchMaps& m = ctx.maps;
  ctx.out.print("i d0[i] dmap[i] fmap[d0[i]] dpowermap[i] powermap[d0[i]] dbranchmap[i] branchmap[d0[i]]\n");
  for (int i = 1; i <= g.edges; ++i) {
    const int slot = g.d0[i];
    ctx.out.print("%2d %2d %2d %2d %2d %2d %2d %2d\n", i, slot, g.dmap[i], m.fmap[slot], g.dpowermap[i],
                  m.powermap[slot], g.dbranchmap[i], m.branchmap[slot]);
  }
  ctx.out.print("only %s-trees are accepted\n", g.form == 2 ? "2" : g.form == 0 ? "1" : "3");
  ctx.out.print("i-graph to generate i-trees:\n");
  printGraph(ctx, g.iGraph);
  ctx.out.print("\n\n");
  ctx.out.print("v-graph to check i-trees:\n");
  printGraph(ctx, g.vGraph);
  ctx.out.print("\n");
  for (int blank = 0; blank < 1024; ++blank) ctx.out.print(" ");
  ctx.out.print("\n");
}

void printPermutation(TreeContext& ctx, const char* title, const int* permutation, int actualNodes) {
  const GraphPair& g = ctx.graph;
  ctx.out.print("%s", title);
  for (int w = 2; w <= actualNodes; ++w) {
    const int entry = permutation[w];
    const int edge = entry < 0 ? -entry : entry;
    ctx.out.print("%3d(%s) ", entry, ctx.store.branchNames[g.d0[edge]]);
  }
  ctx.out.print("\n");
}

void printCommonTree(TreeContext& ctx, int treeEdgeCount, int actualNodes) {
  const GraphPair& g = ctx.graph;
  const TreeGenerator& gen = ctx.generator;
  ctx.out.print(" common tree edges:");
  for (int pos = 1; pos <= treeEdgeCount; ++pos)
    ctx.out.print("%3d(%s) ", gen.treeEdges[pos], ctx.store.branchNames[g.d0[gen.treeEdges[pos]]]);
  ctx.out.print("\n");
  printPermutation(ctx, "v-tree permutation: ", ctx.product.vPermutation, actualNodes);
  printPermutation(ctx, "i-tree permutation: ", ctx.product.iPermutation, actualNodes);
}

// Collects the power of s and the symbol-carrying edges of the accepted
// tree. Edges with a nonzero class (ports, nullors, unit branches) stand for
// the factor 1.
void collectTerm(TreeContext& ctx, int treeEdgeCount) {
  const GraphPair& g = ctx.graph;
  ProductState& p = ctx.product;
  p.termPower = 0;
  p.termCount = 0;
  for (int pos = 1; pos <= treeEdgeCount; ++pos) {
    const int e = ctx.generator.treeEdges[pos];
    p.termPower += g.dpowermap[e];
    if (g.dmap[e] == kClassAdmittance) p.termEdges[p.termCount++] = e;
  }
}

void printTermEdges(TreeContext& ctx) {
  const GraphPair& g = ctx.graph;
  const ProductState& p = ctx.product;
  ctx.out.print(" accepted tree edges:");
  for (int k = 0; k < p.termCount; ++k) {
    const int e = p.termEdges[k];
    ctx.out.print("%3d,%3d(%s) ", e, g.d0[e], ctx.store.branchNames[g.d0[e]]);
  }
  ctx.out.print("\n");
}

void printCounters(TreeContext& ctx) {
  ctx.out.print("raw i-trees  evaluated:%9d\n", ctx.generator.rawTreeCount);
  ctx.out.print("qualified common trees:%9d\n", ctx.product.commonTreeCount);
}

// Moves to the next accepted tree with the chosen enumeration; both leave
// the generator's state and tree edges as the plain generator does.
void advance(TreeContext& ctx, bool fast) {
  TreeGenerator& gen = ctx.generator;
  if (!fast) {
    nextTree(ctx);
    return;
  }
  gen.generatorState = nextCommonTree(ctx.commonTrees, ctx.graph, gen.treeEdges, ctx.meter)
                           ? EnumerationState::kRunning
                           : EnumerationState::kExhausted;
}

// The raw-tree count of the plain generator up to the given accepted tree,
// which the failure report prints. The fast path counts it; should the
// graph not fit the counting tables, it enumerates again (nothing is
// printed, since the fast path runs only without the raw-tree listing).
void countRawTrees(TreeContext& ctx, int acceptedTrees, int treeEdgeCount) {
  TreeGenerator& gen = ctx.generator;
  if (rawTreeOrdinal(ctx.graph, gen.treeEdges, treeEdgeCount, &gen.rawTreeCount)) return;
  gen.generatorState = EnumerationState::kStart;
  for (int accepted = 0; accepted < acceptedTrees; ++accepted) {
    nextTree(ctx);
    if (gen.generatorState != EnumerationState::kRunning) break;
  }
}

// The exponent slots that a term of this network can use: every symbol of
// the network and of the graph's edges, and every slot that the ohm-unit
// conversion already has a multiplier for.
int symbolSpanOf(const TreeContext& ctx) {
  int span = ctx.store.nameCount + 1;
  for (int e = 1; e <= ctx.graph.edges && e < kEdgeSlots; ++e)
    if (ctx.graph.dbranchmap[e] + 1 > span) span = ctx.graph.dbranchmap[e] + 1;
  for (int k = 0; k < kSymbolSlots; ++k)
    if (ctx.maps.ohmExponents[k] != 0 && k + 1 > span) span = k + 1;
  return span < kSymbolSlots ? span : kSymbolSlots;
}

void recordStatistics(TreeContext& ctx, const PolyRecord& record) {
  RunStatistics& stats = ctx.statistics;
  ++stats.functions;
  stats.rawTrees += static_cast<std::uint64_t>(ctx.generator.rawTreeCount);
  if (record.live()) stats.terms += static_cast<std::uint64_t>(record.termCount);
}

// A depth-first walk of the tree from node 1 that always leaves a node by
// the lowest unused tree position touching it. Each node's positions are
// listed in ascending order once, so finding that position costs no scan
// of the whole tree: linear instead of quadratic in the tree size.
void walkTree(int count, const int* d1, const int* d2, const int* treeEdges, int* permutation) {
  if (count > kTreeSlots - 1) count = kTreeSlots - 1;
  // Only the nodes up to the highest one that the tree touches take part,
  // so the tables are set up over that span alone.
  int span = 2;
  for (int pos = 1; pos <= count; ++pos) {
    const int e = treeEdges[pos];
    if (d1[e] >= span && d1[e] < kGraphNodeSlots) span = d1[e] + 1;
    if (d2[e] >= span && d2[e] < kGraphNodeSlots) span = d2[e] + 1;
  }
  int start[kGraphNodeSlots + 1];
  for (int v = 0; v <= span; ++v) start[v] = 0;
  for (int pos = 1; pos <= count; ++pos) {
    const int e = treeEdges[pos];
    if (d1[e] >= 0 && d1[e] < kGraphNodeSlots) ++start[d1[e] + 1];
    if (d2[e] >= 0 && d2[e] < kGraphNodeSlots && d2[e] != d1[e]) ++start[d2[e] + 1];
  }
  for (int v = 1; v <= span; ++v) start[v] += start[v - 1];
  int fill[kGraphNodeSlots];
  for (int v = 0; v < span; ++v) fill[v] = start[v];
  int listed[2 * kTreeSlots];
  for (int pos = 1; pos <= count; ++pos) {
    const int e = treeEdges[pos];
    if (d1[e] >= 0 && d1[e] < kGraphNodeSlots) listed[fill[d1[e]]++] = pos;
    if (d2[e] >= 0 && d2[e] < kGraphNodeSlots && d2[e] != d1[e]) listed[fill[d2[e]]++] = pos;
  }
  bool used[kTreeSlots];
  for (int pos = 0; pos <= count; ++pos) used[pos] = false;
  int cursor[kGraphNodeSlots];
  for (int v = 0; v < span; ++v) cursor[v] = start[v];
  int stack[kTreeSlots + 1];
  int depth = 0;
  permutation[0] = 0;
  permutation[1] = 0;
  stack[depth++] = 1;
  for (;;) {
    const int v = stack[depth - 1];
    int& at = cursor[v];
    while (at < start[v + 1] && used[listed[at]]) ++at;
    if (at < start[v + 1]) {
      const int pos = listed[at++];
      const int e = treeEdges[pos];
      used[pos] = true;
      const int w = d1[e] == v ? d2[e] : d1[e];
      if (w > 0 && w < kTreeSlots) permutation[w] = d1[e] == v ? e : -e;
      if (depth < kTreeSlots + 1 && w >= 0 && w < kGraphNodeSlots) stack[depth++] = w;
    } else if (depth == 1) {
      return;
    } else {
      --depth;
    }
  }
}

// In a spanning tree of nodes 1 .. count + 1 every node but node 1 is
// reached through the one edge that joins it to its parent, whatever the
// order of the walk. Those edges are found by stripping leaves: each node
// keeps its degree and the exclusive or of the positions touching it, so a
// leaf's only position is that value. A forest of `count` edges on
// count + 1 nodes is a spanning tree, so the edges are such a tree exactly
// when every one of them is stripped.
class LeafPeeler {
 public:
  LeafPeeler(int count, const int* d1, const int* d2, const int* treeEdges)
      : count_(count), d1_(d1), d2_(d2), treeEdges_(treeEdges) {
    if (count < 0 || count > kTreeSlots - 2) {
      broken_ = true;
      return;
    }
    const int nodes = count + 1;
    for (int v = 0; v <= nodes; ++v) {
      degree_[v] = 0;
      positions_[v] = 0;
    }
    for (int pos = 1; pos <= count; ++pos) {
      const int e = treeEdges[pos];
      const int a = d1[e];
      const int b = d2[e];
      if (a < 1 || a > nodes || b < 1 || b > nodes || a == b) {
        broken_ = true;
        return;
      }
      ++degree_[a];
      ++degree_[b];
      positions_[a] ^= pos;
      positions_[b] ^= pos;
    }
    for (int v = 2; v <= nodes; ++v)
      if (degree_[v] == 1) leaves_[leafCount_++] = v;
  }

  bool busy() const { return leafCount_ > 0 && !broken_; }

  // Strips one leaf.
  void step() {
    const int v = leaves_[--leafCount_];
    const int pos = positions_[v];
    if (pos < 1 || pos > count_) {
      broken_ = true;
      return;
    }
    const int e = treeEdges_[pos];
    const int parent = d1_[e] == v ? d2_[e] : d1_[e];
    parentEdge_[v] = d1_[e] == parent ? e : -e;
    ++peeled_;
    degree_[v] = 0;
    positions_[parent] ^= pos;
    if (--degree_[parent] == 1 && parent != 1) leaves_[leafCount_++] = parent;
  }

  // Writes the permutation once every leaf is stripped; false, with
  // nothing written, when the edges were not a spanning tree.
  bool finish(int* permutation) const {
    if (broken_ || peeled_ != count_) return false;
    permutation[0] = 0;
    permutation[1] = 0;
    for (int v = 2; v <= count_ + 1; ++v) permutation[v] = parentEdge_[v];
    return true;
  }

 private:
  int count_;
  const int* d1_;
  const int* d2_;
  const int* treeEdges_;
  bool broken_ = false;
  int peeled_ = 0;
  int leafCount_ = 0;
  int degree_[kTreeSlots];
  int positions_[kTreeSlots];
  int leaves_[kTreeSlots];
  int parentEdge_[kTreeSlots];
};

}  // namespace

void orientTree(int count, const int* d1, const int* d2, const int* treeEdges, int* permutation) {
  LeafPeeler peeler(count, d1, d2, treeEdges);
  while (peeler.busy()) peeler.step();
  if (!peeler.finish(permutation)) walkTree(count, d1, d2, treeEdges, permutation);
}

void orientTreePair(int count, const EdgeEnds& iGraph, const EdgeEnds& vGraph, const int* treeEdges,
                    int* iPermutation, int* vPermutation) {
  // The two strippings are independent chains of dependent loads; run side
  // by side, each fills the other's waits.
  LeafPeeler i(count, iGraph.d1, iGraph.d2, treeEdges);
  LeafPeeler v(count, vGraph.d1, vGraph.d2, treeEdges);
  while (i.busy() && v.busy()) {
    i.step();
    v.step();
  }
  while (i.busy()) i.step();
  while (v.busy()) v.step();
  if (!i.finish(iPermutation)) walkTree(count, iGraph.d1, iGraph.d2, treeEdges, iPermutation);
  if (!v.finish(vPermutation)) walkTree(count, vGraph.d1, vGraph.d2, treeEdges, vPermutation);
}

int treeSign(int actualNodes, int* vPermutation, int* iPermutation) {
  const int n = actualNodes < kTreeSlots ? actualNodes : kTreeSlots - 1;
  int sign = 1;
  for (int w = 2; w <= n; ++w) {
    if (vPermutation[w] < 0) {
      vPermutation[w] = -vPermutation[w];
      sign = -sign;
    }
    if (iPermutation[w] < 0) {
      iPermutation[w] = -iPermutation[w];
      sign = -sign;
    }
  }
  // Parity of the permutation that maps the v-graph's node-to-edge
  // assignment onto the i-graph's, counted in transpositions.
  for (int w = 2; w <= n; ++w) {
    if (vPermutation[w] == iPermutation[w]) continue;
    sign = -sign;
    for (int u = w + 1; u <= n; ++u) {
      if (vPermutation[u] == iPermutation[w]) {
        const int swap = vPermutation[w];
        vPermutation[w] = vPermutation[u];
        vPermutation[u] = swap;
        break;
      }
    }
  }
  return sign;
}

int treeProduct(TreeContext& ctx, int mintyNodes, int edges, int actualNodes, int form, int topofun,
                PolyRecord& record) {
  GraphPair& g = ctx.graph;
  TreeGenerator& gen = ctx.generator;
  ProductState& p = ctx.product;
  if (ctx.traced(kTraceHeadingBits))
    ctx.out.print("product:: minty_nodes:%d, edges:%d, actual_nodes:%d, form:%d, topofun:%d\n", mintyNodes, edges,
                  actualNodes, form, topofun);
  p.commonTreeCount = 0;
  gen.generatorState = EnumerationState::kStart;
  gen.rawTreeCount = 0;
  g.minty_nodes = mintyNodes;
  g.edges = edges;
  g.actual_nodes = actualNodes;
  g.form = form;
  g.topofun = topofun;
  const int treeEdgeCount = actualNodes - 1;
  if (ctx.traced(kTraceListingBits)) printListing(ctx);

  // Raw trees and their count are known only to the plain generator, so it
  // runs whenever they are listed; otherwise the pruned enumeration yields
  // the same accepted trees in the same order.
  const bool fast = !ctx.plainPath() && !ctx.traced(kTraceRawTrees | kTraceResources);
  if (fast) ctx.commonTrees.state = EnumerationState::kStart;
  if (!ctx.plainPath()) {
    // Terms keep only the exponents the network can use: on large circuits
    // that is less than half the memory to fill and read.
    if (record.live()) compactTerms(record, symbolSpanOf(ctx));
    beginIndexedAccumulation(ctx);
  }
  ctx.meter.begin(topofunNames[topofun], &p.commonTreeCount);
  advance(ctx, fast);
  while (gen.generatorState == EnumerationState::kRunning) {
    p.commonTreeCount = static_cast<int>(static_cast<unsigned>(p.commonTreeCount) + 1u);
    // The counter above wraps as the listings print it; the run's count
    // does not.
    ++ctx.statistics.acceptedTrees;
    const bool matchedTrace = ctx.traced(kTraceMatchedTrees);
    if (fast && !matchedTrace && treeEdgeCount >= 0 && treeEdgeCount < kTreeSlots) {
      // The pruned enumeration has followed the sign while it joined the
      // edges; the permutations are needed only to be printed.
      p.termSign = ctx.commonTrees.signs[treeEdgeCount];
    } else {
      orientTreePair(treeEdgeCount, g.iGraph, g.vGraph, gen.treeEdges, p.iPermutation, p.vPermutation);
      if (matchedTrace) printCommonTree(ctx, treeEdgeCount, actualNodes);
      p.termSign = treeSign(actualNodes, p.vPermutation, p.iPermutation);
    }
    if (matchedTrace) ctx.out.print("resulting sign= %2d\n", p.termSign);
    collectTerm(ctx, treeEdgeCount);
    if (ctx.traced(kTraceRawTrees)) printTermEdges(ctx);
    const int status = accumulateTerm(ctx, p.termSign, p.termPower, p.termCount, p.termEdges, g.dbranchmap, record);
    if (status != 0) {
      // Out of memory, or a coefficient past the 64-bit range: the partial
      // polynomial is worthless and goes back; the generator is reset by
      // the next product.
      endIndexedAccumulation(ctx, record, false);
      releasePolyRecord(ctx, record);
      ctx.meter.end();
      if (status != kCoefficientOutOfRange) {
        ctx.out.print("insufficient memory for combining admittance terms\n");
        if (fast) countRawTrees(ctx, p.commonTreeCount, treeEdgeCount);
        printCounters(ctx);
      }
      recordStatistics(ctx, record);
      return status;
    }
    advance(ctx, fast);
  }
  ctx.meter.end();
  const WorkMeter::Stop stop = ctx.meter.stopped();
  if (stop == WorkMeter::Stop::kTimeBound || stop == WorkMeter::Stop::kInterrupted) {
    // Abandoned part way: nothing of it is kept.
    endIndexedAccumulation(ctx, record, false);
    releasePolyRecord(ctx, record);
    recordStatistics(ctx, record);
    return kProductStopped;
  }
  endIndexedAccumulation(ctx, record, true);
  if (ctx.traced(kTraceResources)) printCounters(ctx);
  recordStatistics(ctx, record);
  return 0;
}

int termSpan(const TreeContext& ctx) { return symbolSpanOf(ctx); }

int subtreeProduct(TreeContext& ctx, const SubtreeRoot& root, int exponentCount, PolyRecord& record,
                   bool sortColumns, std::atomic<int>& trees, int* failedTree) {
  const GraphPair& g = ctx.graph;
  TreeGenerator& gen = ctx.generator;
  ProductState& p = ctx.product;
  const int treeEdgeCount = g.actual_nodes - 1;
  if (treeEdgeCount < 0 || treeEdgeCount >= kTreeSlots) return 0;
  if (record.live()) compactTerms(record, exponentCount);
  beginIndexedAccumulation(ctx);
  startSubtree(ctx.commonTrees, g, root);
  p.commonTreeCount = 0;
  int status = 0;
  while (nextCommonTree(ctx.commonTrees, g, gen.treeEdges, ctx.meter)) {
    ++p.commonTreeCount;
    // Published now and then for the progress line of the run.
    if ((p.commonTreeCount & 1023) == 0) trees.store(p.commonTreeCount, std::memory_order_relaxed);
    collectTerm(ctx, treeEdgeCount);
    status = accumulateTerm(ctx, ctx.commonTrees.signs[treeEdgeCount], p.termPower, p.termCount, p.termEdges,
                            g.dbranchmap, record);
    if (status != 0) {
      for (int pos = 1; pos <= treeEdgeCount; ++pos) failedTree[pos] = gen.treeEdges[pos];
      break;
    }
  }
  trees.store(p.commonTreeCount, std::memory_order_relaxed);
  ctx.statistics.acceptedTrees += static_cast<std::uint64_t>(p.commonTreeCount);
  const WorkMeter::Stop stop = ctx.meter.stopped();
  if (status == 0 && stop != WorkMeter::Stop::kNone && stop != WorkMeter::Stop::kWorkLimit) status = kProductStopped;
  endIndexedAccumulation(ctx, record, sortColumns && status == 0);
  if (status != 0) releasePolyRecord(ctx, record);
  return status;
}

}  // namespace velkor
