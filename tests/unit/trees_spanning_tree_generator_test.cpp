// The spanning-tree generator on hand-made graph pairs: the order of the
// trees, the saved-state stack, the nullor and v-graph tests, port edges
// that must all be in a tree, and edges from a node to itself.
#include "trees_fixture.h"

namespace velkor::testing {
namespace {

using Trees = std::vector<std::vector<int>>;

class GeneratorTest : public TreeTest {};

TEST_F(GeneratorTest, FiveTreesComeInLexicographicOrder) {
  graph(3, {{"r2", 1, 2, 1, 2}, {"r3", 2, 3, 2, 3}, {"r4", 1, 3, 1, 3}, {"r5", 1, 2, 1, 2}});
  EXPECT_EQ(allTrees(), (Trees{{2, 3}, {2, 4}, {3, 4}, {3, 5}, {4, 5}}));
  EXPECT_EQ(ctx->generator.rawTreeCount, 5);
  EXPECT_EQ(ctx->generator.generatorState, EnumerationState::kExhausted);
  EXPECT_EQ(output.text(), "");
}

TEST_F(GeneratorTest, RawTreeCounterWrapsPastTheLargest32BitNumber) {
  // As on a network with more than 2^31 raw trees: the counter wraps as
  // the printed number does, with no overflow (the sanitizer build checks).
  graph(3, {{"r2", 1, 2, 1, 2}, {"r3", 2, 3, 2, 3}, {"r4", 1, 3, 1, 3}});
  nextTree(*ctx);
  ASSERT_EQ(ctx->generator.generatorState, EnumerationState::kRunning);
  ctx->generator.rawTreeCount = 2147483647;
  nextTree(*ctx);
  ASSERT_EQ(ctx->generator.generatorState, EnumerationState::kRunning);
  EXPECT_EQ(ctx->generator.rawTreeCount, -2147483647 - 1);
}

TEST_F(GeneratorTest, GraphThatIsATreeSavesNoStateAndStaysExhausted) {
  graph(3, {{"r2", 1, 2, 1, 2}, {"r3", 2, 3, 2, 3}});
  nextTree(*ctx);
  ASSERT_EQ(ctx->generator.generatorState, EnumerationState::kRunning);
  EXPECT_EQ(ctx->generator.stackDepth, 0);
  EXPECT_EQ(ctx->generator.treeEdges[1], 2);
  EXPECT_EQ(ctx->generator.treeEdges[2], 3);
  nextTree(*ctx);
  EXPECT_EQ(ctx->generator.generatorState, EnumerationState::kExhausted);
  nextTree(*ctx);
  EXPECT_EQ(ctx->generator.generatorState, EnumerationState::kExhausted);
  EXPECT_EQ(ctx->generator.rawTreeCount, 1);
}

TEST_F(GeneratorTest, NullorClosingACycleEndsItsBranchSilently) {
  // With r2 taken, o3 joins two nodes of one component: that branch ends
  // without a raw tree. The only raw tree leaves r2 out.
  graph(4, {{"r2", 1, 2, 1, 2}, {"o3", 2, 1, 2, 1, kClassNullor}, {"r4", 3, 4, 3, 4}, {"r5", 1, 3, 1, 3}});
  ctx->store.opampcnt = 1;
  ctx->store.traceBits = kTraceRawTrees;
  EXPECT_EQ(allTrees(), (Trees{{3, 4, 5}}));
  EXPECT_EQ(ctx->generator.rawTreeCount, 1);
  EXPECT_EQ(output.text(), " raw i-tree no.     1 edges:  3(o3)   4(r4)   5(r5)  accepted\n");
}

TEST_F(GeneratorTest, TreeCompletedBeforeALaterNullorIsRejected) {
  graph(3, {{"r2", 1, 2, 1, 2}, {"r3", 2, 3, 2, 3}, {"o4", 1, 3, 1, 3, kClassNullor}});
  ctx->store.opampcnt = 1;
  ctx->store.traceBits = kTraceRawTrees;
  EXPECT_EQ(allTrees(), (Trees{{2, 4}, {3, 4}}));
  EXPECT_EQ(ctx->generator.rawTreeCount, 3);
  EXPECT_EQ(output.text(),
            " raw i-tree no.     1 edges:  2(r2)   3(r3)  rejected: opamp sorting\n"
            " raw i-tree no.     2 edges:  2(r2)   4(o4)  accepted\n"
            " raw i-tree no.     3 edges:  3(r3)   4(o4)  accepted\n");
}

TEST_F(GeneratorTest, VoltageGraphMustReachEveryNetworkNode) {
  // In the v-graph g2 runs from the auxiliary node 4, which does not count:
  // node 1 stays unreached.
  graph(3, {{"g2", 1, 2, 4, 3}, {"r3", 2, 3, 2, 3}});
  ctx->store.traceBits = kTraceRawTrees;
  EXPECT_EQ(allTrees(), Trees{});
  EXPECT_EQ(output.text(), " raw i-tree no.     1 edges:  2(g2)   3(r3)  rejected: no corresponding v-tree\n");
}

TEST_F(GeneratorTest, EveryPortEdgeMustBeInTheTree) {
  // Ports 1 and 2 on the same two nodes: f1 alone joins both nodes, but f2
  // must still be taken and closes a cycle, so there is no 3-tree.
  graph(2, {{"f1", 1, 2, 1, 2, kClassPort1}, {"f2", 1, 2, 1, 2, kClassPort2}, {"r1", 1, 2, 1, 2}});
  ctx->graph.form = 6;
  ctx->store.traceBits = kTraceRawTrees;
  nextTree(*ctx);
  EXPECT_EQ(ctx->generator.generatorState, EnumerationState::kExhausted);
  EXPECT_EQ(ctx->generator.rawTreeCount, 0);
  EXPECT_EQ(output.text(), "");

  // With one port edge the same network has its 2-tree, and the port edge
  // is never left out for r1.
  graph(2, {{"f", 1, 2, 1, 2, kClassPort1}, {"r1", 1, 2, 1, 2}});
  ctx->graph.form = 2;
  EXPECT_EQ(allTrees(), (Trees{{2}}));
  EXPECT_EQ(ctx->generator.rawTreeCount, 1);
}

TEST_F(GeneratorTest, EdgeFromANodeToItselfIsNeverTaken) {
  // Were the loop r2 taken as a one-node component of node 2, r3 would
  // merge it and {r2, r3} would pass for a tree.
  graph(2, {{"r2", 2, 2, 2, 2}, {"r3", 1, 2, 1, 2}, {"r4", 1, 1, 1, 1}});
  EXPECT_EQ(allTrees(), (Trees{{3}}));
  EXPECT_EQ(ctx->generator.rawTreeCount, 1);

  // A nullor or port edge is never left out, so as a loop it ends every
  // branch.
  graph(2, {{"o2", 2, 2, 1, 2, kClassNullor}, {"r3", 1, 2, 1, 2}});
  ctx->store.opampcnt = 1;
  EXPECT_EQ(allTrees(), Trees{});
  EXPECT_EQ(ctx->generator.rawTreeCount, 0);
}

TEST_F(GeneratorTest, EdgeEndOutsideTheGraphEndsTheEnumeration) {
  graph(3, {{"r2", 1, 2, 1, 2}, {"r3", 2, 9, 2, 3}});
  EXPECT_EQ(allTrees(), Trees{});
  EXPECT_EQ(ctx->generator.rawTreeCount, 0);
}

}  // namespace
}  // namespace velkor::testing
