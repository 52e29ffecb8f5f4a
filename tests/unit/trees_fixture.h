// Shared set-up for the tree and polynomial tests: a context over a failing
// allocator, graph pairs and netlist stores written by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "analysis/analysis_context.h"
#include "analysis/formula_evaluator.h"
#include "model/branch_maps.h"
#include "poly/term_accumulation.h"
#include "support/failing_allocator.h"

namespace velkor::testing {

struct HandEdge {
  const char* name;
  int i1, i2;      // i-graph ends
  int v1, v2;      // v-graph ends
  int cls = 0;     // dmap
};

struct HandPassive {
  const char* name;
  int node1, node2;
};

struct HandActive {
  const char* name;
  int outPlus, outMinus, inPlus, inMinus;
};

class TreeTest : public ::testing::Test {
 protected:
  TreeTest() : ctx(std::make_unique<AnalysisContext>(source, output, alloc)) {}

  // A graph pair over nodes 1 .. nodes + 1 whose edge 1 is the reference
  // edge from the auxiliary node to node 1; `edges` are edges 2, 3, ...
  // Each edge gets its own name slot, which is also its symbol.
  void graph(int nodes, std::initializer_list<HandEdge> edges) {
    std::vector<HandEdge> list(edges);
    graph(nodes, list);
  }
  void graph(int nodes, const std::vector<HandEdge>& edges) {
    GraphPair& g = ctx->graph;
    NetworkStore& s = ctx->store;
    const int m = nodes + 1;
    setEdge(1, "x", m, 1, m, 1, 0);
    int e = 1;
    for (const HandEdge& edge : edges) {
      ++e;
      setEdge(e, edge.name, edge.i1, edge.i2, edge.v1, edge.v2, edge.cls);
    }
    s.nameCount = e;
    g.minty_nodes = m;
    g.actual_nodes = nodes;
    g.edges = e;
    ctx->generator.generatorState = EnumerationState::kStart;
  }

  void setEdge(int e, const char* name, int i1, int i2, int v1, int v2, int cls) {
    GraphPair& g = ctx->graph;
    std::snprintf(ctx->store.branchNames[e], kNameChars, "%s", name);
    g.d0[e] = e;
    g.iGraph.d1[e] = i1;
    g.iGraph.d2[e] = i2;
    g.vGraph.d1[e] = v1;
    g.vGraph.d2[e] = v2;
    g.dmap[e] = cls;
    g.dpowermap[e] = 0;
    g.dbranchmap[e] = e;
  }

  // Every accepted tree of the current graph pair, edge 1 left out.
  std::vector<std::vector<int>> allTrees() {
    std::vector<std::vector<int>> trees;
    const int count = ctx->graph.actual_nodes - 1;
    for (nextTree(*ctx); ctx->generator.generatorState == EnumerationState::kRunning; nextTree(*ctx))
      trees.emplace_back(ctx->generator.treeEdges + 1, ctx->generator.treeEdges + 1 + count);
    return trees;
  }

  // A netlist store as the reader leaves it: slot 1 and passive record 1
  // are the reference edge "x" from the auxiliary node nodes + 1 to node 1.
  void netlist(int nodes, std::initializer_list<HandPassive> passive, std::initializer_list<HandActive> active,
               int port1Plus, int port1Minus, int port2Plus, int port2Minus) {
    std::vector<HandPassive> p(passive);
    std::vector<HandActive> a(active);
    netlist(nodes, p, a, {port1Plus, port1Minus, port2Plus, port2Minus});
  }
  void netlist(int nodes, const std::vector<HandPassive>& passive, const std::vector<HandActive>& active,
               std::vector<int> ports) {
    NetworkStore& s = ctx->store;
    int slot = 1;
    std::snprintf(s.branchNames[1], kNameChars, "x");
    s.passiveEdges[1] = {1, nodes + 1, 1};
    int record = 1;
    for (const HandActive& edge : active) {
      std::snprintf(s.branchNames[++slot], kNameChars, "%s", edge.name);
      s.activeEdges[record++] = {slot, edge.outPlus, edge.outMinus, edge.inPlus, edge.inMinus};
      if (edge.name[0] == 'o' || edge.name[0] == 'O') ++s.opampcnt;
    }
    s.activeCount = record - 1;
    record = 2;
    for (const HandPassive& edge : passive) {
      std::snprintf(s.branchNames[++slot], kNameChars, "%s", edge.name);
      s.passiveEdges[record++] = {slot, edge.node1, edge.node2};
    }
    s.passiveCount = record - 1;
    s.analysisPassiveCount = s.passiveCount;
    s.nameCount = slot;
    s.nodeCount = nodes + 1;
    s.treeSize = nodes;
    for (int k = 0; k < 4; ++k) s.portNodes[k] = ports[k];
    buildBranchMaps(ctx->out, ctx->store, ctx->maps);
  }

  // Evaluates one function of the hand-made netlist as the sequencer does.
  void evaluate(int topofun) {
    NetworkStore& s = ctx->store;
    s.topofunDone[topofun] = 1;
    evaluateFormula(*ctx, s.analysisPassiveCount, s.activeCount, s.treeSize, topofun);
  }

  // Symbol sets of the terms of one power column, in column order, with
  // their coefficients.
  struct ColumnTerm {
    std::vector<int> symbols;  // each symbol repeated by its exponent
    std::int64_t coefficient;
    bool operator==(const ColumnTerm&) const = default;
  };
  static std::vector<ColumnTerm> column(const PolyRecord& record, int power) {
    std::vector<ColumnTerm> terms;
    for (int row = 0; row < record.powerCounts[power]; ++row) {
      const Term& term = record.term(record.at(row, power));
      ColumnTerm t{{}, term.coefficient};
      for (int symbol = 0; symbol < record.exponentCount; ++symbol)
        for (int k = 0; k < term.exponents[symbol]; ++k) t.symbols.push_back(symbol);
      terms.push_back(t);
    }
    return terms;
  }

  static std::string masked(const std::string& text) {
    static const std::regex address(R"(0x[0-9a-f]{8})");
    return std::regex_replace(text, address, "0xADDRESS");
  }

  StringSource source{""};
  StringOutput output;
  FailingAllocator alloc;
  std::unique_ptr<AnalysisContext> ctx;
};

}  // namespace velkor::testing
