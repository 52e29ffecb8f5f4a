// The numeric form of printed formulas (element values in, coefficients
// summed once, Horner at j omega) against the floating-point nodal analysis
// of the same networks, and the poles of textbook circuits against their
// closed forms.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>
#include <sstream>

#include "analysis/analysis_context.h"
#include "analysis/numeric_summary.h"
#include "input/netlist_reader.h"
#include "model/element_symbols.h"
#include "model/parameter_table.h"
#include "numeric/nodal_circuit.h"
#include "render/numeric_sink.h"
#include "render/numeric_text.h"
#include "support/char_source.h"
#include "crosscheck/crosscheck.h"
#include "driver/program_driver.h"
#include "support/run_helpers.h"

namespace velkor::crosscheck {
namespace {

// A printed formula as the finished-formula view the numeric code reads.
struct ViewedFormula {
  std::vector<std::string> symbols;
  OwnedPolynomial numerator, denominator;

  explicit ViewedFormula(const PrintedFormula& printed) {
    convert(printed.numerator, numerator);
    convert(printed.denominator, denominator);
  }
  void convert(const PrintedPolynomial& from, OwnedPolynomial& to) {
    for (const PrintedTerm& term : from.terms) {
      OwnedPolynomial::Term t{term.power, std::stoll(term.coefficient.toString()), {}};
      for (const auto& [name, exponent] : term.symbols) {
        auto at = std::find(symbols.begin(), symbols.end(), name);
        if (at == symbols.end()) at = symbols.insert(symbols.end(), name);
        t.factors.push_back({static_cast<int>(at - symbols.begin()), exponent});
      }
      to.terms.push_back(std::move(t));
    }
  }
  NumericSummary summary(const ElementValues& values) const {
    return numericSummary("p", numerator, denominator, symbols, values);
  }
};

struct Tally {
  int comparisons = 0, nearZero = 0, skipped = 0;
  long double worst = 0;
};

// Every printed formula of the run at 50 frequencies from 10 Hz to 10 MHz.
void compareRun(const std::vector<Netlist>& netlists, Random& random, Tally& tally) {
  std::string input;
  for (const Netlist& netlist : netlists) input += netlist.text;
  std::vector<PrintedNetlist> printed = parseRunOutput(runOnString(input));
  ASSERT_GE(printed.size(), netlists.size());
  for (std::size_t n = 0; n < netlists.size(); ++n) {
    const Netlist& netlist = netlists[n];
    NumericValues numbers = randomElementValues(netlist, random);
    ElementValues values;
    for (const auto& [name, value] : numbers) values.set(name, value, "test");
    std::vector<std::size_t> rows;
    for (std::size_t r = 0; r < 32; ++r)
      if (netlist.requested[r]) rows.push_back(r);
    ASSERT_EQ(printed[n].formulas.size(), rows.size()) << netlist.text;
    for (std::size_t f = 0; f < rows.size(); ++f) {
      NumericSummary summary = ViewedFormula(printed[n].formulas[f]).summary(values);
      ASSERT_TRUE(summary.complete()) << netlist.text;
      for (int k = 0; k < 50; ++k) {
        long double omega = 2 * std::numbers::pi_v<long double> * std::pow(10.0L, 1 + 6.0L * k / 49);
        std::optional<NumericParameter> expected = numericParameter(netlist, numbers, {0, omega}, twoPortRows()[rows[f]]);
        Complex actual = summary.formula.atFrequency(omega);
        if (!expected || !std::isfinite(std::abs(actual))) {
          ++tally.skipped;
          continue;
        }
        // Relative difference, except where the value is tiny next to the
        // nodal solution's unknowns (a true 0 above all): there the
        // difference must be within 1e-12 of those.
        long double difference = std::abs(actual - expected->value);
        ++tally.comparisons;
        if (std::abs(expected->value) < 1e-6L * expected->scale) {
          ++tally.nearZero;
          EXPECT_LE(difference, 1e-12L * expected->scale) << netlist.text << twoPortRows()[rows[f]].name;
          continue;
        }
        long double error = difference / std::abs(expected->value);
        tally.worst = std::max(tally.worst, error);
        EXPECT_LE(error, 1e-8L) << netlist.text << twoPortRows()[rows[f]].name << " at " << omega
                                << " rad/s: " << actual << " vs " << expected->value;
      }
    }
  }
}

TEST(NumericCrossCheck, HelpSamplesAndRandomNetlistsAtFiftyFrequencies) {
  Random random(1515);
  Tally tally;
  std::vector<Netlist> samples =
      readNetlists(velkor::testing::readFile(std::string(VELKOR_GOLDEN_DIR) + "/help_samples.net"));
  compareRun(samples, random, tally);
  for (ElementKind kind : kTwoPortKinds) {
    std::vector<Netlist> netlists;
    for (int normalization : {0, 1, 2}) netlists.push_back(randomNetlist(random, kind, normalization, true));
    compareRun(netlists, random, tally);
  }
  std::printf("%d comparisons (%d of values near 0), %d skipped, worst relative difference %Lg\n",
              tally.comparisons, tally.nearZero, tally.skipped, tally.worst);
  EXPECT_GT(tally.comparisons - tally.nearZero, 2 * tally.skipped);
}

// The poles of a one-formula netlist at the given values.
NumericSummary analyse(const std::string& netlist, const ElementValues& values) {
  std::vector<PrintedNetlist> printed = parseRunOutput(runOnString(netlist));
  EXPECT_FALSE(printed.empty());
  EXPECT_EQ(printed.front().formulas.size(), 1u);
  return ViewedFormula(printed.front().formulas.front()).summary(values);
}

ElementValues valuesOf(std::initializer_list<const char*> settings) {
  ElementValues values;
  for (const char* setting : settings) values.set(std::string_view(setting));
  return values;
}

void expectNear(long double actual, long double expected, const char* what) {
  EXPECT_NEAR(static_cast<double>(actual / expected), 1.0, 1e-12) << what << ": " << actual << " vs " << expected;
}

TEST(NumericCrossCheck, TextbookPoles) {
  // RC section: one pole at -1/RC, DC gain 1.
  NumericSummary rc = analyse("r1 1 2 c1 2 0 f 1 0 2 0 p g21 end", valuesOf({"r1=4.7k", "c1=33n"}));
  ASSERT_EQ(rc.poles.size(), 1u);
  expectNear(rc.poles[0].value.real(), -1 / (4.7e3L * 33e-9L), "RC pole");
  EXPECT_EQ(rc.poles[0].value.imag(), 0);
  expectNear(rc.lowFrequency.gain, 1, "RC DC gain");

  // Unity-gain Sallen-Key low-pass (c1 from the output, c2 to ground):
  // w0 = 1/sqrt(R1 R2 C1 C2), Q = sqrt(R1 R2 C1 C2) / (C2 (R1 + R2)).
  std::string sallenKey = velkor::testing::readFile(std::string(VELKOR_EXAMPLES_DIR) + "/sallen_key_lowpass.net");
  long double r1 = 12e3L, r2 = 8.2e3L, c1 = 22e-9L, c2 = 6.8e-9L;
  NumericSummary sk = analyse(sallenKey, valuesOf({"r1=12k", "r2=8.2k", "c1=22n", "c2=6.8n", "u=1"}));
  ASSERT_EQ(sk.poles.size(), 2u);
  for (const PolynomialRoot& pole : sk.poles) {
    expectNear(pole.naturalFrequency(), 1 / std::sqrt(r1 * r2 * c1 * c2), "Sallen-Key w0");
    expectNear(pole.quality(), std::sqrt(r1 * r2 * c1 * c2) / (c2 * (r1 + r2)), "Sallen-Key Q");
  }
  EXPECT_TRUE(sk.zeros.empty());

  // Tow-Thomas: lossy integrator (rq, c1), integrator (r2, c2), unity
  // inverter (r3, r3), feedback rf: w0^2 = 1/(R2 Rf C1 C2), Q = Rq C1 w0,
  // low-pass DC gain Rf/Rin in magnitude.
  std::string towThomas = velkor::testing::readFile(std::string(VELKOR_EXAMPLES_DIR) + "/tow_thomas_biquad.net");
  long double rin = 10e3L, rq = 47e3L, rr2 = 10e3L, rf = 15e3L, cc1 = 10e-9L, cc2 = 15e-9L;
  NumericSummary tt =
      analyse(towThomas, valuesOf({"rin=10k", "rq=47k", "r2=10k", "r3=22k", "rf=15k", "c1=10n", "c2=15n"}));
  ASSERT_EQ(tt.poles.size(), 2u);
  long double w0 = 1 / std::sqrt(rr2 * rf * cc1 * cc2);
  for (const PolynomialRoot& pole : tt.poles) {
    expectNear(pole.naturalFrequency(), w0, "Tow-Thomas w0");
    expectNear(pole.quality(), rq * cc1 * w0, "Tow-Thomas Q");
  }
  expectNear(std::fabs(tt.lowFrequency.gain), rf / rin, "Tow-Thomas DC gain");
  EXPECT_EQ(tt.lowFrequency.power, 0);
}


// ---------------------------------------------------------------------------
// The nodal engine (src/numeric) against the printed formulas: every formula
// of every golden netlist and of random netlists with random values, at
// frequencies over nine decades, and the engine's poles against the roots
// of the formula's denominator.

// A value for every name of the store by its element kind (log-uniform in
// the kind's usual range; gains of either sign), and Y0 and Z0.
ElementValues valuesForStore(const NetworkStore& store, Random& random) {
  auto logUniform = [&](long double low, long double high) {
    std::uniform_real_distribution<long double> u(std::log(low), std::log(high));
    return std::exp(u(random));
  };
  auto sign = [&] { return std::uniform_int_distribution<int>(0, 1)(random) == 1 ? -1.0L : 1.0L; };
  ElementValues values;
  for (int slot = 1; slot <= store.nameCount; ++slot) {
    std::string name = store.branchNames[slot];
    if (name.empty() || values.find(name) || name == "a" || name == "x") continue;
    std::string kind = name.substr(0, static_cast<std::size_t>(elementPrefixLength(name)));
    for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    long double v = 1;
    if (kind == "o") continue;
    if (kind == "r" || kind == "z") v = logUniform(100, 1e5L);
    else if (kind == "rm") v = sign() * logUniform(100, 1e5L);
    else if (kind == "c") v = logUniform(1e-12L, 1e-6L);
    else if (kind == "l" || kind == "m") v = logUniform(1e-6L, 1e-2L);
    else if (kind == "g" || kind == "y") v = logUniform(1e-5L, 1e-2L);
    else if (kind == "gm" || kind == "gy") v = sign() * logUniform(1e-5L, 1e-1L);
    else if (kind == "u" || kind == "b") v = sign() * logUniform(0.1L, 100);
    values.set(name, v, "test");
  }
  values.set("Y0", 0.02L, "test");
  values.set("Z0", 50, "test");
  return values;
}

struct EngineTally {
  int formulas = 0, comparisons = 0, nearZero = 0, singular = 0, poles = 0, unreadable = 0, extraPoles = 0;
  long double worst = 0, worstPole = 0;
};

// Reads `input` with velkor's reader and runs it; compares every printed
// formula with the engine's value of the same parameter.
void compareEngine(const std::string& input, Random& random, EngineTally& tally) {
  std::vector<PrintedNetlist> printed;
  const std::string output = runOnString(input);
  // Formulas in mixed ohm units hold reciprocal values: not comparable.
  if (output.find("represent s/L") != std::string::npos) {
    ++tally.unreadable;
    return;
  }
  try {
    printed = parseRunOutput(output);
  } catch (const std::runtime_error&) {
    ++tally.unreadable;  // listings inside the formulas (trace entries)
    return;
  }
  StringSource source(input);
  StringOutput sink;
  HeapAllocator heap;
  auto ctx = std::make_unique<AnalysisContext>(source, sink, heap);
  for (std::size_t n = 0; readNetlist(*ctx) == 0; ++n) {
    ASSERT_LT(n, printed.size()) << input;
    const NetworkStore& store = ctx->store;
    std::vector<int> rows;
    for (int r = 0; r < kParameterCount; ++r)
      if (store.requestFlags[r] != 0) rows.push_back(r);
    if (printed[n].formulas.size() != rows.size()) continue;  // a formula failed or was skipped
    const ElementValues values = valuesForStore(store, random);
    const ValueLookup lookup = [&values](const std::string& name) -> std::optional<long double> {
      if (const ElementValue* v = values.find(name)) return v->value;
      return std::nullopt;
    };
    for (std::size_t f = 0; f < rows.size(); ++f) {
      const NumericSummary summary = ViewedFormula(printed[n].formulas[f]).summary(values);
      ASSERT_TRUE(summary.complete()) << input;
      const NumericCircuit circuit(store, rows[f], lookup);
      ++tally.formulas;
      const std::string where = input.substr(0, 200) + " " + parameterNames[rows[f]];
      if (summary.formula.denominator.isZero()) {
        // 0/0 in the formula: the engine finds its equations singular.
        EXPECT_NE(circuit.status(), NumericCircuit::Status::Regular) << where;
        ++tally.singular;
        continue;
      }
      ASSERT_EQ(circuit.status(), NumericCircuit::Status::Regular) << where;
      EXPECT_EQ(circuit.isZero(), summary.formula.numerator.isZero()) << where;
      for (int k = 0; k < 40; ++k) {
        const long double omega = std::pow(10.0L, 9.0L * k / 39);
        const std::optional<NumericCircuit::Point> engine = circuit.solve({0, omega});
        const Complex formula = summary.formula.atFrequency(omega);
        if (!engine || !std::isfinite(std::abs(formula))) continue;
        ++tally.comparisons;
        const long double difference = std::abs(formula - engine->value);
        if (std::abs(engine->value) < 1e-6L * engine->scale) {
          ++tally.nearZero;
          EXPECT_LE(difference, 1e-12L * engine->scale) << where << " at " << omega;
          continue;
        }
        const long double error = difference / std::abs(engine->value);
        tally.worst = std::max(tally.worst, error);
        EXPECT_LE(error, 1e-9L) << where << " at " << omega << " rad/s: " << formula << " vs " << engine->value;
      }
      // Every well-conditioned nonzero root of the formula's denominator
      // that no root of its numerator cancels is a pole of the engine, and
      // the counts agree.
      if (circuit.isZero()) continue;  // H = 0: no poles
      std::vector<PolynomialRoot> zeros = summary.zeros;
      std::size_t formulaPoles = 0;
      for (const PolynomialRoot& root : summary.poles) {
        if (root.value == std::complex<long double>(0)) continue;
        auto cancelled = std::find_if(zeros.begin(), zeros.end(), [&](const PolynomialRoot& z) {
          return std::abs(z.value - root.value) <= 1e-6L * std::abs(root.value);
        });
        if (cancelled != zeros.end()) {
          zeros.erase(cancelled);
          continue;
        }
        ++formulaPoles;
        if (!root.reliable || root.relativeUncertainty > 1e-9L) continue;
        long double nearest = INFINITY;
        for (const std::complex<double>& pole : circuit.poles())
          nearest = std::min(nearest, std::abs(Complex(pole.real(), pole.imag()) - root.value) / std::abs(root.value));
        ++tally.poles;
        tally.worstPole = std::max(tally.worstPole, nearest);
        EXPECT_LE(nearest, 1e-6L) << where << " pole " << root.value;
      }
      // Beyond those, the engine may keep a pole and a zero so close that
      // they nearly cancel, where rounding parted them by more than the
      // cancellation allows.
      std::size_t enginePoles = 0;
      for (const std::complex<double>& pole : circuit.poles()) {
        const bool nearZero = std::any_of(circuit.zeros().begin(), circuit.zeros().end(), [&](const auto& z) {
          return std::abs(z - pole) <= 1e-3 * std::abs(pole);
        });
        enginePoles += pole != 0.0 && (!nearZero || formulaPoles > 0) ? 1 : 0;
      }
      // Every pole of the formula is one of the engine's; the engine may
      // keep a mode that the formula's functions do not contain (counted).
      EXPECT_LE(formulaPoles, enginePoles) << where;
      tally.extraPoles += static_cast<int>(enginePoles - std::min(enginePoles, formulaPoles));
    }
  }
}

TEST(NodalEngine, EqualsTheFormulasOfEveryGoldenNetlistAndOfRandomNetlists) {
  Random random(2222);
  EngineTally tally;
  for (const auto& entry : std::filesystem::directory_iterator(VELKOR_GOLDEN_DIR))
    if (entry.path().extension() == ".net") compareEngine(velkor::testing::readFile(entry.path().string()), random, tally);
  for (ElementKind kind : kTwoPortKinds)
    for (int normalization : {0, 1, 2})
      for (int repeat = 0; repeat < 2; ++repeat)
        compareEngine(randomNetlist(random, kind, normalization, true, {7, 3, 3}).text, random, tally);
  std::printf("%d runs unreadable; %d formulas (%d singular), %d comparisons (%d near 0), worst relative difference %Lg; "
              "%d poles, worst %Lg, %d beyond the formulas'\n",
              tally.unreadable, tally.formulas, tally.singular, tally.comparisons, tally.nearZero, tally.worst, tally.poles,
              tally.worstPole, tally.extraPoles);
  EXPECT_LT(tally.extraPoles, 10);
  EXPECT_GT(tally.comparisons, 20000);
  EXPECT_GT(tally.poles, 500);
}

}  // namespace
}  // namespace velkor::crosscheck

