// Builds the two graphs of one topological function from the netlist and
// evaluates the function into its polynomial slot.
//
// The k-tree functions are reduced to spanning-tree sums by port edges: a
// 2-tree that separates a port's terminals becomes a spanning tree when an
// edge joining them is added. The port edges carry a class that makes the
// generator take them in every tree and keeps them out of the products.
#include "analysis/formula_evaluator.h"

#include <cstring>

#include "analysis/analysis_context.h"
#include "model/parameter_table.h"

namespace velkor {

namespace {

struct PortEdgePlan {
  const char* name;
  int portClass;
  int iFrom, iTo;  // indices into portNodes: i-graph ends
  int vFrom, vTo;  // v-graph ends
};

// Port edges of each function; the first subscript pair of a W function
// names the port joined in the v-graph, the second the one in the i-graph.
// Indices 0, 1 are +port1, -port1; 2, 3 are +port2, -port2.
struct FunctionPlan {
  int form;
  int portEdgeCount;
  PortEdgePlan ports[2];
};

constexpr FunctionPlan kPlans[kTopofunCount] = {
    {0, 0, {}},                                                                         // V
    {2, 1, {{"f", kClassPort1, 2, 3, 0, 1}, {}}},                                        // Wijkl
    {2, 1, {{"f", kClassPort1, 0, 1, 0, 1}, {}}},                                        // Wijij
    {2, 1, {{"f", kClassPort1, 2, 3, 2, 3}, {}}},                                        // Wklkl
    {2, 1, {{"f", kClassPort1, 0, 1, 2, 3}, {}}},                                        // Wklij
    {6, 2, {{"f1", kClassPort1, 0, 1, 0, 1}, {"f2", kClassPort2, 2, 3, 2, 3}}},          // Uijkl
};

// True when the netlist's sizes fit the graph pair and the name tables. The
// reader's limits guarantee it; the test keeps every table safe regardless.
bool sizesFit(const AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes) {
  if (passiveCount < 1 || passiveCount >= kPassiveEdgeSlots) return false;
  if (activeCount < 0 || activeCount >= kActiveEdgeSlots) return false;
  if (actualNodes < 1 || actualNodes + 1 > kMaxGraphNodes) return false;
  if (passiveCount + activeCount + 2 >= kEdgeSlots) return false;
  const int nameCount = ctx.store.nameCount;
  return nameCount >= 1 && nameCount + 2 < kNameSlots;
}

class EdgeTableBuilder {
 public:
  explicit EdgeTableBuilder(GraphPair& graph) : g_(graph) {}

  void add(int nameSlot, int iFrom, int iTo, int vFrom, int vTo) {
    ++count_;
    g_.d0[count_] = nameSlot;
    g_.iGraph.d1[count_] = iFrom;
    g_.iGraph.d2[count_] = iTo;
    g_.vGraph.d1[count_] = vFrom;
    g_.vGraph.d2[count_] = vTo;
  }
  void addActive(const ActiveEdge& a) { add(a.name, a.inPlus, a.inMinus, a.outPlus, a.outMinus); }
  int count() const { return count_; }

