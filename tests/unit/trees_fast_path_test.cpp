// The pruned common-tree enumeration against the plain generator: the same
// accepted trees in the same order, on random graph pairs and on whole runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "crosscheck/crosscheck.h"
#include "driver/program_driver.h"
#include "support/failing_allocator.h"
#include "support/run_helpers.h"
#include "trees/common_tree_enumerator.h"
#include "trees/common_tree_split.h"
#include "trees/dominant_tree_search.h"
#include "trees/graph_pair.h"
#include "trees/raw_tree_count.h"
#include "trees/tree_product.h"
#include "unit/trees_fixture.h"

namespace velkor::testing {
namespace {

class FastPathTest : public TreeTest {
 protected:
  std::vector<std::vector<int>> fastTrees(std::uint64_t workLimit = 0) {
    std::vector<std::vector<int>> trees;
    CommonTreeEnumerator en;
    WorkMeter meter;
    meter.workLimit = workLimit;
    meter.begin("", nullptr);
    int edges[kTreeSlots] = {};
    const int count = ctx->graph.actual_nodes - 1;
    while (nextCommonTree(en, ctx->graph, edges, meter)) trees.emplace_back(edges + 1, edges + 1 + count);
    return trees;
  }

  // A random graph pair: ports and nullors first (forced), then edges
  // whose two graphs agree (passive) or differ (controlled sources), with
  // loops and parallel edges now and then.
  void randomPair(std::mt19937_64& random) {
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<std::uint64_t>(n)); };
    const int nodes = 2 + pick(6);
    std::vector<HandEdge> edges;
    auto node = [&] { return 1 + pick(nodes); };
    const int ports = pick(3);
    for (int k = 0; k < ports; ++k) edges.push_back({"f", node(), node(), node(), node(), k == 0 ? 2 : 4});
    const int nullors = pick(3);
    for (int k = 0; k < nullors; ++k) edges.push_back({"o", node(), node(), node(), node(), 1});
    const int others = 2 + pick(9);
    for (int k = 0; k < others; ++k) {
      int a = node(), b = node();
      if (pick(3) == 0)
        edges.push_back({"g", a, b, node(), node(), 0});
      else
        edges.push_back({"r", a, b, a, b, pick(5) == 0 ? 16 : 0});
    }
    graph(nodes, edges);
    // The plain generator reads the nullor count from the store.
    ctx->store.opampcnt = nullors;
  }
};

TEST_F(FastPathTest, SameTreesInSameOrderOnRandomGraphPairs) {
  std::mt19937_64 random(20261207);
  int withTrees = 0;
  for (int round = 0; round < 3000; ++round) {
    randomPair(random);
    auto plain = allTrees();
    auto fast = fastTrees();
    ASSERT_EQ(plain, fast) << "round " << round;
    withTrees += !plain.empty();
  }
  EXPECT_GT(withTrees, 300);
}

// The subtrees of the search, enumerated one after another in the order
// they are listed, give every tree of the whole enumeration once, in its
// order and with its sign, however finely the search is cut.
TEST_F(FastPathTest, SubtreesInOrderGiveTheWholeEnumeration) {
  std::mt19937_64 random(4242);
  int cut = 0;
  for (int round = 0; round < 2000; ++round) {
    randomPair(random);
    const int count = ctx->graph.actual_nodes - 1;
    std::vector<std::vector<int>> whole;
    {
      CommonTreeEnumerator en;
      WorkMeter meter;
      int edges[kTreeSlots] = {};
      while (nextCommonTree(en, ctx->graph, edges, meter)) {
        whole.emplace_back(edges + 1, edges + 1 + count);
        whole.back().push_back(en.signs[count]);
      }
    }
    for (int wanted : {1, 2, 5, 64}) {
      CommonTreeEnumerator scratch;
      const std::vector<SubtreeRoot> roots = listSubtrees(scratch, ctx->graph, wanted);
      cut += roots.size() > 1;
      std::vector<std::vector<int>> pieces;
      for (const SubtreeRoot& root : roots) {
        CommonTreeEnumerator en;
        WorkMeter meter;
        startSubtree(en, ctx->graph, root);
        int edges[kTreeSlots] = {};
        while (nextCommonTree(en, ctx->graph, edges, meter)) {
          pieces.emplace_back(edges + 1, edges + 1 + count);
          pieces.back().push_back(en.signs[count]);
        }
      }
      ASSERT_EQ(pieces, whole) << "round " << round << ", " << wanted << " subtrees wanted";
    }
  }
  EXPECT_GT(cut, 500);
}