namespace velkor::crosscheck {
namespace {

// The lines from "dc:" to the end of each numeric block: what both paths
// print alike (the formula path adds the coefficients before them).
std::vector<std::string> rootBlocks(const std::string& output) {
  std::vector<std::string> blocks;
  std::istringstream in(output);
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line.rfind(" dc:", 0) == 0) {
      blocks.emplace_back();
      inside = true;
    } else if (line.empty() || line.rfind(" Function:", 0) == 0 || line.rfind("input data:", 0) == 0) {
      inside = false;
    }
    if (inside) blocks.back() += line + "\n";
  }
  return blocks;
}

// The same netlist run twice at `values`, with formulas and without
// (nodal analysis alone): both outputs and both runs' numeric results.
struct BothWays {
  std::string withFormulas, without;
  NumericResults exactResults, nodalResults;
};
BothWays runBothWays(const std::string& netlist, const ElementValues& values, bool keep) {
  BothWays both;
  NumericSettings settings;
  settings.values = &values;
  settings.evaluate = true;
  settings.keep = keep;
  RunOptions exact;
  exact.numeric = &settings;
  exact.numericResults = &both.exactResults;
  RunOptions nodal = exact;
  nodal.numericResults = &both.nodalResults;
  nodal.noFormulas = true;
  both.withFormulas = runOnString(netlist, exact);
  both.without = runOnString(netlist, nodal);
  return both;
}

