// Numerical cross-check of printed formulas against an independent nodal
// analysis, and tests of the exact arithmetic, output reader and analysis
// that the cross-check relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "crosscheck/crosscheck.h"
#include "driver/program_driver.h"
#include "support/run_helpers.h"

namespace velkor::crosscheck {

void PrintTo(const Rational& value, std::ostream* out) { *out << value.toString(); }
void PrintTo(const BigInt& value, std::ostream* out) { *out << value.toString(); }

namespace {

std::string golden(const std::string& name) {
  return velkor::testing::readFile(std::string(VELKOR_GOLDEN_DIR) + "/" + name);
}

std::string joinFailures(const CheckSummary& summary, std::size_t limit = 5) {
  std::string text;
  for (std::size_t k = 0; k < summary.failures.size() && k < limit; ++k) text += summary.failures[k] + "\n";
  if (summary.failures.size() > limit)
    text += "... and " + std::to_string(summary.failures.size() - limit) + " more\n";
  return text;
}

// ------------------------------------------------------- exact arithmetic

TEST(ExactArithmetic, BigIntMatchesBuiltInArithmetic) {
  Random random(7);
  std::uniform_int_distribution<std::int64_t> wide(-(std::int64_t{1} << 62), std::int64_t{1} << 62);
  for (int k = 0; k < 2000; ++k) {
    std::int64_t a = wide(random) >> (k % 60);
    std::int64_t b = wide(random) >> ((k * 7) % 61);
    if (b == 0) b = 3;
    __int128 product = static_cast<__int128>(a) * b;
    BigInt big = BigInt(a) * BigInt(b);
    // Compare the 128-bit product through its quotient and remainder by 2^62.
    BigInt twoTo62(std::int64_t{1} << 62);
    EXPECT_EQ(big / twoTo62, BigInt(static_cast<std::int64_t>(product / (std::int64_t{1} << 62))));
    EXPECT_EQ(big % twoTo62, BigInt(static_cast<std::int64_t>(product % (std::int64_t{1} << 62))));
    EXPECT_EQ(BigInt(a) + BigInt(b), BigInt(a + b));
    EXPECT_EQ(BigInt(a) - BigInt(b), BigInt(a - b));
    EXPECT_EQ(BigInt(a) / BigInt(b), BigInt(a / b));
    EXPECT_EQ(BigInt(a) % BigInt(b), BigInt(a % b));
    EXPECT_EQ(big / BigInt(b), BigInt(a)) << a << " " << b;
  }
}

TEST(ExactArithmetic, LongDivisionAndDecimalText) {
  // 40! / 38! = 1560, and (10^40 + 7) divided by (10^20 + 1).
  BigInt f40(1);
  BigInt f38(1);
  for (int k = 2; k <= 40; ++k) {
    f40 *= BigInt(k);
    if (k <= 38) f38 *= BigInt(k);
  }
  EXPECT_EQ(f40.toString(), "815915283247897734345611269596115894272000000000");
  EXPECT_EQ(f40 / f38, BigInt(1560));
  EXPECT_TRUE((f40 % f38).isZero());
  BigInt big = BigInt::parse("10000000000000000000000000000000000000007");
  BigInt divisor = BigInt::parse("100000000000000000001");
  BigInt quotient;
  BigInt remainder;
  BigInt::divMod(big, divisor, quotient, remainder);
  EXPECT_EQ(quotient.toString(), "99999999999999999999");
  EXPECT_EQ(remainder.toString(), "8");
  EXPECT_EQ((quotient * divisor + remainder), big);
  EXPECT_EQ(BigInt::parse("-000123").toString(), "-123");
  // Divisors whose top limb needs no normalization shift, and a case that
  // needs the add-back correction of the quotient digit.
  BigInt top = BigInt::parse("340282366920938463463374607431768211455");  // 2^128 - 1
  BigInt high = BigInt::parse("18446744073709551615");                    // 2^64 - 1
  EXPECT_EQ((top / high).toString(), "18446744073709551617");
  EXPECT_TRUE((top % high).isZero());
  BigInt u = BigInt::parse("170141183460469231731687303715884105728");  // 2^127
  BigInt v = BigInt::parse("85070591730234615875067023894796828673");   // 2^126 + 2^64 + 1
  EXPECT_EQ(u / v * v + u % v, u);
  EXPECT_EQ((u / v).toString(), "1");
}

TEST(ExactArithmetic, RationalsStayReduced) {
  Rational a(BigInt(6), BigInt(-4));
  EXPECT_EQ(a.toString(), "-3/2");
  EXPECT_EQ((a + Rational(BigInt(3), BigInt(2))).toString(), "0");
  EXPECT_EQ((a * a).toString(), "9/4");
  EXPECT_EQ((Rational(1) / a).toString(), "-2/3");
  EXPECT_EQ(a.power(-3).toString(), "-8/27");
  EXPECT_EQ(a.power(0), Rational(1));
  EXPECT_EQ(BigInt::gcd(BigInt(-84), BigInt(36)), BigInt(12));
}

// ---------------------------------------------------------- output reader

TEST(PrintedFormulaReader, ReadsEveryLayoutOfThePrinter) {
  const std::string output =
      "banner\n\ninput data:\nr1 1 2\nend\n\n"
      " Function:\n g( 2, 0; 1, 0) = v( 2, 0)/v( 1, 0) for i( 2, 0)=0\n"
      "\n Numerator:\n\n + s^0  (\n             1\n          -1 r1   \n        )\n"
      " + s^12 (\n          12 c1^2  r1   \n        )\n"
      "\n Denominator:\n        0\n\n End:\n\n"
      " Function:\n s( 1, 0; 1, 0) for Y0 normalization\n"
      "\n Numerator:\n\n + s^1  (\n         -1234 Y0^13\n        )\n"
      "\n Denominator:\n\n + s^0  (\n             a_very_long_   \n        )\n\n End:\n\n";
  auto netlists = parseRunOutput(output);
  ASSERT_EQ(netlists.size(), 1u);
  ASSERT_EQ(netlists[0].formulas.size(), 2u);
  const PrintedFormula& g21 = netlists[0].formulas[0];
  EXPECT_EQ(g21.letter, 'g');
  EXPECT_EQ(g21.numerator.toString(), " 1 -1*r1 + 12*s^12*c1^2*r1");
  EXPECT_TRUE(g21.denominator.terms.empty());
  Values values{{"r1", Rational(3)}, {"c1", Rational(BigInt(1), BigInt(2))}};
  EXPECT_EQ(g21.numerator.evaluate(values, Rational(1)), Rational(1 - 3 + 12 * 3 / 4));
  EXPECT_EQ(g21.numerator.evaluate(values, Rational(-1)), Rational(1 - 3 + 12 * 3 / 4));
  const PrintedFormula& s11 = netlists[0].formulas[1];
  EXPECT_EQ(s11.letter, 's');
  EXPECT_EQ(s11.numerator.toString(), " -1234*s^1*Y0^13");
  EXPECT_EQ(s11.denominator.terms[0].symbols[0].first, "a_very_long_");
  EXPECT_THROW(s11.numerator.evaluate(values, Rational(1)), std::out_of_range);
}

TEST(PrintedFormulaReader, RejectsLinesOffTheLayout) {
  auto wrap = [](const std::string& numerator) {
    return "\ninput data:\n Function:\n y( 1, 0; 1, 0) = x\n\n Numerator:\n" + numerator +
           "\n Denominator:\n        0\n\n End:\n";
  };
  EXPECT_NO_THROW(parseRunOutput(wrap("\n + s^0  (\n             r1   \n        )\n")));
  // A symbol field too short, a coefficient 1 printed as a number, an empty
  // group, an unclosed group and a stray line.
  EXPECT_THROW(parseRunOutput(wrap("\n + s^0  (\n             r1\n        )\n")), std::runtime_error);
  EXPECT_THROW(parseRunOutput(wrap("\n + s^0  (\n           1 r1   \n        )\n")), std::runtime_error);
  EXPECT_THROW(parseRunOutput(wrap("\n + s^0  (\n        )\n")), std::runtime_error);
  EXPECT_THROW(parseRunOutput(wrap("\n + s^0  (\n             r1   \n")), std::runtime_error);
  EXPECT_THROW(parseRunOutput(wrap("insufficient memory\n")), std::runtime_error);
}

TEST(PrintedFormulaReader, ReadsTheReferenceSection) {
  auto netlists = parseRunOutput(golden("all32_rc.out"));
  ASSERT_EQ(netlists.size(), 2u);  // the second heading meets the end of input
  ASSERT_EQ(netlists[0].formulas.size(), 32u);
  const auto& g11 = netlists[0].formulas[0];
  EXPECT_EQ(g11.heading, " g( 1, 0; 1, 0) = i( 1, 0)/v( 1, 0) for i( 2, 0)=0");
  EXPECT_EQ(g11.numerator.toString(), " 1*s^1*c1");
  EXPECT_EQ(g11.denominator.toString(), " 1 + 1*s^1*r1*c1");
  for (std::size_t row = 0; row < 32; ++row) EXPECT_EQ(netlists[0].formulas[row].letter, twoPortRows()[row].letter);
}

// ---------------------------------------------------------- nodal analysis

// The scattering wiring example: 1 ohm from +port 1 to the common terminal,
// 1 ohm between the + terminals, 2 ohm from +port 2 to common, reference 1 ohm.
TEST(NodalAnalysis, ScatteringOfTheResistiveWiringExample) {
  auto netlists = readNetlists("ra 1 0 rb 1 2 rc 2 0 f 1 0 2 0 n 2 end");
  ASSERT_EQ(netlists.size(), 1u);
  Values values{{"ra", Rational(1)}, {"rb", Rational(1)}, {"rc", Rational(2)}};
  PortRelation relation = analysePorts(netlists[0], values, Rational(1));
  Rational z0 = referenceImpedance(netlists[0], values);
  const char* expected[32] = {};
  expected[24] = "-3/13";
  expected[25] = "4/13";
  expected[26] = "4/13";
  expected[27] = "-1/13";
  expected[28] = "1/4";
  expected[29] = "-3/4";
  expected[30] = "1/4";
  expected[31] = "13/4";
  // Plain parameters of the same network, worked out by hand.
  expected[8] = "2";      // y11 = 1/ra + 1/rb
  expected[9] = "-1";     // y12
  expected[11] = "3/2";   // y22
  expected[12] = "3/4";   // z11 = ra || (rb + rc)
  expected[14] = "1/2";   // z21 = z11 * rc / (rb + rc)
  expected[16] = "3/2";   // A = v1/v2 open = (rb + rc)/rc
  expected[2] = "2/3";    // g21 = 1/A
  for (std::size_t row = 0; row < 32; ++row) {
    if (expected[row] == nullptr) continue;
    auto value = twoPortParameter(relation, twoPortRows()[row], z0).value;
    ASSERT_TRUE(value.has_value()) << twoPortRows()[row].name;
    EXPECT_EQ(value->toString(), expected[row]) << twoPortRows()[row].name;
  }
}

TEST(NodalAnalysis, ElementConventionsByHand) {
  // gm from +out through the source to -out: with rl from 2 to 0 and
  // gm 2 0 1 0, port 2 open, v2 = -gm * rl * v1.
  auto gm = readNetlists("gm1 2 0 1 0 rl 2 0 ri 1 0 f 1 0 2 0 p g21 end")[0];
  Values values{{"gm1", Rational(3)}, {"rl", Rational(5)}, {"ri", Rational(7)}};
  auto relation = analysePorts(gm, values, Rational(2));
  EXPECT_EQ(twoPortParameter(relation, twoPortRows()[2], Rational(1)).value->toString(), "-15");
  // b: the current b*ic flows from +out to -out inside the source; ic enters
  // at +in. With b 2 0 1 0 and port 2 shorted, port 2 feeds that current
  // into node 2: h21 = i2/i1 = b.
  auto b = readNetlists("b1 2 0 1 0 rl 2 0 f 1 0 2 0 end")[0];
  values = {{"b1", Rational(4)}, {"rl", Rational(5)}};
  relation = analysePorts(b, values, Rational(2));
  EXPECT_EQ(twoPortParameter(relation, twoPortRows()[6], Rational(1)).value->toString(), "4");
  // rm: v(+out,-out) = rm * ic, so z21 = rm.
  auto rm = readNetlists("rm1 2 0 1 0 rl 2 0 f 1 0 2 0 end")[0];
  values = {{"rm1", Rational(6)}, {"rl", Rational(5)}};
  relation = analysePorts(rm, values, Rational(2));
  EXPECT_EQ(twoPortParameter(relation, twoPortRows()[14], Rational(1)).value->toString(), "6");
  // m: v(+in,-in) = s M i(+out) and v(+out,-out) = s M i(+in); with l1, l2
  // in series the open-circuit impedances are those of coupled inductors.
  auto m = readNetlists("m1 3 0 1 0 l1 1 4 l2 3 5 f 4 0 5 0 end")[0];
  values = {{"m1", Rational(2)}, {"l1", Rational(3)}, {"l2", Rational(7)}};
  relation = analysePorts(m, values, Rational(5));
  EXPECT_EQ(twoPortParameter(relation, twoPortRows()[12], Rational(1)).value->toString(), "15");  // s*l1
  EXPECT_EQ(twoPortParameter(relation, twoPortRows()[13], Rational(1)).value->toString(), "10");  // s*m1
  EXPECT_EQ(twoPortParameter(relation, twoPortRows()[14], Rational(1)).value->toString(), "10");
  EXPECT_EQ(twoPortParameter(relation, twoPortRows()[15], Rational(1)).value->toString(), "35");  // s*l2
  // Two ports on the same terminals: z is defined, y is not, h11 is 0.
  auto same = readNetlists("r1 1 2 f 1 2 1 2 end")[0];
  values = {{"r1", Rational(3)}};
  relation = analysePorts(same, values, Rational(1));
  EXPECT_EQ(twoPortParameter(relation, twoPortRows()[13], Rational(1)).value->toString(), "3");
  EXPECT_FALSE(twoPortParameter(relation, twoPortRows()[8], Rational(1)).value.has_value());
  EXPECT_TRUE(twoPortParameter(relation, twoPortRows()[4], Rational(1)).regular);
  EXPECT_EQ(twoPortParameter(relation, twoPortRows()[4], Rational(1)).value->toString(), "0");
  // Two nullators across the same nodes: the equations are singular (the
  // topological functions all vanish), yet port 1 is held at v = 0.
  auto nullators = readNetlists("o1 0 9 0 9 o2 7 0 0 9 r5 7 9 f 9 0 7 0 end")[0];
  values = {{"r5", Rational(2)}};
  relation = analysePorts(nullators, values, Rational(1));
  ParameterValue h11 = twoPortParameter(relation, twoPortRows()[4], Rational(1));
  EXPECT_FALSE(h11.regular);
  EXPECT_EQ(h11.value->toString(), "0");
}

// The reference outputs come from an independent implementation; the
// conventions of the nodal analysis and of symbol values must reproduce them.
TEST(NodalAnalysis, ReproducesTheReferenceOutputs) {
  for (const char* name : {"help_samples", "all32_rc", "sparam_wiring_unity", "single_resistor_t64",
                           "trace_opamp_t2_all", "trace_five_trees", "trace_gmvcis_t8"}) {
    auto netlists = readNetlists(golden(std::string(name) + ".net"));
    CheckSummary summary = checkRun(netlists, golden(std::string(name) + ".out"), 3, 11);
    EXPECT_GT(summary.formulas, 0) << name;
    std::printf("%s: %d formulas, %d comparisons, %d undefined on both sides\n", name, summary.formulas,
                summary.comparisons, summary.undefinedSkips);
    EXPECT_TRUE(summary.failures.empty()) << name << ":\n" << joinFailures(summary);
  }
}

// ------------------------------------------------ the program, cross-checked

// Both enumeration paths of the program must print the same, right values.
TEST(CrossCheck, HelpSamplesMatchTheNodalAnalysis) {
  std::string input = golden("help_samples.net");
  auto netlists = readNetlists(input);
  ASSERT_EQ(netlists.size(), 26u);
  for (bool plainPath : {false, true}) {
    RunOptions options;
    options.plainPath = plainPath;
    CheckSummary summary = checkRun(netlists, runOnString(input, options), 4, 2024);
    EXPECT_EQ(summary.formulas, 135) << "plain path " << plainPath;
    EXPECT_TRUE(summary.failures.empty()) << "plain path " << plainPath << "\n" << joinFailures(summary);
  }
}

// The resistive wiring example at unity normalization: the printed s and F
// formulas take the values of the 1 ohm reference.
TEST(CrossCheck, ScatteringWiringExampleOnThePrintedFormulas) {
  auto printed = parseRunOutput(runOnString("ra 1 0 rb 1 2 rc 2 0 f 1 0 2 0 n 2 end"));
  ASSERT_GE(printed.size(), 1u);
  ASSERT_EQ(printed[0].formulas.size(), 32u);
  Values values{{"ra", Rational(1)}, {"rb", Rational(1)}, {"rc", Rational(2)}};
  const char* expected[8] = {"-3/13", "4/13", "4/13", "-1/13", "1/4", "-3/4", "1/4", "13/4"};
  for (std::size_t k = 0; k < 8; ++k) {
    const PrintedFormula& formula = printed[0].formulas[24 + k];
    EXPECT_NE(formula.heading.find("for unity normalization"), std::string::npos) << formula.heading;
    Rational value = formula.numerator.evaluate(values, Rational(1)) / formula.denominator.evaluate(values, Rational(1));
    EXPECT_EQ(value.toString(), expected[k]) << formula.heading;
  }
}

// Fifty inductors in parallel: after the ohm-unit conversion the terms lie
// in power columns near 50, far above 42, before the common power of s is
// taken out; they must be neither dropped nor misplaced.
TEST(CrossCheck, ManyInductorsUsePowerColumnsAboveFortyTwo) {
  std::string input;
  for (int k = 1; k <= 50; ++k) input += "l" + std::to_string(k) + " 1 0\n";
  input += "c1 1 2\nf 1 0 2 0\np z11 p y21 p h22 p s11 p f21\nend\n";
  CheckSummary summary = checkRun(readNetlists(input), runOnString(input), 2, 50);
  EXPECT_EQ(summary.formulas, 5);
  EXPECT_EQ(summary.undefinedSkips, 0);
  EXPECT_TRUE(summary.failures.empty()) << joinFailures(summary, 2);
}


// Runs the netlists, several per run so that every run also shows that
// nothing of one netlist leaks into the next, and checks every formula at
// four points.
void checkCorpus(const std::vector<Netlist>& netlists, std::uint64_t seed) {
  constexpr std::size_t kPerRun = 7;
  int formulas = 0;
  int comparisons = 0;
  int undefined = 0;
  for (std::size_t first = 0; first < netlists.size(); first += kPerRun) {
    std::size_t last = std::min(first + kPerRun, netlists.size());
    std::vector<Netlist> batch(netlists.begin() + static_cast<std::ptrdiff_t>(first),
                               netlists.begin() + static_cast<std::ptrdiff_t>(last));
    std::string input;
    for (const Netlist& netlist : batch) input += netlist.text;
    CheckSummary summary = checkRun(batch, runOnString(input), 4, seed + first);
    formulas += summary.formulas;
    comparisons += summary.comparisons;
    undefined += summary.undefinedSkips;
    EXPECT_TRUE(summary.failures.empty()) << "run of netlists " << first << " to " << last - 1 << ":\n"
                                          << joinFailures(summary, 3);
  }
  std::printf("%zu netlists, %d formulas, %d comparisons, %d undefined on both sides\n", netlists.size(),
              formulas, comparisons, undefined);
  // Most parameters of these networks exist: the check must not be vacuous.
  EXPECT_GT(comparisons - undefined, comparisons / 2);
}

// Seeded random netlists: every two-port kind with every normalization, all
// 32 parameters. (Each printed formula costs the program a copy of two full
// term stores, so the corpus is sized for the sanitizer build.)
TEST(CrossCheck, RandomNetlistsAllParameters) {
  Random random(20240611);
  std::vector<Netlist> netlists;
  for (ElementKind kind : kTwoPortKinds)
    for (int normalization : {0, 1, 2}) netlists.push_back(randomNetlist(random, kind, normalization, true));
  checkCorpus(netlists, 77);
}

// More netlists of every kind with a random selection of parameters, among
// them larger ones with up to three two-port elements.
TEST(CrossCheck, RandomNetlistsSelectedParameters) {
  Random random(911);
  std::vector<Netlist> netlists;
  NetlistShape larger{9, 4, 3};
  int largerNormalization = 0;
  for (ElementKind kind : kTwoPortKinds) {
    for (int normalization : {0, 1, 5}) netlists.push_back(randomNetlist(random, kind, normalization, false));
    netlists.push_back(randomNetlist(random, kind, largerNormalization++ % 3, false, larger));
  }
  checkCorpus(netlists, 5);
}

}  // namespace
}  // namespace velkor::crosscheck