TEST_F(FastPathTest, SignsAndRawTreeCountsMatchThePlainPath) {
  // At every accepted tree, the sign that the enumerator follows by
  // contraction must be the one that orienting the finished tree in both
  // graphs gives, and the raw trees counted by the matrix-tree theorem
  // must be the plain generator's counter there.
  std::mt19937_64 random(31337);
  int compared = 0;
  for (int round = 0; round < 4000; ++round) {
    randomPair(random);
    const GraphPair& g = ctx->graph;
    const int count = g.actual_nodes - 1;
    CommonTreeEnumerator en;
    int edges[kTreeSlots] = {};
    ctx->generator.generatorState = EnumerationState::kStart;
    while (nextCommonTree(en, g, edges, ctx->meter)) {
      int iPermutation[kTreeSlots] = {}, vPermutation[kTreeSlots] = {};
      orientTreePair(count, g.iGraph, g.vGraph, edges, iPermutation, vPermutation);
      ASSERT_EQ(en.signs[count], treeSign(g.actual_nodes, vPermutation, iPermutation)) << "round " << round;
      nextTree(*ctx);
      ASSERT_EQ(ctx->generator.generatorState, EnumerationState::kRunning) << "round " << round;
      int ordinal = 0;
      ASSERT_TRUE(rawTreeOrdinal(g, edges, count, &ordinal)) << "round " << round;
      ASSERT_EQ(ordinal, ctx->generator.rawTreeCount) << "round " << round;
      ++compared;
    }
  }
  EXPECT_GT(compared, 1500);
}

// The orientation walk written the obvious way, as a reference: from the
// node on top of the stack, scan all tree positions in order for the first
// unused one that touches it.
void scanningWalk(int count, const int* d1, const int* d2, const int* tree, int* permutation) {
  bool used[kTreeSlots] = {};
  int stack[kTreeSlots + 1];
  int depth = 0;
  permutation[0] = permutation[1] = 0;
  stack[depth++] = 1;
  for (;;) {
    const int v = stack[depth - 1];
    int w = 0;
    for (int pos = 1; pos <= count && w == 0; ++pos) {
      const int e = tree[pos];
      if (used[pos] || (d1[e] != v && d2[e] != v)) continue;
      used[pos] = true;
      w = d1[e] == v ? d2[e] : d1[e];
      permutation[w] = d1[e] == v ? e : -e;
    }
    if (w != 0)
      stack[depth++] = w;
    else if (depth == 1)
      return;
    else
      --depth;
  }
}

TEST(Orientation, MatchesTheScanningWalkOnRandomTrees) {
  std::mt19937_64 random(99);
  for (int round = 0; round < 2000; ++round) {
    // A random tree on nodes 1 .. n, edges in random order and direction.
    const int n = 2 + static_cast<int>(random() % 40);
    int d1[kEdgeSlots] = {}, d2[kEdgeSlots] = {}, tree[kTreeSlots] = {};
    std::vector<int> order;
    for (int k = 0; k < n - 1; ++k) order.push_back(k + 2);
    std::shuffle(order.begin(), order.end(), random);
    for (int w = 2; w <= n; ++w) {
      const int e = order[static_cast<std::size_t>(w - 2)];
      const int parent = 1 + static_cast<int>(random() % static_cast<std::uint64_t>(w - 1));
      if (random() % 2) {
        d1[e] = parent;
        d2[e] = w;
      } else {
        d1[e] = w;
        d2[e] = parent;
      }
    }
    for (int pos = 1; pos <= n - 1; ++pos) tree[pos] = pos + 1;
    int plain[kTreeSlots] = {}, listed[kTreeSlots] = {};
    scanningWalk(n - 1, d1, d2, tree, plain);
    orientTree(n - 1, d1, d2, tree, listed);
    for (int w = 0; w <= n; ++w) ASSERT_EQ(plain[w], listed[w]) << "round " << round << " node " << w;
  }
}

