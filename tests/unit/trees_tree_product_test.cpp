// Signs and terms of common trees: the terms of random graph pairs against
// reduced incidence determinants computed here independently, the worked
// example of a voltage-controlled current source, and the abandonment of a
// function when accumulation runs out of memory.
#include <bit>
#include <map>
#include <random>

#include "model/parameter_table.h"
#include "trees_fixture.h"

namespace velkor::testing {
namespace {

using Matrix = std::vector<std::vector<int>>;

// Laplace expansion along the first row; the matrices here are at most 5x5.
int determinant(const Matrix& a) {
  const std::size_t n = a.size();
  if (n == 0) return 1;
  int sum = 0;
  for (std::size_t col = 0; col < n; ++col) {
    if (a[0][col] == 0) continue;
    Matrix minor;
    for (std::size_t r = 1; r < n; ++r) {
      std::vector<int> row;
      for (std::size_t c = 0; c < n; ++c)
        if (c != col) row.push_back(a[r][c]);
      minor.push_back(row);
    }
    sum += (col % 2 == 0 ? 1 : -1) * a[0][col] * determinant(minor);
  }
  return sum;
}

// Incidence matrix of the chosen edges reduced at node 1: rows nodes 2 .. n,
// +1 where an edge starts, -1 where it ends.
int reducedIncidenceDeterminant(int n, const std::vector<int>& edges, const int* d1, const int* d2) {
  Matrix a(static_cast<std::size_t>(n - 1), std::vector<int>(edges.size(), 0));
  for (std::size_t c = 0; c < edges.size(); ++c) {
    if (d1[edges[c]] >= 2) a[static_cast<std::size_t>(d1[edges[c]] - 2)][c] += 1;
    if (d2[edges[c]] >= 2) a[static_cast<std::size_t>(d2[edges[c]] - 2)][c] -= 1;
  }
  return determinant(a);
}

class ProductTest : public TreeTest {};

// On random graph pairs every edge set of N - 1 edges whose two reduced
// incidence determinants are both nonzero must appear as exactly one term
// with their product as coefficient, and no other term may appear.
TEST_F(ProductTest, TermsMatchIncidenceDeterminantsOnRandomGraphPairs) {
  std::mt19937 rng(77);
  int negative = 0;
  for (int round = 0; round < 200; ++round) {
    const int n = 2 + round % 5;
    const int extra = std::uniform_int_distribution<int>(n - 1, 9)(rng);
    std::vector<HandEdge> edges;
    std::uniform_int_distribution<int> node(1, n);
    for (int k = 0; k < extra; ++k) {
      HandEdge e{"e", node(rng), node(rng), 0, 0};
      if (rng() % 3 == 0) {
        e.v1 = node(rng);
        e.v2 = node(rng);
      } else {
        e.v1 = e.i1;
        e.v2 = e.i2;
      }
      edges.push_back(e);
    }
    graph(n, edges);
    PolyRecord& record = ctx->polyRecords[kV];
    ASSERT_EQ(createPolyRecord(*ctx, record), 0);
    const GraphPair& g = ctx->graph;
    ASSERT_EQ(treeProduct(*ctx, g.minty_nodes, g.edges, n, 0, kV, ctx->polyRecords[kV]), 0);

    std::map<std::vector<int>, int> expected;
    const int total = g.edges - 1;
    for (unsigned mask = 0; mask < (1u << total); ++mask) {
      if (std::popcount(mask) != n - 1) continue;
      std::vector<int> subset;
      for (int k = 0; k < total; ++k)
        if (mask & (1u << k)) subset.push_back(k + 2);
      const int product = reducedIncidenceDeterminant(n, subset, g.iGraph.d1, g.iGraph.d2) *
                          reducedIncidenceDeterminant(n, subset, g.vGraph.d1, g.vGraph.d2);
      if (product != 0) expected[subset] = product;
      if (product < 0) ++negative;
    }
    std::map<std::vector<int>, int> found;
    for (const ColumnTerm& term : column(record, 0)) found[term.symbols] = term.coefficient;
    ASSERT_EQ(found, expected) << "round " << round;
    EXPECT_EQ(ctx->product.commonTreeCount, static_cast<int>(expected.size()));
    releasePolyRecord(*ctx, record);
  }
  EXPECT_GT(negative, 50);
}

class WorkedExampleTest : public TreeTest {
 protected:
  // gmvcis 2 0 0 3, rin 1 3, rf 2 3, f 1 0 2 0: labels 2, 0, 3, 1 are nodes
  // 1 to 4, node 5 is auxiliary; symbols gmvcis 2, rin 3, rf 4.
  void SetUp() override {
    netlist(4, {{"rin", 4, 3}, {"rf", 1, 3}}, {{"gmvcis", 1, 2, 2, 3}}, 4, 2, 1, 2);
    ctx->store.traceBits = kTraceMatchedTrees;
  }

  // The trace lines after the map and graph listing.
  std::string treeLines() {
    const std::string blanks = std::string(1024, ' ') + "\n";
    const std::string& text = output.text();
    const std::size_t at = text.find(blanks);
    return at == std::string::npos ? text : text.substr(at + blanks.size());
  }

