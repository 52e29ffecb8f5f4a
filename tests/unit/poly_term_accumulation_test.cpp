// Merging tree products into a polynomial: column order, merging and
// cancellation, the traces, and growth of both blocks including the
// fallback sizes and the failure when memory runs out.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis_context.h"
#include "poly/term_accumulation.h"
#include "support/failing_allocator.h"

namespace velkor {
namespace {

// Refuses what the inner allocator refuses and records every resize.
class RecordingAllocator final : public Allocator {
 public:
  void* allocate(std::size_t bytes) override { return inner.allocate(bytes); }
  void* resize(void* block, std::size_t bytes) override {
    resizes.push_back(bytes);
    return inner.resize(block, bytes);
  }
  void release(void* block) override { inner.release(block); }

  FailingAllocator inner;
  std::vector<std::size_t> resizes;
};

class AccumulationTest : public ::testing::Test {
 protected:
  AccumulationTest() : ctx(std::make_unique<AnalysisContext>(source, output, alloc)) {
    // Edge e carries symbol e.
    for (int e = 0; e < kSymbolSlots; ++e) ctx->graph.dbranchmap[e] = e;
    EXPECT_EQ(createPolyRecord(*ctx, record()), 0);
  }
  ~AccumulationTest() override { releasePolyRecord(*ctx, record()); }

  PolyRecord& record() { return ctx->polyRecords[0]; }

  int add(int sign, int power, std::vector<int> edges) {
    return accumulateTerm(*ctx, sign, power, static_cast<int>(edges.size()), edges.data(), ctx->graph.dbranchmap, record());
  }

  // Every slot, those the record does not keep being 0.
  std::vector<int> exponentsAt(int row, int power) {
    const Term& t = record().term(record().at(row, power));
    std::vector<int> all(kSymbolSlots, 0);
    for (int k = 0; k < record().exponentCount; ++k) all[static_cast<std::size_t>(k)] = t.exponents[k];
    return all;
  }
  std::int64_t coefficientAt(int row, int power) { return record().term(record().at(row, power)).coefficient; }

  static std::vector<int> vector(std::initializer_list<std::pair<int, int>> exponents) {
    std::vector<int> v(kSymbolSlots, 0);
    for (auto [symbol, exponent] : exponents) v[static_cast<std::size_t>(symbol)] = exponent;
    return v;
  }

  void runModel(int calls);
  void checkColumns();
  std::map<std::pair<int, std::vector<int>>, int> model;

  std::string masked() const {
    static const std::regex address(R"(0x[0-9a-f]{8})");
    return std::regex_replace(output.text(), address, "0xADDRESS");
  }