TEST(Orientation, EdgeSetsThatAreNotTreesAreWalkedAsBefore) {
  // n - 1 edges with random ends: cycles, loops, repeated edges and parts
  // cut off from node 1 all occur, and the result must stay the walk's.
  std::mt19937_64 random(7);
  int trees = 0;
  for (int round = 0; round < 3000; ++round) {
    const int n = 2 + static_cast<int>(random() % 12);
    int d1[kEdgeSlots] = {}, d2[kEdgeSlots] = {}, tree[kTreeSlots] = {};
    for (int pos = 1; pos <= n - 1; ++pos) {
      tree[pos] = pos + 1;
      d1[pos + 1] = 1 + static_cast<int>(random() % static_cast<std::uint64_t>(n));
      d2[pos + 1] = 1 + static_cast<int>(random() % static_cast<std::uint64_t>(n));
    }
    int plain[kTreeSlots] = {}, oriented[kTreeSlots] = {};
    scanningWalk(n - 1, d1, d2, tree, plain);
    orientTree(n - 1, d1, d2, tree, oriented);
    for (int w = 0; w <= n; ++w) ASSERT_EQ(plain[w], oriented[w]) << "round " << round << " node " << w;
    // Paired with the same edges reversed, each side comes out as alone.
    EdgeEnds forward{}, backward{};
    for (int e = 0; e < kEdgeSlots; ++e) {
      forward.d1[e] = backward.d2[e] = d1[e];
      forward.d2[e] = backward.d1[e] = d2[e];
    }
    int pairI[kTreeSlots] = {}, pairV[kTreeSlots] = {}, alone[kTreeSlots] = {};
    orientTreePair(n - 1, forward, backward, tree, pairI, pairV);
    orientTree(n - 1, backward.d1, backward.d2, tree, alone);
    for (int w = 0; w <= n; ++w) {
      ASSERT_EQ(pairI[w], plain[w]) << "round " << round << " node " << w;
      ASSERT_EQ(pairV[w], alone[w]) << "round " << round << " node " << w;
    }
    bool reachesAll = true;
    for (int w = 2; w <= n; ++w) reachesAll = reachesAll && plain[w] != 0;
    trees += reachesAll;
  }
  EXPECT_GT(trees, 100);
  EXPECT_LT(trees, 2900);
}

TEST_F(FastPathTest, WorkLimitEndsTheEnumerationEarly) {
  std::vector<HandEdge> edges;
  for (int a = 1; a <= 6; ++a)
    for (int b = a + 1; b <= 6; ++b) edges.push_back({"r", a, b, a, b, 0});
  graph(6, edges);
  const auto all = fastTrees();
  EXPECT_EQ(all.size(), 1296u);  // 6^(6-2) spanning trees of the complete graph
  const auto some = fastTrees(200);
  EXPECT_LT(some.size(), all.size());
  EXPECT_EQ(std::vector<std::vector<int>>(all.begin(), all.begin() + static_cast<long>(some.size())), some);
}

// Whole runs: both paths print the same bytes, with and without the traces
// that list accepted trees and terms.
std::string bothPaths(const std::string& input, std::string& fast) {
  RunOptions plainOptions;
  plainOptions.plainPath = true;
  fast = maskOutput(runOnString(input));
  return maskOutput(runOnString(input, plainOptions));
}

