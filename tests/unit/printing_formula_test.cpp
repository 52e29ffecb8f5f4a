// Printed formulas built from hand-made polynomials: the exact term and
// group layout, the factors taken out of both polynomials, and the
// ohm-unit conversion that moves terms between powers of s.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "analysis/analysis_context.h"
#include "analysis/common_factors.h"
#include "model/branch_maps.h"
#include "render/text_renderer.h"
#include "support/failing_allocator.h"

namespace velkor {
namespace {

using Factor = std::pair<int, int>;  // symbol slot, exponent

class PrintingTest : public ::testing::Test {
 protected:
  PrintingTest() : ctx(std::make_unique<AnalysisContext>(source, output, heap)) {}

  // Names slots 1.. in order ("x" first, as a netlist has it) and builds
  // the maps from them.
  void names(std::initializer_list<const char*> list) {
    NetworkStore& s = ctx->store;
    int slot = 0;
    for (const char* name : list) std::snprintf(s.branchNames[++slot], kNameChars, "%s", name);
    s.nameCount = slot;
    s.analysisPassiveCount = slot;
    s.activeCount = 0;
    buildBranchMaps(ctx->out, ctx->store, ctx->maps);
  }

  PolyRecord& fresh(int slot) {
    EXPECT_EQ(createPolyRecord(*ctx, ctx->polyRecords[slot]), 0);
    return ctx->polyRecords[slot];
  }

  // Appends a term at the end of the column of `power`.
  static int add(PolyRecord& record, int power, std::int64_t coefficient, std::initializer_list<Factor> factors) {
    int index = record.termCount++;
    Term& term = record.term(index);
    term = Term{};  // a new record's terms are not cleared on the fast path
    for (const auto& [symbol, exponent] : factors) term.exponents[symbol] = exponent;
    term.coefficient = coefficient;
    record.at(record.powerCounts[power]++, power) = index;
    return index;
  }

  static const Term& termAt(const PolyRecord& record, int row, int power) {
    return record.term(record.at(row, power));
  }

  std::string print(int sign, int numerator, int denominator, int status = 0) {
    output.clear();
    EXPECT_EQ(printFormula(*ctx, sign, numerator, denominator), status);
    return output.text();
  }

