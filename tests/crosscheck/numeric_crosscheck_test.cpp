// The numeric form of printed formulas (element values in, coefficients
// summed once, Horner at j omega) against the floating-point nodal analysis
// of the same networks, and the poles of textbook circuits against their
// closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "analysis/numeric_summary.h"
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
  for (ElementKind kind : {ElementKind::Transconductor, ElementKind::Gyrator, ElementKind::OpAmp,
                           ElementKind::VoltageGain, ElementKind::CurrentGain, ElementKind::Transresistor,
                           ElementKind::Mutual}) {
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

}  // namespace
}  // namespace velkor::crosscheck
