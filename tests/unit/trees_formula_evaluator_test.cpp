// The graph pair a topological function builds from the netlist: its port
// edges and edge order, the op-amp sample's verdicts, a record that cannot
// be allocated, and the largest graph the tables must hold.
#include <cstring>

#include "model/parameter_table.h"
#include "trees_fixture.h"

namespace velkor::testing {
namespace {

class EvaluatorTest : public TreeTest {
 protected:
  struct EdgeRow {
    int d0, i1, i2, v1, v2, dmap;
    bool operator==(const EdgeRow&) const = default;
  };
  std::vector<EdgeRow> edgeTable() const {
    const GraphPair& g = ctx->graph;
    std::vector<EdgeRow> rows;
    for (int e = 1; e <= g.edges; ++e)
      rows.push_back({g.d0[e], g.iGraph.d1[e], g.iGraph.d2[e], g.vGraph.d1[e], g.vGraph.d2[e], g.dmap[e]});
    return rows;
  }

  // The raw-tree lines of the trace, one per raw tree.
  std::vector<std::string> rawTreeLines() const {
    std::vector<std::string> lines;
    std::size_t at = 0;
    const std::string& text = output.text();
    while ((at = text.find(" raw i-tree no.", at)) != std::string::npos) {
      const std::size_t end = text.find('\n', at);
      lines.push_back(text.substr(at, end - at));
      at = end;
    }
    return lines;
  }