  StringSource source{""};
  StringOutput output;
  HeapAllocator heap;
  std::unique_ptr<AnalysisContext> ctx;
};

const char kNine[] = "         ";

TEST_F(PrintingTest, CancelledPolynomialPrintsZeroAndUnitTermPrintsOne) {
  names({"x", "g1"});
  add(fresh(0), 0, 0, {{2, 1}});  // every tree cancelled
  add(fresh(2), 0, 1, {});
  EXPECT_EQ(print(1, 0, 2),
            "\n Numerator:\n        0\n"
            "\n Denominator:\n\n + s^0  (\n" + std::string(kNine) + "    1\n        )\n"
            "\n End:\n\n");
  EXPECT_FALSE(ctx->polyRecords[6].live());
  EXPECT_FALSE(ctx->polyRecords[7].live());
}

TEST_F(PrintingTest, MinusOneHasNoTrailingOneAndExponentsFromTwoShowACaret) {
  names({"x", "c1", "gabcdefghijk"});
  PolyRecord& num = fresh(0);
  add(num, 0, -1, {});
  add(num, 1, 2, {{2, 1}, {3, 2}});
  add(num, 1, 1, {{2, 1}, {3, 1}});
  add(fresh(2), 0, 1, {});
  EXPECT_EQ(print(1, 0, 2),
            "\n Numerator:\n"
            "\n + s^0  (\n" + std::string(kNine) + " -1\n        )"
            "\n + s^1  (\n" + std::string(kNine) + "  2 c1    gabcdefghijk^2 \n" +
                std::string(kNine) + "    c1    gabcdefghijk   \n        )\n"
            "\n Denominator:\n\n + s^0  (\n" + std::string(kNine) + "    1\n        )\n"
            "\n End:\n\n");
}

TEST_F(PrintingTest, GroupsCountFromTheLowestPowerOfBothPolynomials) {
  names({"x", "c1", "c2"});
  PolyRecord& num = fresh(1);
  add(num, 2, 1, {{2, 1}, {3, 1}});
  add(num, 3, 1, {{2, 2}, {3, 1}});
  add(fresh(2), 1, 1, {{2, 1}});
  ctx->store.traceBits = kTraceAdmittance;
  std::string text = print(1, 1, 2);
  // c1 is in every term and s^1 is the lowest power: both are divided out.
  EXPECT_NE(text.find("Topological formula:  (Wijkl, 2-trees) / (Wijij, 2-trees)\n"), std::string::npos);
  EXPECT_NE(text.find("common factors to cancel in all terms of both num and denom:\n+1  c1   \n"
                      "\n + s^1  (\n" + std::string(kNine) + "    c2   \n        )"
                      "\n + s^2  (\n" + std::string(kNine) + "    c1    c2   \n        )\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n Denominator:\ncommon factors to cancel in all terms of both num and denom:\n+1  c1   \n"
                      "\n + s^0  (\n" + std::string(kNine) + "    1\n        )\n"),
            std::string::npos)
      << text;
}

TEST_F(PrintingTest, AllNegativeCoefficientsFlipTheSignAndShareTheirDivisor) {
  names({"x", "g1", "g2"});
  add(fresh(0), 0, -2, {{2, 1}});
  PolyRecord& den = fresh(2);
  add(den, 0, -4, {{2, 1}, {3, 1}});
  add(den, 0, -6, {{2, 1}});
  ctx->store.traceBits = kTraceAdmittance;
  std::string line = "common factors to cancel in all terms of both num and denom:\n-2  g1   \n";
  EXPECT_EQ(print(1, 0, 2),
            "Topological formula:  (V, 1-trees) / (Wijij, 2-trees)\n"
            "\n Numerator:\n" + line + "\n + s^0  (\n" + std::string(kNine) + "    1\n        )\n"
            "\n Denominator:\n" + line + "\n + s^0  (\n" + std::string(kNine) + "  2 g2   \n" +
                std::string(kNine) + "  3\n        )\n"
            "\n End:\n\n");
}

TEST_F(PrintingTest, CoefficientsAndTheirDivisorPast32Bits) {
  names({"x", "g1", "c1"});
  add(fresh(0), 0, 6442450944, {{2, 1}});  // 3 * 2^31
  PolyRecord& den = fresh(2);
  add(den, 0, -4294967296, {});            // -2 * 2^31
  add(den, 1, 10737418240, {{3, 1}});      // 5 * 2^31
  ctx->store.traceBits = kTraceAdmittance;
  const std::string line = "common factors to cancel in all terms of both num and denom:\n+2147483648 \n";
  EXPECT_EQ(print(1, 0, 2),
            "Topological formula:  (V, 1-trees) / (Wijij, 2-trees)\n"
            "\n Numerator:\n" + line + "\n + s^0  (\n" + std::string(kNine) + "  3 g1   \n        )\n"
            "\n Denominator:\n" + line + "\n + s^0  (\n" + std::string(kNine) + " -2\n        )"
            "\n + s^1  (\n" + std::string(kNine) + "  5 c1   \n        )\n"
            "\n End:\n\n");
}

TEST_F(PrintingTest, CoefficientsAtTheEdgeOfThe64BitRange) {
  names({"x", "g1"});
  // Negated by the parameter's sign, both are -(2^63 - 1): the sign and
  // the divisor come out whole.
  add(fresh(0), 0, kMaxCoefficient, {{2, 1}});
  add(fresh(2), 0, -kMaxCoefficient, {});
  ctx->store.traceBits = kTraceAdmittance;
  const std::string line = "common factors to cancel in all terms of both num and denom:\n-9223372036854775807 \n";
  EXPECT_EQ(print(-1, 0, 2),
            "Topological formula: -(V, 1-trees) / (Wijij, 2-trees)\n"
            "\n Numerator:\n" + line + "\n + s^0  (\n" + std::string(kNine) + "    g1   \n        )\n"
            "\n Denominator:\n" + line + "\n + s^0  (\n" + std::string(kNine) + "    1\n        )\n"
            "\n End:\n\n");
  // Without a common divisor the coefficient prints whole.
  ctx->store.traceBits = 0;
  releasePolyRecord(*ctx, ctx->polyRecords[2]);
  add(fresh(2), 0, 1, {});
  EXPECT_NE(print(1, 0, 2).find(std::string(kNine) + "9223372036854775807 g1   \n"), std::string::npos);
}

TEST_F(PrintingTest, MergeLeavingThe64BitRangeAbandonsTheFormulaOnBothPaths) {
  names({"x", "L1"});
  const std::string abandoned =
      "coefficient out of 64-bit range\n\n Numerator:\n\n Denominator:\n\n End:\n\n";
  for (bool plain : {true, false}) {
    ctx->plainPath = plain;
    // First pass: the s^1 term loses L1, moves to s^0 and merges there
    // with the term already treated.
    releasePolyRecord(*ctx, ctx->polyRecords[0]);
    PolyRecord& moved = fresh(0);
    add(moved, 0, kMaxCoefficient, {{2, 1}});
    add(moved, 1, 1, {{2, 1}});
    add(fresh(2), 0, 1, {});
    EXPECT_EQ(print(1, 0, 2, 1), abandoned) << plain;
    // Second pass: the s^0 term gains L1 and arrives at s^1 after the
    // term equal to it there.
    releasePolyRecord(*ctx, ctx->polyRecords[0]);
    PolyRecord& merged = fresh(0);
    add(merged, 0, -kMaxCoefficient, {});
    add(merged, 1, -1, {});
    add(merged, 1, 1, {{2, 1}});
    EXPECT_EQ(print(1, 0, 2, 1), abandoned) << plain;
    EXPECT_FALSE(ctx->polyRecords[6].live());
    EXPECT_FALSE(ctx->polyRecords[7].live());
  }
}

TEST_F(PrintingTest, NoAccumulationBitPrintsOnlyTheEndLine) {
  names({"x", "g1"});
  add(fresh(0), 0, 1, {});
  add(fresh(2), 0, 1, {});
  ctx->store.traceBits = kTraceNoAccumulation;
  EXPECT_EQ(print(1, 0, 2), "\n End:\n\n");
  EXPECT_FALSE(ctx->polyRecords[6].live());
  EXPECT_FALSE(ctx->polyRecords[7].live());
}

TEST_F(PrintingTest, CommonFactorsOverNonzeroTermsOnly) {
  names({"x", "g1", "g2"});
  PolyRecord& a = fresh(6);
  add(a, 1, 6, {{2, 2}, {3, 1}});
  add(a, 1, 0, {});  // cancelled: counts for nothing
  add(a, 2, -4, {{2, 1}, {3, 3}});
  PolyRecord& b = fresh(7);
  add(b, 3, 10, {{2, 1}, {3, 1}});
  resetCommonFactors(*ctx);
  collectCommonFactors(*ctx, a);
  collectCommonFactors(*ctx, b);
  EXPECT_EQ(ctx->factors.coefficientGcd, 2);
  EXPECT_EQ(ctx->factors.overallSign, 1);
  EXPECT_EQ(ctx->factors.minPower, 1);
  EXPECT_EQ(ctx->factors.minExponents[2], 1);
  EXPECT_EQ(ctx->factors.minExponents[3], 1);
  EXPECT_EQ(ctx->factors.minExponents[4], 0);

  PolyRecord& c = fresh(0);
  add(c, 4, -3, {});
  add(c, 5, -6, {});
  resetCommonFactors(*ctx);
  collectCommonFactors(*ctx, c);
  EXPECT_EQ(ctx->factors.coefficientGcd, 3);
  EXPECT_EQ(ctx->factors.overallSign, -1);
  EXPECT_EQ(ctx->factors.minPower, 4);

  PolyRecord& cancelled = fresh(1);
  add(cancelled, 0, 0, {{2, 1}});
  resetCommonFactors(*ctx);
  collectCommonFactors(*ctx, cancelled);
  EXPECT_EQ(ctx->factors.coefficientGcd, 0);
  EXPECT_EQ(ctx->factors.overallSign, -1);
  EXPECT_EQ(ctx->factors.minPower, 2147483647);
  EXPECT_EQ(ctx->factors.minExponents[2], 2147483647);
}

TEST_F(PrintingTest, InductorTermsChangeColumnAndMovedTermsGoToTheEnd) {
  names({"x", "g1", "L1", "c1"});
  for (bool plain : {true, false}) {
    ctx->plainPath = plain;
    PolyRecord& rec = fresh(6);
    int p = add(rec, 0, 1, {{2, 1}});                    // gains L1^2: to s^2
    int q = add(rec, 1, 1, {{3, 1}});                    // keeps L1^1: stays
    int u = add(rec, 3, 1, {{2, 1}, {3, 2}, {4, 1}});   // loses L1: to s^1
    int v = add(rec, 1, 0, {{3, 1}, {4, 5}});           // cancelled: L1^1 c1^5, to s^6
    ctx->maps.ohmExponents[3] = 2;
    ASSERT_EQ(convertToOhmUnits(*ctx, rec), 0);
    EXPECT_EQ(rec.powerCounts[0], 0);
    ASSERT_EQ(rec.powerCounts[1], 2);
    EXPECT_EQ(rec.at(0, 1), q);
    EXPECT_EQ(rec.at(1, 1), u);  // after q although it sorts before it
    ASSERT_EQ(rec.powerCounts[2], 1);
    EXPECT_EQ(rec.at(0, 2), p);
    EXPECT_EQ(rec.powerCounts[3], 0);
    ASSERT_EQ(rec.powerCounts[6], 1);
    EXPECT_EQ(rec.at(0, 6), v);
    EXPECT_EQ(rec.term(p).exponents[3], 2);
    EXPECT_EQ(rec.term(u).exponents[3], 0);
    EXPECT_EQ(rec.term(v).exponents[3], 1);
    EXPECT_EQ(rec.term(v).exponents[4], 5);
  }
}

TEST_F(PrintingTest, MovedTermMergesWithATreatedEqualTerm) {
  names({"x", "R1", "g1"});
  PolyRecord& rec = fresh(6);
  int kept = add(rec, 0, 1, {{3, 1}});
  add(rec, 2, 2, {{3, 1}});  // no reactive symbol: belongs to s^0
  ctx->maps.ohmExponents[2] = 1;
  ASSERT_EQ(convertToOhmUnits(*ctx, rec), 0);
  ASSERT_EQ(rec.powerCounts[0], 1);
  EXPECT_EQ(rec.powerCounts[2], 0);
  EXPECT_EQ(rec.at(0, 0), kept);
  EXPECT_EQ(rec.term(kept).coefficient, 3);
  EXPECT_EQ(rec.term(kept).exponents[2], 1);
}

// Cancelled terms take part in the first pass like any other: converted,
// moved, and found as merge targets. Each case on both paths.
TEST_F(PrintingTest, MovedTermMergesIntoAConvertedCancelledEntryAndTakesItsRow) {
  names({"x", "R1", "L1", "g1"});
  for (bool plain : {true, false}) {
    ctx->plainPath = plain;
    ctx->maps.ohmExponents[3] = 1;
    PolyRecord& rec = fresh(6);
    int zero = add(rec, 0, 0, {{3, 1}, {4, 1}});  // converted to g1, stays at s^0
    int kept = add(rec, 0, 2, {{3, 1}, {4, 2}});  // converted to g1^2, stays
    int moved = add(rec, 1, 3, {{3, 1}, {4, 1}}); // converted to g1: to s^0
    ASSERT_EQ(convertToOhmUnits(*ctx, rec), 0) << plain;
    ASSERT_EQ(rec.powerCounts[0], 2) << plain;
    EXPECT_EQ(rec.at(0, 0), zero) << plain;
    EXPECT_EQ(rec.at(1, 0), kept) << plain;
    EXPECT_EQ(rec.powerCounts[1], 0) << plain;
    EXPECT_EQ(rec.term(zero).coefficient, 3) << plain;
    EXPECT_EQ(rec.term(zero).exponents[3], 0) << plain;
    EXPECT_EQ(rec.term(moved).inverted, 1) << plain;
  }
}

TEST_F(PrintingTest, SecondPassComparesNegativeExponentsAsSigned) {
  names({"x", "R1", "g1", "g2", "c1"});
  // Column 1 after the first pass: R1^1 c1, the cancelled R1^-1 g2 c1,
  // g1 c1, and g1 c1 again arriving from s^0. The bisection for the last
  // row meets R1^-1 first, which is smaller, turns to row 0 and finds no
  // equal entry (were -1 read as a large byte, it would merge with row 2).
  for (bool plain : {true, false}) {
    ctx->plainPath = plain;
    ctx->maps.ohmExponents[2] = 1;
    PolyRecord& rec = fresh(6);
    int arriving = add(rec, 0, 3, {{2, 1}, {3, 1}, {5, 1}});
    int a = add(rec, 1, 1, {{5, 1}});
    int zero = add(rec, 1, 0, {{2, 2}, {4, 1}, {5, 1}});
    int b = add(rec, 1, 2, {{2, 1}, {3, 1}, {5, 1}});
    ASSERT_EQ(convertToOhmUnits(*ctx, rec), 0) << plain;
    ASSERT_EQ(rec.powerCounts[1], 4) << plain;
    EXPECT_EQ(rec.at(0, 1), a) << plain;
    EXPECT_EQ(rec.at(1, 1), zero) << plain;
    EXPECT_EQ(rec.at(2, 1), b) << plain;
    EXPECT_EQ(rec.at(3, 1), arriving) << plain;
    EXPECT_EQ(rec.term(zero).exponents[2], -1) << plain;
    EXPECT_EQ(rec.term(b).coefficient, 2) << plain;
  }
}

TEST_F(PrintingTest, CancelledTermWhosePowerLeavesTheColumnsStaysTreated) {
  names({"x", "L1", "g1", "c1", "c2", "c3"});
  for (bool plain : {true, false}) {
    ctx->plainPath = plain;
    ctx->maps.ohmExponents[2] = 1;
    PolyRecord& rec = fresh(6);
    int below = add(rec, 0, 0, {{2, 2}});                        // L1^-1: power -1
    int moved = add(rec, 0, 1, {{3, 1}});                        // L1 g1: to s^1
    int above = add(rec, 2, 0, {{2, 1}, {4, 44}, {5, 44}, {6, 44}});  // power 132
    ASSERT_EQ(convertToOhmUnits(*ctx, rec), 0) << plain;
    ASSERT_EQ(rec.powerCounts[0], 1) << plain;
    EXPECT_EQ(rec.at(0, 0), below) << plain;
    EXPECT_EQ(rec.term(below).inverted, 1) << plain;
    EXPECT_EQ(rec.term(below).exponents[2], -1) << plain;
    ASSERT_EQ(rec.powerCounts[1], 1) << plain;
    EXPECT_EQ(rec.at(0, 1), moved) << plain;
    ASSERT_EQ(rec.powerCounts[2], 1) << plain;
    EXPECT_EQ(rec.at(0, 2), above) << plain;
    EXPECT_EQ(rec.term(above).inverted, 1) << plain;
    EXPECT_EQ(rec.term(above).exponents[2], 0) << plain;
  }
}

TEST_F(PrintingTest, SecondPassMergesOnlyWhatItsBisectionFinds) {
  names({"x", "g1", "g2", "c1"});
  // Column 1 out of order, with an entry from column 0 arriving equal to
  // its first row: the bisection visits rows 1 and 2 only.
  PolyRecord& rec = fresh(6);
  int x = add(rec, 0, 1, {{4, 1}});
  int y = add(rec, 1, 1, {{4, 1}});
  add(rec, 1, 1, {{2, 1}, {4, 1}});
  add(rec, 1, 1, {{3, 1}, {4, 1}});
  ASSERT_EQ(convertToOhmUnits(*ctx, rec), 0);
  ASSERT_EQ(rec.powerCounts[1], 4);
  EXPECT_EQ(rec.at(0, 1), y);
  EXPECT_EQ(rec.at(3, 1), x);
  EXPECT_EQ(rec.term(y).coefficient, 1);

  // In descending order the same arrival is found and merged.
  PolyRecord& sorted = fresh(7);
  int x2 = add(sorted, 0, 1, {{4, 1}});
  add(sorted, 1, 1, {{2, 1}, {4, 1}});
  add(sorted, 1, 1, {{3, 1}, {4, 1}});
  int y2 = add(sorted, 1, 1, {{4, 1}});
  ASSERT_EQ(convertToOhmUnits(*ctx, sorted), 0);
  ASSERT_EQ(sorted.powerCounts[1], 3);
  EXPECT_EQ(sorted.at(2, 1), y2);
  EXPECT_EQ(sorted.term(y2).coefficient, 2);
  (void)x2;
}

TEST_F(PrintingTest, OhmExponentsOnlyRiseAndTheSurplusIsDividedOut) {
  names({"x", "R1", "g1"});
  add(fresh(0), 0, 1, {{2, 2}});
  add(fresh(2), 0, 1, {{3, 1}});
  std::string first = print(1, 0, 2);
  EXPECT_EQ(ctx->maps.ohmExponents[2], 2);
  // 1/R1^2 over g1 is 1 over R1^2 g1.
  EXPECT_NE(first.find("\n Numerator:\n\n + s^0  (\n" + std::string(kNine) + "    1\n"), std::string::npos) << first;
  EXPECT_NE(first.find("\n Denominator:\n\n + s^0  (\n" + std::string(kNine) + "    R1^2  g1   \n"),
            std::string::npos)
      << first;

  // A later formula in R1^1 keeps the multiplier R1^2: its R1 term stays
  // R1^1, the g1 term gains R1^2, and the surplus R1 in every term does not
  // show.
  releasePolyRecord(*ctx, ctx->polyRecords[0]);
  add(fresh(0), 0, 1, {{2, 1}});
  ctx->store.traceBits = kTraceAdmittance;
  std::string second = print(1, 0, 2);
  EXPECT_EQ(ctx->maps.ohmExponents[2], 2);
  EXPECT_NE(second.find("+1  R1   \n"), std::string::npos) << second;
  EXPECT_NE(second.find("\n Numerator:\ncommon factors to cancel in all terms of both num and denom:\n+1  R1   \n"
                        "\n + s^0  (\n" + std::string(kNine) + "    1\n"),
            std::string::npos)
      << second;
  EXPECT_NE(second.find(std::string(kNine) + "    R1    g1   \n"), std::string::npos) << second;
}

TEST_F(PrintingTest, FiftyParallelInductorsPrintPastColumnFortyTwo) {
  NetworkStore& s = ctx->store;
  std::snprintf(s.branchNames[1], kNameChars, "x");
  for (int k = 1; k <= 50; ++k) std::snprintf(s.branchNames[k + 1], kNameChars, "L%d", k);
  s.nameCount = 51;
  s.analysisPassiveCount = 51;
  buildBranchMaps(ctx->out, ctx->store, ctx->maps);
  // Admittance form: the numerator is the sum of all 1/(sLk) over the
  // products, here reduced to the constant term; the denominator holds
  // the product of all fifty at s^50.
  add(fresh(0), 0, 1, {});
  PolyRecord& den = fresh(2);
  Term& all = den.term(den.termCount);
  all = Term{};
  for (int k = 2; k <= 51; ++k) all.exponents[k] = 1;
  all.coefficient = 1;
  den.at(den.powerCounts[50]++, 50) = den.termCount++;
  // Forces the ohm-unit multiplier L1..L50 from the start.
  ctx->maps.ohmExponents[2] = 1;
  for (int k = 3; k <= 51; ++k) ctx->maps.ohmExponents[k] = 1;

  std::string text = print(1, 0, 2);
  std::string symbols;
  for (int k = 1; k <= 50; ++k) symbols += " L" + std::to_string(k) + "   ";
  EXPECT_EQ(text,
            "\n Numerator:\n\n + s^50 (\n" + std::string(kNine) + "   " + symbols + "\n        )\n"
            "\n Denominator:\n\n + s^0  (\n" + std::string(kNine) + "    1\n        )\n"
            "\n End:\n\n");
}

TEST_F(PrintingTest, ConversionGrowsAFullColumn) {
  ctx->plainPath = true;  // the plain path clears the added rows
  names({"x", "g1", "g2", "L1", "c1"});
  PolyRecord& num = fresh(0);
  // With the multiplier L1^2, the 100 terms in L1^1 stay at s^1 (g1 and g2
  // tell them apart) and the two in L1^2 c1 arrive there from s^3.
  for (int k = 0; k < 100; ++k) add(num, 1, 1, {{2, k / 10}, {3, k % 10}, {4, 1}});
  add(num, 3, 1, {{2, 20}, {4, 2}, {5, 1}});
  add(num, 3, 1, {{2, 21}, {4, 2}, {5, 1}});
  ctx->maps.ohmExponents[4] = 2;
  ctx->store.traceBits = kTraceResources;
  ASSERT_EQ(copyPolyRecord(*ctx, 1, ctx->polyRecords[6], ctx->polyRecords[0]), CopyStatus::kDone);
  output.clear();
  ASSERT_EQ(convertToOhmUnits(*ctx, ctx->polyRecords[6]), 0);
  const PolyRecord& copy = ctx->polyRecords[6];
  EXPECT_EQ(output.text().rfind("resizing poly orig size =102, orig ptr =0x", 0), 0u) << output.text();
  EXPECT_NE(output.text().find("\nnum of elements =204, pointer =0x"), std::string::npos) << output.text();
  EXPECT_EQ(copy.polyRows, 204);
  EXPECT_EQ(copy.powerCounts[1], 102);
  EXPECT_EQ(copy.powerCounts[3], 0);
  EXPECT_EQ(copy.at(100, 1), 100);
  EXPECT_EQ(copy.at(101, 1), 101);
  for (int r = 102; r < copy.polyRows; ++r)
    for (int p = 0; p < kPowerColumns; ++p) ASSERT_EQ(copy.at(r, p), 0) << r << "," << p;
}

TEST(PrintingMemory, FailedGrowthPrintsTheFourLinesAndReleasesBothCopies) {
  StringSource source("");
  StringOutput output;
  FailingAllocator alloc;
  auto ctx = std::make_unique<AnalysisContext>(source, output, alloc);
  std::snprintf(ctx->store.branchNames[1], kNameChars, "x");
  std::snprintf(ctx->store.branchNames[2], kNameChars, "g1");
  ctx->store.nameCount = 2;
  buildBranchMaps(ctx->out, ctx->store, ctx->maps);
  PolyRecord& num = ctx->polyRecords[0];
  ASSERT_EQ(createPolyRecord(*ctx, num), 0);
  // 102 terms without reactive symbols filed at s^1 and s^2 must all move
  // to s^0, which needs more rows for the last of them.
  for (int k = 0; k < 102; ++k) {
    int power = k < 60 ? 1 : 2;
    num.term(k) = Term{};
    num.term(k).exponents[2] = static_cast<Exponent>(101 - k);
    num.term(k).coefficient = 1;
    num.at(num.powerCounts[power]++, power) = k;
  }
  num.termCount = 102;
  ASSERT_EQ(createPolyRecord(*ctx, ctx->polyRecords[2]), 0);
  // Two creations, two copies: the ninth request is the first resize.
  alloc.failAt = 9;
  alloc.failAfter = true;
  EXPECT_EQ(printFormula(*ctx, 1, 0, 2), 1);
  EXPECT_EQ(output.text(),
            "insufficient memory to complete processing\n\n Numerator:\n\n Denominator:\n\n End:\n\n");
  EXPECT_FALSE(ctx->polyRecords[6].live());
  EXPECT_FALSE(ctx->polyRecords[7].live());
  EXPECT_TRUE(ctx->polyRecords[0].live());
  EXPECT_EQ(alloc.liveBlocks(), 4);
}

TEST(PrintingMemory, HandOverRequestsTheCopyBlocksAndLeavesTheSourceEmpty) {
  StringSource source("");
  StringOutput output;
  FailingAllocator alloc;
  auto ctx = std::make_unique<AnalysisContext>(source, output, alloc);
  PolyRecord& fn = ctx->polyRecords[3];
  ASSERT_EQ(createPolyRecord(*ctx, fn), 0);
  for (int k = 0; k < 3; ++k) {
    fn.term(k) = Term{};
    fn.term(k).exponents[1] = static_cast<Exponent>(k);
    fn.term(k).coefficient = k - 1;
    fn.at(fn.powerCounts[0]++, 0) = k;
  }
  fn.termCount = 3;
  const Term* block = fn.termlist;

  // Refused: the same message as a copy, and the function is kept.
  alloc.failAt = alloc.requests() + 1;
  EXPECT_EQ(takePolyRecord(*ctx, -1, ctx->polyRecords[6], ctx->polyRecords[3], true), CopyStatus::kNoTermlist);
  EXPECT_EQ(fn.termlist, block);
  EXPECT_FALSE(ctx->polyRecords[6].live());
  output.clear();
  alloc.failAt = alloc.requests() + 2;
  EXPECT_EQ(takePolyRecord(*ctx, -1, ctx->polyRecords[6], ctx->polyRecords[3], true), CopyStatus::kNoPoly);
  EXPECT_EQ(alloc.liveBlocks(), 2);

  // Granted: the blocks move, the coefficients are negated, the two
  // requested blocks went back.
  alloc.failAt = 0;
  const std::uint64_t before = alloc.requests();
  EXPECT_EQ(takePolyRecord(*ctx, -1, ctx->polyRecords[6], ctx->polyRecords[3], true), CopyStatus::kDone);
  EXPECT_EQ(alloc.requests(), before + 2);
  EXPECT_EQ(alloc.liveBlocks(), 2);
  EXPECT_FALSE(fn.live());
  const PolyRecord& taken = ctx->polyRecords[6];
  ASSERT_EQ(taken.termlist, block);
  EXPECT_EQ(taken.termCount, 3);
  EXPECT_EQ(taken.powerCounts[0], 3);
  EXPECT_EQ(taken.term(0).coefficient, 1);
  EXPECT_EQ(taken.term(1).coefficient, 0);
  EXPECT_EQ(taken.term(2).coefficient, -1);
  releasePolyRecord(*ctx, ctx->polyRecords[6]);
  EXPECT_EQ(alloc.liveBlocks(), 0);
}

}  // namespace
}  // namespace velkor
