// Every capacity edge at its exact value, through the whole program where
// the program can reach it and on the operation itself where it cannot.
// Under the sanitizer build any write past a table's end fails here.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "analysis/analysis_context.h"
#include "crosscheck/crosscheck.h"
#include "driver/program_driver.h"
#include "input/node_numbering.h"
#include "model/branch_maps.h"
#include "poly/term_accumulation.h"
#include "render/text_renderer.h"
#include "support/failing_allocator.h"
#include "support/run_helpers.h"

namespace velkor::testing {
namespace {

const std::string kNine(9, ' ');
const std::string kTwelve(12, ' ');

std::string limitMessage(const char* what, int count, int limit) {
  return std::string("number of ") + what + "(= " + std::to_string(count) + ") exceeds limit of " +
         std::to_string(limit) + "\n or improper input applied\n";
}

// The largest netlist the reader accepts: 33 labels (34 nodes with the
// auxiliary node), 58 one-ports (passive records 2 .. 59), 29
// transconductances, 88 names. Port 1 is r1 from label 1 to 0, port 2 r2
// from 2 to 0, r3 joins 1 and 2; a chain of 30 resistors hangs from label 2
// over the labels 3 .. 32 (bridges, in every tree, divided out as common
// factors); 25 resistors and every transconductance input join a node to
// itself, so they are in no tree. Few trees, so the 102-edge Uijkl of the
// scattering pass is quick.
std::string largestNetlist() {
  std::string text = "r1 1 0\nr2 2 0\nr3 1 2\n";
  for (int k = 3; k <= 32; ++k) text += "rc" + std::to_string(k) + " " + std::to_string(k - 1) + " " + std::to_string(k) + "\n";
  for (int k = 0; k < 25; ++k) text += "rl" + std::to_string(k) + " " + std::to_string(5 + k) + " " + std::to_string(5 + k) + "\n";
  for (int k = 0; k < 29; ++k) text += "gm" + std::to_string(k) + " 1 0 " + std::to_string(3 + k) + " " + std::to_string(3 + k) + "\n";
  return text + "f 1 0 2 0\n";
}

TEST(CapacityEdges, LargestAcceptedNetlistAndItsScatteringEmbedding) {
  // Resource listing at the exact limits (t 64 would list the raw trees of
  // the plain enumeration, so only a first-pass row is asked for here).
  std::string listing = runMasked(largestNetlist() + "p z11\nt 64\nend\n");
  EXPECT_NE(listing.find(" currently configured resource limits:\n"
                         "branch name list limit:90, used:88\n"
                         "node list limit:35, used:34\n"
                         "passive edges limit:60, used:59\n"
                         "active edges limit:30, used:29\n"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("product:: minty_nodes:34, edges:88, actual_nodes:33, form:0, topofun:0\n"), std::string::npos);

  // Every parameter, with the dump and the graph listings.
  const std::string input = largestNetlist() + "t 33\nend\n";
  const std::string text = runMasked(input);
  EXPECT_EQ(text.find("exceeds limit"), std::string::npos);
  // The embedding brings the store to 67 passive and 33 active edges, 100
  // names and 42 nodes; its dump numbers the port line 101. Labels 1, 0, 2
  // are nodes 1, 2, 3; the new nodes E1 .. E8 are 34 .. 41 and the
  // auxiliary node 42.
  EXPECT_NE(text.find("this includes embedding circuitry for evaluating scattering parameters.\n"), std::string::npos);
  EXPECT_NE(text.find(" 66 Y0 35 1\n 67 Y0 39 3\n 68 gm0 1 2 4 4\n"), std::string::npos);
  EXPECT_NE(text.find("100 o 40 2 3 41\n101 f 34 2 38 2\n"), std::string::npos);
  EXPECT_NE(text.find(kNine + "   42    0\n\nedge namelist: index, value\n"), std::string::npos);
  EXPECT_NE(text.find(" 99, Y0\n100, Y0\n\n"), std::string::npos);
  // Uijkl of the embedded network: 102 edges, its port names in the name
  // slots 101 and 102.
  EXPECT_NE(text.find("product:: minty_nodes:42, edges:102, actual_nodes:41, form:6, topofun:5\n"), std::string::npos);
  EXPECT_NE(text.find("   f1: d0[  2]=101, d1= 34, d2=  2\n   f2: d0[  3]=102, d1= 38, d2=  2\n"), std::string::npos);

  // And every printed formula, Y0 (symbol 99) included, has the value of the
  // parameter's definition.
  const std::string untraced = largestNetlist() + "end\n";
  auto netlists = crosscheck::readNetlists(untraced);
  crosscheck::CheckSummary summary = crosscheck::checkRun(netlists, runOnString(untraced), 2, 33);
  EXPECT_EQ(summary.formulas, 32);
  for (const std::string& failure : summary.failures) ADD_FAILURE() << failure;
}

TEST(CapacityEdges, EntriesThatOvershootTheLimitsStayInsideTheTables) {
  std::string oneports;
  for (int k = 1; k <= 58; ++k) oneports += "r" + std::to_string(k) + " 1 2\n";
  std::string gms;
  for (int k = 1; k <= 29; ++k) gms += "gm" + std::to_string(k) + " 1 2 3 4\n";

  // A mutual inductance at 29 active edges: its six active edges make 35,
  // its four passive edges 63 and its ten names 98.
  std::string text = runMasked(oneports + gms + "m1 5 6 7 8\nf 1 2 3 4\nend\n");
  std::string tail = "m1 5 6 7 8" + limitMessage("one-port elements", 63, 59) + "{elapsed time: 0/1000 sec.}\n";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  text = runMasked(gms + "m1 1 2 3 4\nend\n");
  tail = "m1 1 2 3 4" + limitMessage("two-port elements", 35, 29) + "{elapsed time: 0/1000 sec.}\n";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);

  // The same entry at 34 nodes: its six generated nodes make 40.
  std::string nodes;
  for (int k = 0; k < 17; ++k)
    nodes += "r" + std::to_string(k) + " " + std::to_string(2 * k) + " " + std::to_string(2 * k + 1) + "\n";
  text = runMasked(nodes + "m1 0 1 2 3\nf 0 1 2 3\nend\n");
  tail = "m1 0 1 2 3" + limitMessage("nodes", 40, 34) + "{elapsed time: 0/1000 sec.}\n";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

struct ContextFixture : ::testing::Test {
  StringSource source{""};
  StringOutput output;
  FailingAllocator heap;
  std::unique_ptr<AnalysisContext> ctx = std::make_unique<AnalysisContext>(source, output, heap);
};

using NewNodeAtTheTop = ContextFixture;

TEST_F(NewNodeAtTheTop, FillsTheLastSlotsThenRefusesAtFortyThree) {
  NetworkStore& s = ctx->store;
  s.reset();
  s.nodeCount = 41;
  s.lastGeneratedLabel = 1040;
  EXPECT_EQ(newNode(*ctx), 42);
  EXPECT_EQ(s.nodeList[42], 1041);
  EXPECT_EQ(newNode(*ctx), 43);
  EXPECT_EQ(s.nodeList[43], 1042);
  EXPECT_EQ(output.text(), "");
  EXPECT_EQ(newNode(*ctx), 1);
  EXPECT_EQ(output.text(), limitMessage("nodes", 43, 42));
  EXPECT_EQ(s.nodeCount, 43);
  EXPECT_EQ(s.lastGeneratedLabel, 1042);
}

using TopSlots = ContextFixture;

// Symbol 101, the last exponent slot, and power 127, the last column, are
// stored and printed like any other; symbols and powers past them are not
// stored at all. The symbol is a capacitor, so that the power recomputed
// from the reactive symbols before printing is its exponent, 127.
TEST_F(TopSlots, LastSymbolAndLastPowerColumn) {
  NetworkStore& s = ctx->store;
  std::snprintf(s.branchNames[1], kNameChars, "x");
  for (int k = 2; k <= 100; ++k) std::snprintf(s.branchNames[k], kNameChars, "g%d", k);
  std::snprintf(s.branchNames[101], kNameChars, "ctop");
  s.nameCount = 101;
  buildBranchMaps(ctx->out, ctx->store, ctx->maps);
  GraphPair& g = ctx->graph;
  g.dbranchmap[5] = 101;
  g.dbranchmap[6] = 2;
  g.dbranchmap[7] = 102;  // no such symbol
  g.dbranchmap[8] = 103;

  PolyRecord& numerator = ctx->polyRecords[0];
  PolyRecord& denominator = ctx->polyRecords[1];
  ASSERT_EQ(createPolyRecord(*ctx, numerator), 0);
  ASSERT_EQ(createPolyRecord(*ctx, denominator), 0);
  int top[128];
  for (int& edge : top) edge = 5;
  top[127] = 7;
  const int low[] = {6, 8};
  ASSERT_EQ(accumulateTerm(*ctx, 1, 127, 128, top, ctx->graph.dbranchmap, numerator), 0);
  ASSERT_EQ(accumulateTerm(*ctx, 1, 128, 128, top, ctx->graph.dbranchmap, numerator), 0);
  ASSERT_EQ(accumulateTerm(*ctx, -1, -1, 2, low, ctx->graph.dbranchmap, numerator), 0);
  ASSERT_EQ(accumulateTerm(*ctx, 1, 0, 2, low, ctx->graph.dbranchmap, denominator), 0);
  EXPECT_EQ(numerator.termCount, 1);
  EXPECT_EQ(numerator.powerCounts[127], 1);
  EXPECT_EQ(numerator.term(0).exponents[101], 127);

  ASSERT_EQ(printFormula(*ctx, 1, 0, 1), 0);
  EXPECT_EQ(output.text(), "\n Numerator:\n\n + s^127 (\n" + kTwelve + " ctop^127\n        )\n"
                           "\n Denominator:\n\n + s^0  (\n" + kTwelve + " g2   \n        )\n\n End:\n\n");
  releasePolyRecord(*ctx, numerator);
  releasePolyRecord(*ctx, denominator);
  EXPECT_EQ(heap.liveBlocks(), 0);
}

// Fifty inductors L1 .. L50 in parallel between labels 1 and 0, port 1 =
// port 2 across them. V's trees are the reference edge and one Lk: fifty
// terms Lk (admittance 1/(s Lk)) at s^1. Wijij's one tree is the reference
// and port edges: the constant 1. z11 = Wijij / V. The ohm-unit multiplier
// is L1 ... L50: the numerator becomes L1 ... L50 at s^50 and each term of
// the denominator the product of the other 49 at s^49, in the order of V's
// column (the term of L1 first). Both are divided by s^49 when printed.
TEST(CapacityEdges, FiftyParallelInductorsUsePowerColumnsPastFortyTwo) {
  std::string input;
  for (int k = 1; k <= 50; ++k) input += "L" + std::to_string(k) + " 1 0\n";
  input += "f 1 0 1 0\np z11\nend\n";
  std::string text = runMasked(input);

  auto field = [](int k) { return " L" + std::to_string(k) + "   "; };
  std::string all;
  for (int k = 1; k <= 50; ++k) all += field(k);
  std::string denominator;
  for (int missing = 1; missing <= 50; ++missing) {
    denominator += kTwelve;
    for (int k = 1; k <= 50; ++k)
      if (k != missing) denominator += field(k);
    denominator += "\n";
  }
  const std::string expected = " Function:\n z( 1, 0; 1, 0) = v( 1, 0)/i( 1, 0) for i( 1, 0)=0\n"
                               "\n Numerator:\n\n + s^1  (\n" + kTwelve + all + "\n        )\n"
                               "\n Denominator:\n\n + s^0  (\n" + denominator + "        )\n\n End:\n\n";
  const std::size_t at = text.find(" Function:\n");
  ASSERT_NE(at, std::string::npos) << text;
  EXPECT_EQ(text.substr(at, expected.size()), expected);
  EXPECT_EQ(text.substr(at + expected.size()), "\ninput data:\n\n{elapsed time: 0/1000 sec.}\n");
}

// ---- Loops: an edge from a node to itself, in one graph or in both ---------

std::string formulas(const std::string& text) {
  const std::size_t at = text.find(" Function:\n");
  const std::size_t end = text.rfind("\ninput data:\n");
  return at == std::string::npos ? std::string() : text.substr(at, end - at);
}

std::string block(const std::string& heading, const std::string& numerator, const std::string& denominator) {
  return " Function:\n " + heading + "\n\n Numerator:\n" + numerator + "\n Denominator:\n" + denominator +
         "\n End:\n\n";
}

std::string group(int power, const std::string& terms) {
  return "\n + s^" + std::to_string(power) + "  (\n" + terms + "        )\n";
}

const std::string kZero = "        0\n";

// r1 across port 1 and r2 across port 2, nothing between them: z11 = r1 and
// z12 = 0 (V = r1 r2 in admittance form, Wijij = r2, no tree for Wklij).
// A resistor from node 1 to itself, a transconductance whose input
// terminals coincide (a loop in the current graph) and one whose output
// terminals coincide (a loop in the voltage graph: the current graph's
// trees through it have no voltage-graph tree) change nothing.
TEST(CapacityEdges, LoopsOfPassiveAndControlledSourcesChangeNothing) {
  const std::string expected =
      block("z( 1, 0; 1, 0) = v( 1, 0)/i( 1, 0) for i( 2, 0)=0", group(0, kTwelve + " r1   \n"),
            group(0, kTwelve + " 1\n")) +
      block("z( 1, 0; 2, 0) = v( 1, 0)/i( 2, 0) for i( 1, 0)=0", kZero, group(0, kTwelve + " 1\n"));
  EXPECT_EQ(formulas(runMasked("r1 1 0\nr2 2 0\nf 1 0 2 0\np z11 p z12\nend\n")), expected);
  EXPECT_EQ(formulas(runMasked("r1 1 0\nr3 1 1\nr2 2 0\ngm1 2 0 1 1\ngm2 1 1 2 0\nf 1 0 2 0\np z11 p z12\nend\n")),
            expected);
}

// An op-amp whose input terminals coincide has its nullator as a loop of
// the current graph, one whose output terminals coincide its norator as a
// loop of the voltage graph. Every tree must hold the nullor, so no
// function has a tree and every formula is 0 / 0, also after the
// scattering embedding.
TEST(CapacityEdges, NullorLoopsLeaveNoTree) {
  const std::string expected =
      block("g( 2, 0; 1, 0) = v( 2, 0)/v( 1, 0) for i( 2, 0)=0", kZero, kZero) + "entered s-param\n" +
      block("s( 2, 0; 1, 0) for Y0 normalization", kZero, kZero);
  for (const char* opamp : {"o1 2 0 1 1", "o1 2 2 1 0"}) {
    std::string text = runMasked(std::string("r1 1 2\nr2 2 0\n") + opamp + "\nf 1 0 2 0\np g21 p s21\nend\n");
    EXPECT_EQ(formulas(text), expected) << opamp;
  }
}

// A port whose two terminals coincide: its port edge is a loop, so Wijij
// has no tree. V of the triangle r1, r2, r3 has three trees; in ohm units
// their terms are r3, r2 and r1, in the order of V's column.
TEST(CapacityEdges, PortWhoseTerminalsCoincide) {
  std::string text = runMasked("r1 1 0\nr2 2 0\nr3 1 2\nf 1 1 2 0\np z11\nend\n");
  EXPECT_EQ(formulas(text), block("z( 1, 1; 1, 1) = v( 1, 1)/i( 1, 1) for i( 2, 0)=0", kZero,
                                  group(0, kTwelve + " r3   \n" + kTwelve + " r2   \n" + kTwelve + " r1   \n")));
}

}  // namespace
}  // namespace velkor::testing