  void gmvcisNetlist() { netlist(4, {{"rin", 4, 3}, {"rf", 1, 3}}, {{"gmvcis", 1, 2, 2, 3}}, 4, 2, 1, 2); }
  void opampNetlist() { netlist(4, {{"rin", 4, 3}, {"rf", 1, 3}}, {{"opamp", 1, 2, 2, 3}}, 4, 2, 1, 2); }
  void resistorNetlist() { netlist(2, {{"r1", 1, 2}}, {}, 1, 2, 1, 2); }
};

TEST_F(EvaluatorTest, WorkedExampleEdgeTable) {
  gmvcisNetlist();
  // Stale map entries of the port slot from an earlier, larger netlist.
  ctx->maps.powermap[5] = 1;
  ctx->maps.branchmap[5] = 5;
  ctx->store.traceLabel = 7;
  evaluate(kWijkl);
  const GraphPair& g = ctx->graph;
  EXPECT_EQ(g.minty_nodes, 5);
  EXPECT_EQ(g.actual_nodes, 4);
  EXPECT_EQ(g.edges, 5);
  EXPECT_EQ(g.form, 2);
  EXPECT_EQ(edgeTable(), (std::vector<EdgeRow>{{1, 5, 1, 5, 1, 0},
                                               {5, 1, 2, 4, 2, kClassPort1},
                                               {3, 4, 3, 4, 3, 0},
                                               {4, 1, 3, 1, 3, 0},
                                               {2, 2, 3, 1, 2, 0}}));
  EXPECT_STREQ(ctx->store.branchNames[5], "f");
  EXPECT_EQ(ctx->maps.fmap[5], kClassPort1);
  EXPECT_EQ(ctx->maps.fmap[1], 0);
  EXPECT_EQ(g.dpowermap[2], 0);
  EXPECT_EQ(g.dbranchmap[2], 0);
  EXPECT_EQ(ctx->store.nameCount, 4);
  EXPECT_EQ(ctx->store.traceLabel, 8);
  EXPECT_EQ(ctx->store.topofunDone[kWijkl], 1);
}

TEST_F(EvaluatorTest, NullorEdgesComeRightAfterThePortEdges) {
  // The op-amp is entered last; the other active element stays last.
  netlist(4, {{"rin", 4, 3}, {"rf", 1, 3}}, {{"g1", 4, 2, 1, 3}, {"opamp", 1, 2, 2, 3}}, 4, 2, 1, 2);
  evaluate(kWijij);
  std::vector<int> names;
  for (int e = 1; e <= ctx->graph.edges; ++e) names.push_back(ctx->graph.d0[e]);
  // Slots: x 1, g1 2, opamp 3, rin 4, rf 5, port 6.
  EXPECT_EQ(names, (std::vector<int>{1, 6, 3, 4, 5, 2}));
  EXPECT_EQ(ctx->graph.dmap[3], kClassNullor);
}

TEST_F(EvaluatorTest, OpampSampleHasOneRawTreePerFunction) {
  opampNetlist();
  ctx->store.traceBits = kTraceRawTrees;
  struct Expect {
    int topofun;
    const char* line;
  };
  const Expect expected[] = {
      {kWijkl, " raw i-tree no.     1 edges:  2(f)   3(opamp)   4(rin)  accepted"},
      {kWijij, " raw i-tree no.     1 edges:  2(f)   3(opamp)   5(rf)  accepted"},
      {kV, " raw i-tree no.     1 edges:  2(opamp)   3(rin)   4(rf)  accepted"},
      {kWklkl, " raw i-tree no.     1 edges:  2(f)   3(opamp)   4(rin)  rejected: no corresponding v-tree"},
      {kWklij, " raw i-tree no.     1 edges:  2(f)   3(opamp)   5(rf)  rejected: no corresponding v-tree"},
      {kUijkl, " raw i-tree no.     1 edges:  2(f1)   3(f2)   4(opamp)  rejected: no corresponding v-tree"},
  };
  for (const Expect& x : expected) {
    output.clear();
    evaluate(x.topofun);
    EXPECT_EQ(rawTreeLines(), std::vector<std::string>{x.line}) << topofunNames[x.topofun];
    EXPECT_EQ(ctx->generator.rawTreeCount, 1);
  }
}

TEST_F(EvaluatorTest, RecordThatCannotBeAllocatedSkipsTheFunction) {
  for (int refused : {1, 2}) {
    resistorNetlist();
    output.clear();
    alloc.failAt = alloc.requests() + static_cast<std::uint64_t>(refused);
    ctx->store.traceBits = kTraceResources;
    evaluate(kWklij);
    EXPECT_EQ(output.text(),
              "Topological formula: (Wklij, 2-trees) \n"
              "can't allocate space for function Wklij\n");
    EXPECT_EQ(ctx->store.topofunDone[kWklij], 0);
    EXPECT_FALSE(ctx->polyRecords[kWklij].live());
    EXPECT_EQ(alloc.liveBlocks(), 0);
  }
}

TEST_F(EvaluatorTest, LargestGraphFitsTheTables) {
  // 41 network nodes joined by a path, with 26 passive and 33 active edges
  // that join a node to itself: 100 names, and Uijkl adds edges 2 and 3 for
  // a total of 102 edges with its port names in slots 101 and 102.
  std::vector<HandPassive> passive;
  std::vector<HandActive> active;
  static char names[100][kNameChars];
  int k = 0;
  for (int node = 1; node <= 40; ++node, ++k) {
    std::snprintf(names[k], kNameChars, "r%d", k);
    passive.push_back({names[k], node, node + 1});
  }
  for (int loop = 0; loop < 26; ++loop, ++k) {
    std::snprintf(names[k], kNameChars, "r%d", k);
    passive.push_back({names[k], 1 + loop, 1 + loop});
  }
  for (int loop = 0; loop < 33; ++loop, ++k) {
    std::snprintf(names[k], kNameChars, "g%d", k);
    active.push_back({names[k], 1, 2, 5 + loop, 5 + loop});
  }
  netlist(41, passive, active, {1, 2, 3, 4});
  ASSERT_EQ(ctx->store.nameCount, 100);
  ctx->store.traceBits = kTraceRawTrees;
  evaluate(kUijkl);
  EXPECT_EQ(ctx->graph.edges, 102);
  EXPECT_EQ(ctx->graph.minty_nodes, 42);
  EXPECT_STREQ(ctx->store.branchNames[101], "f1");
  EXPECT_STREQ(ctx->store.branchNames[102], "f2");
  // Name slots: x 1, the active edges 2 .. 34, the passive edges 35 .. 100;
  // the edges: x, f1, f2, the passive edges, the active edges.
  EXPECT_EQ(ctx->graph.d0[4], 35);
  EXPECT_EQ(ctx->graph.d0[102], 34);
  // The one 3-tree: both port edges and every path edge except the two
  // that join the port terminals.
  EXPECT_EQ(ctx->generator.rawTreeCount, 1);
  ASSERT_EQ(ctx->polyRecords[kUijkl].termCount, 1);
  const PolyRecord& record = ctx->polyRecords[kUijkl];
  const Term& term = record.term(0);
  int symbols = 0;
  for (int slot = 0; slot < record.exponentCount; ++slot) symbols += term.exponents[slot];
  EXPECT_EQ(symbols, 38);
  for (int slot = 35; slot <= 74; ++slot) {
    // r0 joins nodes 1-2 and r2 nodes 3-4, the port terminals.
    const int expected = slot == 35 || slot == 37 ? 0 : 1;
    EXPECT_EQ(term.exponents[slot], expected) << slot;
  }
}

}  // namespace
}  // namespace velkor::testing