  static constexpr int kGm = 2, kRin = 3, kRf = 4;
};

TEST_F(WorkedExampleTest, TreesPermutationsAndSigns) {
  evaluate(kWijkl);
  EXPECT_EQ(treeLines(),
            " common tree edges:  2(f)   3(rin)   4(rf) \n"
            "v-tree permutation:   2(f)   4(rf)  -3(rin) \n"
            "i-tree permutation:   2(f)   4(rf)  -3(rin) \n"
            "resulting sign=  1\n"
            " common tree edges:  2(f)   3(rin)   5(gmvcis) \n"
            "v-tree permutation:   5(gmvcis)   3(rin)  -2(f) \n"
            "i-tree permutation:   2(f)   5(gmvcis)  -3(rin) \n"
            "resulting sign=  1\n");
  EXPECT_EQ(column(ctx->polyRecords[kWijkl], 0), (std::vector<ColumnTerm>{{{kGm, kRin}, 1}, {{kRin, kRf}, 1}}));

  output.clear();
  evaluate(kWijij);
  EXPECT_NE(treeLines().find(" common tree edges:  2(f)   4(rf)   5(gmvcis) \n"
                             "v-tree permutation:   5(gmvcis)   4(rf)  -2(f) \n"
                             "i-tree permutation:  -5(gmvcis)   4(rf)  -2(f) \n"
                             "resulting sign= -1\n"),
            std::string::npos);
  EXPECT_EQ(column(ctx->polyRecords[kWijij], 0), (std::vector<ColumnTerm>{{{kGm, kRf}, -1}, {{kRin, kRf}, 1}}));

  output.clear();
  evaluate(kV);
  EXPECT_EQ(treeLines(),
            " common tree edges:  2(rin)   3(rf)   4(gmvcis) \n"
            "v-tree permutation:   4(gmvcis)   3(rf)  -2(rin) \n"
            "i-tree permutation:  -4(gmvcis)   3(rf)  -2(rin) \n"
            "resulting sign= -1\n");
  EXPECT_EQ(column(ctx->polyRecords[kV], 0), (std::vector<ColumnTerm>{{{kGm, kRin, kRf}, -1}}));
}

TEST_F(ProductTest, CoefficientLeavingThe64BitRangeAbandonsTheFunction) {
  // One edge between two nodes: one tree, accumulated into the same term
  // on every run of the product.
  graph(2, {{"e", 1, 2, 1, 2, 0}});
  ctx->plainPath = true;
  const GraphPair& g = ctx->graph;
  PolyRecord& record = ctx->polyRecords[kV];
  ASSERT_EQ(createPolyRecord(*ctx, record), 0);
  ASSERT_EQ(treeProduct(*ctx, g.minty_nodes, g.edges, 2, 0, kV, record), 0);
  ASSERT_EQ(record.termCount, 1);
  const std::int64_t sign = record.term(0).coefficient;
  record.term(0).coefficient = sign * (kMaxCoefficient - 1);
  ASSERT_EQ(treeProduct(*ctx, g.minty_nodes, g.edges, 2, 0, kV, record), 0);
  EXPECT_EQ(record.term(0).coefficient, sign * kMaxCoefficient);
  output.clear();
  EXPECT_EQ(treeProduct(*ctx, g.minty_nodes, g.edges, 2, 0, kV, record), kCoefficientOutOfRange);
  EXPECT_EQ(output.text(), "");  // none of the memory failure's lines
  EXPECT_FALSE(record.live());
}

class ExhaustionTest : public TreeTest {
 protected:
  // The complete graph on five nodes: 125 trees, each a different product,
  // so the 101st fills the first 102-row power index.
  void SetUp() override {
    std::vector<HandPassive> passive;
    static const char* const names[] = {"r12", "r13", "r14", "r15", "r23", "r24", "r25", "r34", "r35", "r45"};
    int k = 0;
    for (int a = 1; a <= 5; ++a)
      for (int b = a + 1; b <= 5; ++b) passive.push_back({names[k++], a, b});
    netlist(5, passive, {}, {1, 2, 1, 2});
    alloc.failAt = 3;  // the two blocks of the record are granted, any growth is refused
    alloc.failAfter = true;
  }
};

TEST_F(ExhaustionTest, FunctionIsAbandonedWhenTheIndexCannotGrow) {
  evaluate(kV);
  EXPECT_EQ(output.text(),
            "insufficient memory for combining admittance terms\n"
            "raw i-trees  evaluated:      101\n"
            "qualified common trees:      101\n"
            "insufficient memory to buffer common trees; remainder of function evaluation skipped\n");
  EXPECT_EQ(ctx->store.topofunDone[kV], 0);
  EXPECT_FALSE(ctx->polyRecords[kV].live());
  EXPECT_EQ(alloc.liveBlocks(), 0);
}

TEST_F(ExhaustionTest, GrowthFailureIsTracedUnderResourceBit) {
  ctx->store.traceBits = kTraceResources;
  evaluate(kV);
  EXPECT_EQ(masked(output.text()),
            "Topological formula: (V, 1-trees) \n"
            "product:: minty_nodes:6, edges:11, actual_nodes:5, form:0, topofun:0\n"
            "resizing poly orig size =102, orig ptr =0xADDRESS\n"
            "resize failed for insufficient memory\n"
            "insufficient memory for combining admittance terms\n"
            "raw i-trees  evaluated:      101\n"
            "qualified common trees:      101\n"
            "insufficient memory to buffer common trees; remainder of function evaluation skipped\n");
}

}  // namespace
}  // namespace velkor::testing