// Whole runs of the examples with values, with and without formulas: the
// DC values, zeros and poles print alike (six digits), the formulas are
// checked against nodal analysis without a fault, and a 0/0 parameter gets
// the formula path's warning and no number.
TEST(NodalEngine, RunsWithoutFormulasPrintTheNumbersOfTheFormulas) {
  const std::string dir = VELKOR_EXAMPLES_DIR;
  for (const char* name : {"common_emitter_stage", "sallen_key_lowpass"}) {
    const std::string netlist = velkor::testing::readFile(dir + "/" + name + ".net");
    ElementValues values;
    values.readFile(dir + "/" + std::string(name) + ".values");
    const BothWays both = runBothWays(netlist, values, false);
    const std::string& withFormulas = both.withFormulas;
    const std::string& without = both.without;
    const NumericResults& exactResults = both.exactResults;
    EXPECT_TRUE(exactResults.faults.empty()) << exactResults.faults.front();
    EXPECT_GT(exactResults.crossChecks, 0) << name;
    EXPECT_EQ(without.find("Numerator:"), std::string::npos) << name;
    EXPECT_NE(without.find(" Numeric (nodal analysis, no formula):"), std::string::npos) << name;
    EXPECT_EQ(rootBlocks(without), rootBlocks(withFormulas)) << name;
    EXPECT_FALSE(rootBlocks(without).empty()) << name;
  }
  // An ideal op-amp whose nullator y11 shorts leaves it 0/0.
  ElementValues values;
  values.set("r1", 1000, "test");
  NumericSettings settings;
  settings.values = &values;
  settings.evaluate = true;
  NumericResults results;
  RunOptions nodal;
  nodal.numeric = &settings;
  nodal.numericResults = &results;
  nodal.noFormulas = true;
  StringOutput errors;
  nodal.errors = &errors;
  const std::string output = runOnString("r1 1 2 o1 1 0 2 0 f 1 0 2 0 p y11 end", nodal);
  EXPECT_NE(output.find("(0/0)"), std::string::npos) << output;
  EXPECT_EQ(output.find("nan"), std::string::npos) << output;
  EXPECT_NE(errors.text().find("warning: y11 is 0/0: the network's ideal op-amps"), std::string::npos)
      << errors.text();
}

}  // namespace
}  // namespace velkor::crosscheck