  StringSource source{""};
  StringOutput output;
  RecordingAllocator alloc;
  std::unique_ptr<AnalysisContext> ctx;
};

TEST_F(AccumulationTest, ColumnsStayStrictlyDescendingAndSumCoefficients) {
  runModel(3000);
  checkColumns();
}

TEST_F(AccumulationTest, CompactTermsThroughTheIndexGiveTheSameColumns) {
  // Eight kept exponents: 20-byte terms, and more than the initial
  // capacity of them so that the term list grows.
  compactTerms(record(), 3);
  EXPECT_EQ(record().exponentCount, 8);
  EXPECT_EQ(record().termStride, 20);
  beginIndexedAccumulation(*ctx);
  runModel(30000);
  endIndexedAccumulation(*ctx, record(), true);
  checkColumns();
  EXPECT_GT(record().termCount, kInitialTermCapacity);
  // A record that holds terms keeps its layout.
  compactTerms(record(), 20);
  EXPECT_EQ(record().exponentCount, 8);
}

// Accumulates random products of symbols 1 .. 7 (edges 1 .. 14 carry each
// of them twice over, so a product may hold a symbol more than once) into
// the model as well.
void AccumulationTest::runModel(int calls) {
  for (int e = 1; e <= 14; ++e) ctx->graph.dbranchmap[e] = (e - 1) % 7 + 1;
  std::mt19937 rng(5);
  model.clear();
  for (int call = 0; call < calls; ++call) {
    const int power = static_cast<int>(rng() % 4);
    const int sign = rng() % 2 == 0 ? 1 : -1;
    std::vector<int> edges;
    std::vector<int> exponents(kSymbolSlots, 0);
    const int count = static_cast<int>(rng() % 7);
    for (int k = 0; k < count; ++k) {
      const int e = static_cast<int>(rng() % 14) + 1;
      edges.push_back(e);
      ++exponents[static_cast<std::size_t>(ctx->graph.dbranchmap[e])];
    }
    ASSERT_EQ(add(sign, power, edges), 0);
    model[{power, exponents}] += sign;
  }
}

// Every column strictly descending, each product once, coefficients summed.
void AccumulationTest::checkColumns() {
  std::map<std::pair<int, std::vector<int>>, int> found;
  std::vector<bool> seen(static_cast<std::size_t>(record().termCount), false);
  for (int power = 0; power < kPowerColumns; ++power) {
    for (int row = 0; row < record().powerCounts[power]; ++row) {
      const int index = record().at(row, power);
      ASSERT_LT(index, record().termCount);
      ASSERT_FALSE(seen[static_cast<std::size_t>(index)]);
      seen[static_cast<std::size_t>(index)] = true;
      if (row > 0) {
        ASSERT_GT(exponentsAt(row - 1, power), exponentsAt(row, power));
      }
      found[{power, exponentsAt(row, power)}] = coefficientAt(row, power);
    }
  }
  EXPECT_EQ(found, model);
  EXPECT_EQ(record().termCount, static_cast<int>(model.size()));
}

TEST_F(AccumulationTest, LargerExponentInAnEarlierSlotComesFirst) {
  ASSERT_EQ(add(1, 0, {5}), 0);
  ASSERT_EQ(add(1, 0, {3}), 0);
  ASSERT_EQ(add(1, 0, {}), 0);
  ASSERT_EQ(add(1, 0, {3, 3}), 0);
  EXPECT_EQ(exponentsAt(0, 0), vector({{3, 2}}));
  EXPECT_EQ(exponentsAt(1, 0), vector({{3, 1}}));
  EXPECT_EQ(exponentsAt(2, 0), vector({{5, 1}}));
  EXPECT_EQ(exponentsAt(3, 0), vector({}));
  // Terms keep the index of their first appearance.
  EXPECT_EQ(record().at(0, 0), 3);
  EXPECT_EQ(record().at(3, 0), 2);
}

TEST_F(AccumulationTest, CancelledTermKeepsItsPlace) {
  ASSERT_EQ(add(1, 2, {4, 7}), 0);
  ASSERT_EQ(add(1, 2, {9}), 0);
  ASSERT_EQ(add(-1, 2, {7, 4}), 0);
  EXPECT_EQ(record().termCount, 2);
  EXPECT_EQ(record().powerCounts[2], 2);
  EXPECT_EQ(coefficientAt(0, 2), 0);
  ASSERT_EQ(add(1, 2, {4, 7}), 0);
  EXPECT_EQ(coefficientAt(0, 2), 1);
  EXPECT_EQ(record().termCount, 2);
  // The same symbols at another power are another term.
  ASSERT_EQ(add(1, 3, {4, 7}), 0);
  EXPECT_EQ(record().termCount, 3);
  EXPECT_EQ(record().powerCounts[3], 1);
  EXPECT_EQ(record().term(2).inverted, 0);
}

TEST_F(AccumulationTest, CoefficientsGoPast32BitsAndStopAtThe64BitRange) {
  for (bool indexed : {false, true}) {
    ASSERT_EQ(createPolyRecord(*ctx, record()), 0);
    if (indexed) beginIndexedAccumulation(*ctx);
    ASSERT_EQ(add(1, 2, {3, 5}), 0);
    Term& term = record().term(0);
    term.coefficient = INT32_MAX;
    ASSERT_EQ(add(1, 2, {5, 3}), 0);
    EXPECT_EQ(coefficientAt(0, 2), 2147483648) << indexed;
    term.coefficient = kMaxCoefficient;
    EXPECT_EQ(add(1, 2, {3, 5}), kCoefficientOutOfRange) << indexed;
    EXPECT_EQ(coefficientAt(0, 2), kMaxCoefficient) << indexed;
    ASSERT_EQ(add(-1, 2, {3, 5}), 0);
    EXPECT_EQ(coefficientAt(0, 2), kMaxCoefficient - 1) << indexed;
    term.coefficient = -kMaxCoefficient;
    EXPECT_EQ(add(-1, 2, {3, 5}), kCoefficientOutOfRange) << indexed;
    EXPECT_EQ(coefficientAt(0, 2), -kMaxCoefficient) << indexed;
    EXPECT_EQ(record().termCount, 1);
    if (indexed) endIndexedAccumulation(*ctx, record(), true);
  }
}

TEST_F(AccumulationTest, TermTraceAndNoAccumulation) {
  ctx->store.netlistNumber = 3;
  ctx->store.traceLabel = 12;
  ctx->store.traceBits = kTraceTerms | kTraceNoAccumulation;
  ASSERT_EQ(add(-1, 2, {4, 17}), 0);
  ASSERT_EQ(add(1, 0, {}), 0);
  EXPECT_EQ(output.text(), " 3,12, 0, 0, 2,-1:,  4, 17\n 3,12, 0, 0, 0, 1:\n");
  EXPECT_EQ(record().termCount, 0);
  EXPECT_EQ(record().powerCounts[2], 0);
}

class TermlistGrowthTest : public AccumulationTest {
 protected:
  // Term k goes to power k % 48 with symbol k / 48 + 1: all different, and
  // no column comes near the end of the power index.
  int addTerm(int k) { return add(1, k % 48, {k / 48 + 1}); }
  void fillAllButLast() {
    for (int k = 0; k < kInitialTermCapacity - 1; ++k) ASSERT_EQ(addTerm(k), 0);
    ASSERT_EQ(record().termCount, kInitialTermCapacity - 1);
    ASSERT_EQ(record().termCapacity, kInitialTermCapacity);
    ASSERT_TRUE(alloc.resizes.empty());
  }
};

TEST_F(TermlistGrowthTest, GrowsInTheCallThatStoresTheLastFreeTerm) {
  fillAllButLast();
  ctx->store.traceBits = kTraceResources;
  ASSERT_EQ(addTerm(kInitialTermCapacity - 1), 0);
  EXPECT_EQ(masked(),
            "resizing termlist orig size =4386, orig ptr =0xADDRESS\n"
            "num of elements =8772, pointer =0xADDRESS\n");
  EXPECT_EQ(record().termCapacity, 8772);
  EXPECT_EQ(record().termCount, 4386);
  const Term& added = record().term(8771);
  EXPECT_EQ(added.coefficient, 0);
  EXPECT_EQ(std::vector<int>(added.exponents, added.exponents + kSymbolSlots), vector({}));
  EXPECT_EQ(record().term(4385).coefficient, 1);
}

TEST_F(TermlistGrowthTest, FallsBackToOneAndAHalfTimes) {
  fillAllButLast();
  alloc.inner.maxBytes = 7000 * sizeof(Term);  // between 6579 and 8772 terms
  ASSERT_EQ(addTerm(kInitialTermCapacity - 1), 0);
  EXPECT_EQ(alloc.resizes, (std::vector<std::size_t>{8772 * sizeof(Term), 6579 * sizeof(Term)}));
  EXPECT_EQ(record().termCapacity, 6579);
  EXPECT_EQ(output.text(), "");
}

TEST_F(TermlistGrowthTest, FailureLeavesTheTermUncounted) {
  fillAllButLast();
  alloc.inner.maxBytes = kInitialTermCapacity * sizeof(Term);
  Term* before = record().termlist;
  EXPECT_EQ(addTerm(kInitialTermCapacity - 1), 1);
  EXPECT_EQ(record().termCount, kInitialTermCapacity - 1);
  EXPECT_EQ(record().termCapacity, kInitialTermCapacity);
  EXPECT_EQ(record().termlist, before);
  ASSERT_GE(alloc.resizes.size(), 2u);
  EXPECT_EQ(alloc.resizes[0], 8772 * sizeof(Term));
  EXPECT_EQ(alloc.resizes[1], 6579 * sizeof(Term));
  EXPECT_EQ(alloc.resizes.back(), 4387 * sizeof(Term));
  EXPECT_EQ(output.text(), "");
}

class PolyGrowthTest : public AccumulationTest {
 protected:
  // 100 different products in column 0: the next one fills row 101.
  void fillAllButLast() {
    for (int e = 1; e <= 100; ++e) ASSERT_EQ(add(1, 0, {e}), 0);
    ASSERT_EQ(record().polyRows, kInitialPolyRows);
  }
};

TEST_F(PolyGrowthTest, DoublesWhenAColumnReachesTheLastRow) {
  ctx->plainPath = true;  // the plain path clears the added rows
  fillAllButLast();
  ASSERT_EQ(add(1, 0, {1, 2}), 0);
  EXPECT_EQ(record().polyRows, 204);
  EXPECT_EQ(record().powerCounts[0], 101);
  for (int row = kInitialPolyRows; row < 204; ++row) EXPECT_EQ(record().at(row, 0), 0);  // the added rows
  EXPECT_EQ(record().at(203, kPowerColumns - 1), 0);
  // The products still sort after the growth.
  ASSERT_EQ(add(1, 0, {1, 1}), 0);
  EXPECT_EQ(exponentsAt(0, 0), vector({{1, 2}}));
  EXPECT_EQ(exponentsAt(1, 0), vector({{1, 1}, {2, 1}}));
}

TEST_F(PolyGrowthTest, GrowthKeepsEveryColumnsEntries) {
  for (int e = 1; e <= 30; ++e) ASSERT_EQ(add(1, 5, {e}), 0);
  for (int e = 1; e <= 20; ++e) ASSERT_EQ(add(1, kPowerColumns - 1, {e, e}), 0);
  std::vector<std::vector<int>> column5, last;
  for (int row = 0; row < 30; ++row) column5.push_back(exponentsAt(row, 5));
  for (int row = 0; row < 20; ++row) last.push_back(exponentsAt(row, kPowerColumns - 1));
  fillAllButLast();
  ASSERT_EQ(add(1, 0, {1, 2}), 0);
  ASSERT_EQ(record().polyRows, 204);
  for (int row = 0; row < 30; ++row) EXPECT_EQ(exponentsAt(row, 5), column5[static_cast<std::size_t>(row)]);
  for (int row = 0; row < 20; ++row)
    EXPECT_EQ(exponentsAt(row, kPowerColumns - 1), last[static_cast<std::size_t>(row)]);
}

TEST_F(PolyGrowthTest, RefusedGrowthTriesEverSmallerIncreases) {
  fillAllButLast();
  alloc.inner.maxBytes = kInitialPolyRows * sizeof(PolyRow);
  ctx->store.traceBits = kTraceResources;
  EXPECT_EQ(add(1, 0, {1, 2}), 1);
  std::vector<std::size_t> rows;
  for (std::size_t bytes : alloc.resizes) rows.push_back(bytes / sizeof(PolyRow));
  EXPECT_EQ(rows, (std::vector<std::size_t>{204, 153, 127, 114, 108, 105, 103}));
  EXPECT_EQ(masked(),
            "resizing poly orig size =102, orig ptr =0xADDRESS\n"
            "resize failed for insufficient memory\n");
  EXPECT_EQ(record().polyRows, kInitialPolyRows);
}

}  // namespace
}  // namespace velkor
