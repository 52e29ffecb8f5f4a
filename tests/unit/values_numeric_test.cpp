// Numeric forms of formulas: coefficients summed without losing digits to
// cancellation, DC behaviour, roots across many decades with their
// reliability, and the frequency response on a log grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "analysis/frequency_response.h"
#include "analysis/numeric_summary.h"

namespace velkor {
namespace {

using Term = OwnedPolynomial::Term;

// A polynomial with plain numeric coefficients (no symbols), lowest power first.
NumericPolynomial plain(std::vector<long double> coefficients) {
  NumericPolynomial p;
  p.coefficients = std::move(coefficients);
  p.errorBounds.assign(p.coefficients.size(), 0.0L);
  return p;
}

// The coefficients of prod (s - root), lowest power first.
NumericPolynomial fromRoots(const std::vector<std::complex<long double>>& roots) {
  std::vector<std::complex<long double>> c{1};
  for (auto root : roots) {
    c.push_back(0);
    for (std::size_t k = c.size() - 1; k > 0; --k) c[k] = c[k - 1] - root * c[k];
    c[0] = -root * c[0];
  }
  std::vector<long double> real;
  for (auto x : c) real.push_back(x.real());
  return plain(real);
}

TEST(NumericFormula, CompensatedCoefficientsAndMissingSymbols) {
  // s^0: 100000 terms x (x = 0.1): summed as exactly as one product.
  // s^1: r c + r c + r c - 3 r c with u = 3, zero in exact arithmetic, and
  // so exactly 0 although the products round differently.
  // s^2: a term without values.
  OwnedPolynomial numerator;
  numerator.terms.assign(100000, Term{0, 1, {{0, 1}}});
  numerator.terms.push_back(Term{1, 3, {{1, 1}, {2, 1}}});
  numerator.terms.push_back(Term{1, -1, {{1, 1}, {2, 1}, {3, 1}}});
  OwnedPolynomial denominator;
  denominator.terms = {Term{0, 2, {}}, Term{1, -1, {{1, 1}}}};
  std::vector<std::string> symbols{"x", "r", "c", "u", "unused"};
  ElementValues values;
  values.set("x", 0.1L, "t");
  values.set("r", 1.0L / 3, "t");
  values.set("c", 1e-9L / 7, "t");
  values.set("u", 3.0L, "t");
  NumericSummary summary = numericSummary("g21", numerator, denominator, symbols, values);
  ASSERT_TRUE(summary.complete());  // "unused" is in no term
  ASSERT_EQ(summary.formula.numerator.coefficients.size(), 2u);
  EXPECT_NEAR(static_cast<double>(summary.formula.numerator.coefficients[0] / (100000 * 0.1L) - 1), 0, 1e-18);
  EXPECT_EQ(summary.formula.numerator.coefficients[1], 0.0L);
  EXPECT_EQ(summary.lowFrequency.power, 0);
  EXPECT_NEAR(static_cast<double>(summary.lowFrequency.gain), 5000, 1e-12);
  EXPECT_TRUE(summary.zeros.empty());
  ASSERT_EQ(summary.poles.size(), 1u);
  EXPECT_NEAR(static_cast<double>(summary.poles[0].value.real()), 6, 1e-14);

  values.set("x", 0.1L, "t");
  ElementValues partial;
  partial.set("r", 1.0L, "t");
  NumericSummary missing = numericSummary("g21", numerator, denominator, symbols, partial);
  EXPECT_EQ(missing.missing, (std::vector<std::string>{"x", "c", "u"}));
}

TEST(NumericFormula, LowFrequencyBehaviour) {
  auto low = [](std::vector<long double> num, std::vector<long double> den) {
    return NumericFormula{plain(std::move(num)), plain(std::move(den))}.lowFrequency();
  };
  LowFrequencyBehaviour highPass = low({0, 0, 2}, {4, 1, 1});
  EXPECT_TRUE(highPass.defined);
  EXPECT_EQ(highPass.power, 2);
  EXPECT_EQ(highPass.gain, 0.5L);
  LowFrequencyBehaviour integrator = low({-3}, {0, 6});
  EXPECT_EQ(integrator.power, -1);
  EXPECT_EQ(integrator.gain, -0.5L);
  EXPECT_EQ(low({}, {1, 1}).gain, 0.0L);
  EXPECT_TRUE(low({}, {1, 1}).defined);
  EXPECT_FALSE(low({1}, {0, 0}).defined);
}

TEST(PolynomialRoots, WideSpreadRootsAndPairs) {
  // A 1 mHz-scale real pole, a 1 GHz-scale real pole, a Q = 5 pair at
  // 1 krad/s and a zero at the origin: coefficients span about 30 decades.
  long double w0 = 1e3L, q = 5;
  long double re = -w0 / (2 * q), im = w0 * std::sqrt(1 - 1 / (4 * q * q));
  NumericPolynomial p = fromRoots({{0, 0}, {-1e-3L, 0}, {-1e9L, 0}, {re, im}, {re, -im}});
  p.coefficients[0] = 0;
  std::vector<PolynomialRoot> roots = polynomialRoots(p);
  ASSERT_EQ(roots.size(), 5u);
  EXPECT_EQ(roots[0].value, std::complex<long double>(0));
  EXPECT_NEAR(static_cast<double>(roots[1].value.real() / -1e-3L), 1, 1e-12);
  EXPECT_NEAR(static_cast<double>(roots[2].value.real() / -1e9L), 1, 1e-12);
  EXPECT_EQ(roots[3].value, std::conj(roots[4].value));
  EXPECT_LT(roots[3].value.imag(), 0);
  EXPECT_NEAR(static_cast<double>(roots[4].naturalFrequency() / w0), 1, 1e-12);
  EXPECT_NEAR(static_cast<double>(roots[4].quality()), 5, 1e-11);
  for (const PolynomialRoot& root : roots) EXPECT_TRUE(root.reliable);
}

TEST(PolynomialRoots, MultipleRootsAndIllConditionedOnes) {
  // A double pole (two equal buffered RC sections) and a six-fold one are
  // each reported once, with their multiplicity: the mean of a cluster is
  // fixed to far more than six digits even where its members are not.
  std::vector<PolynomialRoot> twice = polynomialRoots(fromRoots({{-1e4L, 0}, {-1e4L, 0}}));
  ASSERT_EQ(twice.size(), 1u);
  EXPECT_TRUE(twice[0].reliable);
  EXPECT_EQ(twice[0].multiplicity, 2);
  EXPECT_NEAR(static_cast<double>(twice[0].value.real() / -1e4L), 1, 1e-12);
  NumericPolynomial sixfold = fromRoots(std::vector<std::complex<long double>>(6, {-2, 0}));
  std::vector<PolynomialRoot> six = polynomialRoots(sixfold);
  ASSERT_EQ(six.size(), 1u);
  EXPECT_TRUE(six[0].reliable);
  EXPECT_EQ(six[0].multiplicity, 6);
  EXPECT_NEAR(static_cast<double>(six[0].value.real() / -2), 1, 1e-9);
  // Rounding bounds as large as the coefficients leave nothing certain.
  NumericPolynomial noisy = fromRoots({{-1, 0}, {-3, 0}});
  noisy.errorBounds = {1, 1, 1};
  for (const PolynomialRoot& root : polynomialRoots(noisy)) EXPECT_FALSE(root.reliable);
}

TEST(FrequencyResponse, GridRangeAndUnwrappedPhase) {
  std::vector<long double> grid = logFrequencyGrid({10, 1e5L, 5});
  ASSERT_EQ(grid.size(), 5u);
  EXPECT_EQ(grid.front(), 10.0L);
  EXPECT_NEAR(static_cast<double>(grid[1]), 100, 1e-9);
  EXPECT_EQ(grid.back(), 1e5L);

  // Fourth-order low-pass, poles at 2*pi*1 kHz: phase runs smoothly to -360.
  long double w = 2 * std::numbers::pi_v<long double> * 1000;
  NumericFormula lowPass{plain({w * w * w * w}),
                         fromRoots({{-w, 0}, {-w, 0}, {-w, 0}, {-w, 0}})};
  std::vector<std::vector<PolynomialRoot>> roots{polynomialRoots(lowPass.denominator)};
  FrequencyRange range = defaultFrequencyRange(roots, 201);
  EXPECT_NEAR(static_cast<double>(range.fromHz), 10, 1e-3);
  EXPECT_NEAR(static_cast<double>(range.toHz), 1e5, 10);
  EXPECT_EQ(defaultFrequencyRange({}, 7).points, 7);

  grid = logFrequencyGrid({10, 1e5L, 201});
  FrequencyResponse response = frequencyResponse(lowPass, grid, "g21");
  EXPECT_NEAR(static_cast<double>(response.magnitudeDb[100]), -4 * 20 * std::log10(std::sqrt(2.0)), 1e-9);
  EXPECT_NEAR(static_cast<double>(response.phaseDeg[100]), -180, 1e-9);
  EXPECT_NEAR(static_cast<double>(response.phaseDeg.back()), -360 + 4 * std::atan(0.01) * 180 / std::numbers::pi,
              1e-3);
  for (std::size_t k = 1; k < grid.size(); ++k) EXPECT_LT(response.phaseDeg[k], response.phaseDeg[k - 1]);
}

// Series LC band-passes R / (R + sL + 1/(sC)) = s RC / (1 + s RC + s^2 LC):
// the peak is exactly 0 dB at 1/(2 pi sqrt(LC)) whatever Q, and the Bode
// grid must find it within 0.01 dB however coarse its base; the phase
// starts at +90 degrees (DC behaviour s RC) and ends at -90.
TEST(FrequencyResponse, BodeGridFindsEverySharpPeakAndPhaseFollowsTheLowFrequencyBranch) {
  const long double pi = std::numbers::pi_v<long double>;
  struct Case {
    long double q;
    int points;
  };
  for (const Case& c : {Case{1, 50}, Case{100, 400}, Case{1000, 20}, Case{1e5L, 400}}) {
    const long double l = 10e-6L, capacitance = 1 / (l * 4 * pi * pi * 1e12L);  // 1 MHz
    const long double r = std::sqrt(l / capacitance) / c.q;
    NumericFormula bandPass{NumericPolynomial{0, {0, r * capacitance}, {}},
                            NumericPolynomial{0, {1, r * capacitance, l * capacitance}, {}}};
    std::vector<std::vector<PolynomialRoot>> roots{polynomialRoots(bandPass.numerator),
                                                   polynomialRoots(bandPass.denominator)};
    FrequencyRange range = defaultFrequencyRange(roots, c.points);
    std::vector<long double> grid = bodeFrequencyGrid(range, roots, {[&bandPass](long double omega) { return bandPass.atFrequency(omega); }});
    EXPECT_TRUE(std::is_sorted(grid.begin(), grid.end())) << c.q;
    EXPECT_GE(grid.size(), static_cast<std::size_t>(c.points));
    EXPECT_LE(grid.size(), static_cast<std::size_t>(c.points) * 10 + 10);
    FrequencyResponse response = frequencyResponse(bandPass, grid, "g21");
    long double peak = *std::max_element(response.magnitudeDb.begin(), response.magnitudeDb.end());
    EXPECT_NEAR(static_cast<double>(peak), 0, 0.01) << "Q " << c.q;
    // Every pole frequency in the band is a grid point.
    for (const PolynomialRoot& pole : roots[1]) {
      long double f = hertz(std::abs(pole.value));
      EXPECT_TRUE(std::any_of(grid.begin(), grid.end(), [f](long double g) { return std::fabs(g / f - 1) < 1e-9; }))
          << "Q " << c.q;
    }
    EXPECT_NEAR(static_cast<double>(response.phaseDeg.front()), 90, 2) << "Q " << c.q;
    EXPECT_NEAR(static_cast<double>(response.phaseDeg.back()), -90, 2) << "Q " << c.q;
  }
  // An inverting amplifier (-1, and -1 over a pole at 1 kHz) starts at
  // +180 degrees, never -180; a differentiator -s at -90.
  const long double w = 2 * pi * 1000;
  for (const auto& [formula, start] :
       {std::pair{NumericFormula{plain({-1}), plain({1})}, 180.0},
        std::pair{NumericFormula{plain({-w}), NumericPolynomial{0, {w, 1}, {}}}, 180.0},
        std::pair{NumericFormula{NumericPolynomial{0, {0, -1}, {}}, plain({1})}, -90.0}}) {
    FrequencyResponse response = frequencyResponse(formula, logFrequencyGrid({1, 1e6L, 61}), "g21");
    EXPECT_NEAR(static_cast<double>(response.phaseDeg.front()), start, 0.1);
  }
  EXPECT_EQ(responseUnitOf("z11"), ResponseUnit::kOhm);
  EXPECT_EQ(responseUnitOf("y21"), ResponseUnit::kSiemens);
  EXPECT_EQ(responseUnitOf("B"), ResponseUnit::kOhm);
  EXPECT_EQ(responseUnitOf("g21"), ResponseUnit::kRatio);
  EXPECT_EQ(responseUnitOf("s21"), ResponseUnit::kRatio);
}

}  // namespace
}  // namespace velkor