namespace velkor::crosscheck {
namespace {

struct ZeroTally {
  int formulas = 0, zeros = 0, confirmed = 0;
};

// The engine's zeros against the roots of the formula's numerator, on every
// formula of `input` at random values (or at `given` ones): each zero the
// engine shows is one of the formula's (no infinite zero leaks out as a
// huge finite one, no multiple zero at the origin splits into tiny ones),
// and each well-conditioned zero of the formula that no pole cancels or
// nearly cancels is one of the engine's, with its multiplicity.
void compareZeros(const std::string& input, Random& random, ZeroTally& tally, const ElementValues* given = nullptr) {
  std::vector<PrintedNetlist> printed;
  const std::string output = runOnString(input);
  if (output.find("represent s/L") != std::string::npos) return;
  try {
    printed = parseRunOutput(output);
  } catch (const std::runtime_error&) {
    return;
  }
  StringSource source(input);
  StringOutput sink;
  HeapAllocator heap;
  auto ctx = std::make_unique<AnalysisContext>(source, sink, heap);
  for (std::size_t n = 0; readNetlist(*ctx) == 0; ++n) {
    const NetworkStore& store = ctx->store;
    std::vector<int> rows;
    for (int r = 0; r < kParameterCount; ++r)
      if (store.requestFlags[r] != 0) rows.push_back(r);
    if (printed[n].formulas.size() != rows.size()) continue;
    const ElementValues values = given != nullptr ? *given : valuesForStore(store, random);
    const ValueLookup lookup = [&values](const std::string& name) -> std::optional<long double> {
      if (const ElementValue* v = values.find(name)) return v->value;
      return std::nullopt;
    };
    for (std::size_t f = 0; f < rows.size(); ++f) {
      const NumericSummary summary = ViewedFormula(printed[n].formulas[f]).summary(values);
      if (summary.formula.denominator.isZero() || summary.formula.numerator.isZero()) continue;
      const NumericCircuit circuit(store, rows[f], lookup);
      if (circuit.status() != NumericCircuit::Status::Regular) continue;
      ++tally.formulas;
      std::string where = input.substr(0, 300) + " " + parameterNames[rows[f]] + "\n";
      for (const auto& [name, v] : values.all()) where += name + "=" + formatNumber(v.value, 21) + " ";
      auto relative = [](Complex a, Complex b) { return std::abs(a - b) / std::max(std::abs(a), std::abs(b)); };
      for (const RootCluster& zero : circuit.zeroClusters()) {
        if (zero.value == Complex(0)) continue;
        ++tally.zeros;
        const bool known = std::any_of(summary.zeros.begin(), summary.zeros.end(),
                                       [&](const PolynomialRoot& root) { return relative(zero.value, root.value) <= 1e-2L; });
        EXPECT_TRUE(known) << where << "\nengine zero " << zero.value << " (scale " << circuit.frequencyScale() << ")";
      }
      for (const PolynomialRoot& root : summary.zeros) {
        if (!root.reliable || root.relativeUncertainty > 1e-9L || root.value == Complex(0)) continue;
        const bool cancelled = std::any_of(summary.poles.begin(), summary.poles.end(),
                                           [&](const PolynomialRoot& pole) { return relative(pole.value, root.value) <= 1e-2L; });
        if (cancelled) continue;
        const auto match = std::find_if(circuit.zeroClusters().begin(), circuit.zeroClusters().end(),
                                        [&](const RootCluster& zero) { return relative(zero.value, root.value) <= 1e-6L; });
        ASSERT_NE(match, circuit.zeroClusters().end()) << where << "\nformula zero " << root.value;
        EXPECT_EQ(match->multiplicity, root.multiplicity) << where << "\nformula zero " << root.value;
        ++tally.confirmed;
      }
    }
  }
}

TEST(NodalEngine, ZerosAreTheFormulasZeros) {
  Random random(1);
  ZeroTally tally;
  // Found by the random runs below: a chain at infinity that a fine rank
  // left split into +-6.3e13 rad/s (g21), and one left at 1.6e18 rad/s
  // (f11) where H cannot even be evaluated.
  const struct {
    const char* netlist;
    std::initializer_list<const char*> values;
  } found[] = {
      {"g11 18 4\nC8 35 0\nO12 4 0 18 4\nl5 19 16\ny9 30 17\nl2 35 17\nY10 17 35\nR7 30 0\nz6 4 0\nl3 17 16\n"
       "g1 18 35\nc4 18 0\nf 18 0 35 19\nn 1\np g21\nend\n",
       {"C8=3.34078565970461845303e-11", "R7=415.810200456148818554", "Y10=0.00102804763957586676323",
        "c4=4.72464032816592575163e-12", "g1=0.00144192746283872578199", "g11=0.000140482358987062474207",
        "l2=0.00783677640915976228568", "l3=0.00490300662601256709177", "l5=0.000667177495168280012769",
        "y9=0.000244298424724554527908", "z6=39596.6877523065695108"}},
      {"Y2 40 15\nU11 9 25 0 4\nG3 40 9\nO8 4 40 25 15\nrm9 40 37 15 4\nrm9 37 15 9 0\nc7 40 4\nc1 0 15\n"
       "z4 4 15\nl6 40 37\nY5 25 4\nf 37 9 37 40\nn 2\np f11\nend\n",
       {"G3=0.00363941334151561240369", "U11=-0.749281539422320945476", "c1=3.28906132705844255186e-07",
        "c7=1.18177961276773526844e-11", "l6=0.000369135423227555529988", "rm9=-29068.4327507520340106",
        "z4=262.13855968244843811", "Y2=0.000141812741138968223306", "Y5=1.55738247990676122972e-05", "Z0=50",
        "Y0=0.02"}},
  };
  for (const auto& [netlist, settings] : found) {
    const ElementValues values = valuesOf(settings);
    const int before = tally.zeros;
    compareZeros(netlist, random, tally, &values);
    EXPECT_GT(tally.formulas, 0) << netlist;
    EXPECT_EQ(tally.zeros, before) << netlist;  // neither has a finite nonzero zero
  }
  for (const auto& entry : std::filesystem::directory_iterator(VELKOR_GOLDEN_DIR))
    if (entry.path().extension() == ".net") compareZeros(velkor::testing::readFile(entry.path().string()), random, tally);
  for (int repeat = 0; repeat < 8; ++repeat)
    for (ElementKind kind : kTwoPortKinds)
      for (int normalization : {0, 1, 2})
        compareZeros(randomNetlist(random, kind, normalization, true, {8, 4, 4}).text, random, tally);
  std::printf("%d formulas, %d engine zeros, %d formula zeros confirmed\n", tally.formulas, tally.zeros, tally.confirmed);
  EXPECT_GT(tally.confirmed, 1000);
}

}  // namespace
}  // namespace velkor::crosscheck