 private:
  GraphPair& g_;
  int count_ = 0;
};

}  // namespace

namespace {

// Fills `g` with the edges of function `topofun` (the port edges' names
// and maps in the slots after the last name) and its sizes.
void buildGraphPair(AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes, int topofun,
                    GraphPair& g) {
  NetworkStore& s = ctx.store;
  BranchMaps& maps = ctx.maps;
  const FunctionPlan& plan = kPlans[topofun];
  EdgeTableBuilder table(g);
  const PassiveEdge& reference = s.passiveEdges[1];
  table.add(reference.name, reference.node1, reference.node2, reference.node1, reference.node2);
  maps.fmap[1] = 0;

  // Port edges take the name slots after the last name; their maps give no
  // symbol and no power of s.
  for (int k = 0; k < plan.portEdgeCount; ++k) {
    const PortEdgePlan& port = plan.ports[k];
    const int slot = s.nameCount + 1 + k;
    std::strncpy(s.branchNames[slot], port.name, kNameChars - 1);
    s.branchNames[slot][kNameChars - 1] = '\0';
    maps.fmap[slot] = port.portClass;
    maps.powermap[slot] = 0;
    maps.branchmap[slot] = 0;
    table.add(slot, s.portNodes[port.iFrom], s.portNodes[port.iTo], s.portNodes[port.vFrom], s.portNodes[port.vTo]);
  }
  g.form = plan.form;

  // Nullor edges right after the port edges, so that the generator decides
  // them before any other edge; then the passive edges; then the other
  // active edges.
  for (int a = 1; a <= activeCount; ++a)
    if (maps.fmap[s.activeEdges[a].name] == kClassNullor) table.addActive(s.activeEdges[a]);
  for (int p = 2; p <= passiveCount; ++p) {
    const PassiveEdge& edge = s.passiveEdges[p];
    table.add(edge.name, edge.node1, edge.node2, edge.node1, edge.node2);
  }
  for (int a = 1; a <= activeCount; ++a)
    if (maps.fmap[s.activeEdges[a].name] != kClassNullor) table.addActive(s.activeEdges[a]);

  const int edges = table.count();
  for (int e = 1; e <= edges; ++e) {
    const int slot = g.d0[e];
    g.dmap[e] = maps.fmap[slot];
    g.dpowermap[e] = maps.powermap[slot];
    g.dbranchmap[e] = maps.branchmap[slot];
  }
  g.minty_nodes = actualNodes + 1;
  g.edges = edges;
  g.actual_nodes = actualNodes;
  g.topofun = topofun;
}

}  // namespace

bool buildFunctionGraph(AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes, int topofun) {
  if (topofun < 0 || topofun >= kTopofunCount) return false;
  if (!sizesFit(ctx, passiveCount, activeCount, actualNodes)) return false;
  buildGraphPair(ctx, passiveCount, activeCount, actualNodes, topofun, ctx.graph);
  return true;
}

FormulaStart startFormula(AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes, int topofun,
                          GraphPair& graph) {
  NetworkStore& s = ctx.store;
  if (!sizesFit(ctx, passiveCount, activeCount, actualNodes)) {
    s.topofunDone[topofun] = 0;
    return FormulaStart::kNotEvaluated;
  }
  if (createPolyRecord(ctx, ctx.polyRecords[topofun]) != 0) {
    s.topofunDone[topofun] = 0;
    return FormulaStart::kNoRecord;
  }
  buildGraphPair(ctx, passiveCount, activeCount, actualNodes, topofun, graph);
  return FormulaStart::kReady;
}

void concludeFormula(AnalysisContext& ctx, int topofun, int status, WorkMeter::Stop stop, const bool* boundRefused) {
  NetworkStore& s = ctx.store;
  PolyRecord& record = ctx.polyRecords[topofun];
  if (status != 0) {
    // The partial polynomial is gone: the function is marked not evaluated,
    // so that every parameter needing it is skipped. A function stopped by
    // the time bound says so where its result would have been; one stopped
    // by a signal says nothing, as the run ends.
    s.topofunDone[topofun] = 0;
    if (status == kCoefficientOutOfRange)
      reportAnalysisError(ctx, "coefficient out of 64-bit range in function %s\n", topofunNames[topofun]);
    else if (status == kProductStopped && stop == WorkMeter::Stop::kTimeBound)
      reportAnalysisError(ctx, "time bound of %g seconds reached: function %s abandoned\n",
                          ctx.meter.secondsPerFunction, topofunNames[topofun]);
    else if (status != kProductStopped && boundRefused != nullptr)
      reportEarlierAnalysisError(
          ctx, *boundRefused, "insufficient memory to buffer common trees; remainder of function evaluation skipped\n");
    else if (status != kProductStopped)
      reportAnalysisError(ctx, "insufficient memory to buffer common trees; remainder of function evaluation skipped\n");
    return;
  }
  // The record keeps no room for growth any more: a finished function is
  // only read, copied or handed over. (Not while growth is traced, whose
  // sizes would change.)
  if (!ctx.traced(kTraceResources) && !ctx.plainPath) trimPolyRecord(ctx.poly, record);
  if (ctx.traced(kTraceResources)) ctx.out.print("opampcnt= %d\n", s.opampcnt);
}

void evaluateFormula(AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes, int topofun) {
  if (topofun < 0 || topofun >= kTopofunCount) return;
  ++ctx.store.traceLabel;
  if (ctx.traced(kTraceHeadingBits))
    ctx.out.print("Topological formula: (%s, %1d-trees) \n", topofunNames[topofun], topofunTreeOrder(topofun));
  const FormulaStart start = startFormula(ctx, passiveCount, activeCount, actualNodes, topofun, ctx.graph);
  if (start == FormulaStart::kNoRecord)
    reportAnalysisError(ctx, "can't allocate space for function %s\n", topofunNames[topofun]);
  if (start != FormulaStart::kReady) return;
  const GraphPair& g = ctx.graph;
  const int status =
      treeProduct(ctx, g.minty_nodes, g.edges, actualNodes, kPlans[topofun].form, topofun, ctx.polyRecords[topofun]);
  concludeFormula(ctx, topofun, status, ctx.meter.stopped());
}

}  // namespace velkor