TEST(FastPathRuns, HelpSamplesPrintTheSameBytes) {
  const std::string input = readFile(std::string(VELKOR_GOLDEN_DIR) + "/help_samples.net");
  std::string fast;
  EXPECT_EQ(bothPaths(input, fast), fast);
}

TEST(FastPathRuns, RandomNetlistsPrintTheSameBytes) {
  using namespace velkor::crosscheck;
  Random random(77);
  const char* traces[] = {"", "t 8\n", "t 256\n", "t 264\n"};
  NetlistShape shape;
  shape.maxNodes = 6;
  shape.maxExtraOnePorts = 3;
  shape.maxTwoPorts = 3;
  int round = 0;
  for (ElementKind kind : kTwoPortKinds) {
    for (const char* trace : traces) {
      std::string input;
      for (int k = 0; k < 2; ++k) {
        Netlist netlist = randomNetlist(random, kind, round % 3, round % 2 == 0, shape);
        std::string text = netlistText(netlist);
        text.insert(text.rfind("end"), trace);
        input += text;
        ++round;
      }
      std::string fast;
      const std::string plain = bothPaths(input, fast);
      ASSERT_EQ(plain, fast) << input;
    }
  }
}

TEST(FastPathRuns, AccumulationFailureReportsTheSameCountersOnBothPaths) {
  // An RC ladder of ten sections has functions of several thousand terms,
  // so the term list grows; refusing every request from the k-th on makes
  // an accumulation fail part way, and the failure report prints the raw
  // trees up to that point, which the fast path counts instead of
  // enumerating. Both paths make the same requests in the same order.
  std::string input = "{rc ladder}\n";
  for (int k = 1; k <= 10; ++k)
    input += "r" + std::to_string(k) + " " + std::to_string(k) + " " + std::to_string(k + 1) + "\nc" +
             std::to_string(k) + " " + std::to_string(k + 1) + " 0\n";
  input += "f 1 0 11 0\np g21\np y11\nend\n";
  int failures = 0;
  for (std::uint64_t failAt = 3; failAt <= 14; ++failAt) {
    std::string outputs[2];
    for (int plain = 0; plain < 2; ++plain) {
      StringSource source(input);
      StringOutput output;
      FailingAllocator alloc;
      alloc.failAt = failAt;
      alloc.failAfter = true;
      RunOptions options;
      options.plainPath = plain == 1;
      runProgram(source, output, alloc, options);
      outputs[plain] = maskOutput(output.text());
    }
    ASSERT_EQ(outputs[1], outputs[0]) << "refused from request " << failAt;
    if (outputs[0].find("insufficient memory for combining admittance terms\nraw i-trees  evaluated:") !=
        std::string::npos)
      ++failures;
  }
  EXPECT_GT(failures, 2);
}