namespace velkor::crosscheck {
namespace {

// k identical first-order sections in cascade, each behind an ideal
// buffer: a k-fold pole (a Jordan chain) and, by the section, a k-fold zero
// at the origin or at a finite frequency. The engine shows each once with
// its multiplicity, at the exact value to 1e-9 (the mean of a cluster is
// accurate where its members are not), and prints the numbers the formula
// path prints.
TEST(NodalEngine, IdenticalStagesGiveRepeatedRootsAsTheFormulasDo) {
  const long double r = 10e3L, r2 = 4.7e3L, c = 22e-9L;
  const struct {
    const char* name;
    const char* section;  // stage # from node A to node B, B read by the next buffer
    long double pole, zero;  // rad/s; zero 0: at the origin
  } kinds[] = {
      {"low-pass", "r# A B\nc# B 0\n", -1 / (r * c), NAN},
      {"high-pass", "c# A B\nr# B 0\n", -1 / (r * c), 0},
      {"lead", "r# A B\nc# A B\nrp# B 0\n", -(r + r2) / (r * r2 * c), -1 / (r * c)},
  };
  for (const auto& kind : kinds)
    for (int stages = 2; stages <= 5; ++stages) {
      std::string netlist = "{" + std::string(kind.name) + " chain}\n";
      ElementValues values;
      for (int k = 1; k <= stages; ++k) {
        const std::string n = std::to_string(k), a = std::to_string(2 * k - 1), b = std::to_string(2 * k);
        std::string section = kind.section;
        for (const auto& [from, to] : {std::pair<std::string, std::string>{"#", n}, {"A", a}, {"B", b}})
          for (std::size_t at = section.find(from); at != std::string::npos; at = section.find(from))
            section.replace(at, 1, to);
        netlist += section;
        // The buffer: the section's output copied onto the next input.
        netlist += "u" + n + " " + std::to_string(2 * k + 1) + " 0 " + b + " 0\n";
        values.set("r" + n, r, "test");
        values.set("c" + n, c, "test");
        values.set("rp" + n, r2, "test");
        values.set("u" + n, 1, "test");
      }
      netlist += "f 1 0 " + std::to_string(2 * stages + 1) + " 0\np g21\nend\n";
      const std::string where = std::string(kind.name) + " x" + std::to_string(stages) + "\n" + netlist;

      const BothWays both = runBothWays(netlist, values, true);
      const std::string& withFormulas = both.withFormulas;
      const std::string& without = both.without;
      const NumericResults& exactResults = both.exactResults;
      const NumericResults& nodalResults = both.nodalResults;
      EXPECT_EQ(rootBlocks(without), rootBlocks(withFormulas)) << where;
      EXPECT_TRUE(exactResults.faults.empty()) << where;
      ASSERT_EQ(nodalResults.formulas.size(), 1u) << where;
      const NumericSummary& summary = nodalResults.formulas.front().summary;
      auto expectRoot = [&](const std::vector<PolynomialRoot>& roots, long double value, const char* what) {
        ASSERT_EQ(roots.size(), 1u) << where << what;
        EXPECT_EQ(roots.front().multiplicity, stages) << where << what;
        if (value == 0) EXPECT_EQ(roots.front().value, Complex(0)) << where << what;
        else EXPECT_LE(std::abs(roots.front().value - value), 1e-9L * std::fabs(value)) << where << what << roots.front().value;
      };
      expectRoot(summary.poles, kind.pole, " poles");
      if (std::isnan(kind.zero)) EXPECT_TRUE(summary.zeros.empty()) << where;
      else expectRoot(summary.zeros, kind.zero, " zeros");
    }
}

}  // namespace
}  // namespace velkor::crosscheck