// The branch and bound of the approximation against all common trees: at
// random log sizes per frequency, its ceiling bounds every tree (and is
// close to the heaviest: the split bound is exact at its optimum), and
// the trees it collects are exactly those that reach the threshold at some
// frequency, in enumeration order, with their signs.
TEST_F(FastPathTest, DominantSearchCollectsExactlyTheTreesAboveItsThresholds) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> size(-12.0, 12.0);
  constexpr int kFrequencies = 3;
  int checked = 0, tight = 0;
  for (int round = 0; round < 6000; ++round) {
    randomPair(random);
    const GraphPair& g = ctx->graph;
    std::vector<std::vector<int>> all;
    std::vector<int> signs;
    {
      CommonTreeEnumerator en;
      WorkMeter meter;
      meter.begin("", nullptr);
      int edges[kTreeSlots] = {};
      while (nextCommonTree(en, g, edges, meter)) {
        all.emplace_back(edges + 1, edges + 1 + (g.actual_nodes - 1));
        signs.push_back(en.signs[g.actual_nodes - 1]);
      }
    }
    if (all.empty()) continue;
    std::vector<std::vector<double>> edgeLog(kFrequencies, std::vector<double>(kEdgeSlots, 0.0));
    for (auto& atF : edgeLog)
      for (int e = 2; e <= g.edges; ++e)
        if (g.dmap[e] == kClassAdmittance) atF[static_cast<std::size_t>(e)] = size(random);
    auto treeSize = [&](const std::vector<int>& tree, int f) {
      double sum = 0;
      for (int e : tree) sum += edgeLog[static_cast<std::size_t>(f)][static_cast<std::size_t>(e)];
      return sum;
    };
    DominantTreeSearch search(g, edgeLog);
    const std::vector<double> ceiling = search.ceiling();
    std::vector<double> threshold(kFrequencies);
    for (int f = 0; f < kFrequencies; ++f) {
      std::vector<double> sizes;
      for (const auto& tree : all) sizes.push_back(treeSize(tree, f));
      const double heaviest = *std::max_element(sizes.begin(), sizes.end());
      ASSERT_GE(ceiling[static_cast<std::size_t>(f)], heaviest - 1e-9) << "round " << round;
      tight += ceiling[static_cast<std::size_t>(f)] <= heaviest + 1e-3;
      std::nth_element(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(sizes.size() / 2), sizes.end());
      threshold[static_cast<std::size_t>(f)] = sizes[sizes.size() / 2] + size(random) / 4;
    }
    std::vector<std::vector<int>> expected, collected;
    std::vector<int> expectedSigns, collectedSigns;
    for (std::size_t t = 0; t < all.size(); ++t)
      for (int f = 0; f < kFrequencies; ++f)
        if (treeSize(all[t], f) >= threshold[static_cast<std::size_t>(f)]) {
          expected.push_back(all[t]);
          expectedSigns.push_back(signs[t]);
          break;
        }
    WorkMeter meter;
    meter.begin("", nullptr);
    ASSERT_TRUE(search.collect(
        threshold,
        [&](const int* edges, int count, int sign) {
          collected.emplace_back(edges, edges + count);
          collectedSigns.push_back(sign);
        },
        meter));
    ASSERT_EQ(expected, collected) << "round " << round;
    ASSERT_EQ(expectedSigns, collectedSigns) << "round " << round;
    // The same search cut into units at a random edge and shared by three
    // threads: the units' trees, one after another, are the whole search's.
    DominantTreeSearch::Units units;
    units.splitEdge = std::uniform_int_distribution<int>(2, g.edges)(random);
    const int count = search.countUnits(threshold, units.splitEdge, meter);
    ASSERT_GE(count, 0);
    std::vector<std::vector<std::pair<std::vector<int>, int>>> byUnit(static_cast<std::size_t>(count));
    std::atomic<int> next{0};
    units.next = &next;
    std::vector<std::thread> threads;
    for (int j = 0; j < 3; ++j)
      threads.emplace_back([&] {
        std::vector<std::pair<std::vector<int>, int>>* into = nullptr;
        DominantTreeSearch::Units mine = units;
        mine.begin = [&](int unit) { into = &byUnit.at(static_cast<std::size_t>(unit)); };
        WorkMeter jobMeter;
        jobMeter.begin("", nullptr);
        search.collect(
            threshold, [&](const int* edges, int n, int sign) { into->emplace_back(std::vector<int>(edges, edges + n), sign); },
            jobMeter, &mine);
      });
    for (std::thread& t : threads) t.join();
    std::vector<std::vector<int>> joined;
    std::vector<int> joinedSigns;
    for (const auto& inUnit : byUnit)
      for (const auto& [tree, sign] : inUnit) {
        joined.push_back(tree);
        joinedSigns.push_back(sign);
      }
    ASSERT_EQ(expected, joined) << "round " << round << ", split at edge " << units.splitEdge;
    ASSERT_EQ(expectedSigns, joinedSigns) << "round " << round;
    ++checked;
  }
  EXPECT_GT(checked, 300);
  EXPECT_GT(tight, checked * kFrequencies * 9 / 10);
}

}  // namespace
}  // namespace velkor::testing
