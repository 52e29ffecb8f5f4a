// Times the numeric side on a formula of a million terms: the coefficients
// (one compensated sum per power of s, computed once), then the response
// at 1000 frequencies (a Horner step per polynomial and frequency), then
// the roots.
#include <chrono>
#include <cstdio>
#include <random>

#include "analysis/frequency_response.h"
#include "analysis/numeric_summary.h"

using namespace velkor;

int main() {
  constexpr int kTerms = 1000000, kSymbols = 40, kPowers = 12;
  std::mt19937_64 random(15);
  std::uniform_int_distribution<int> pick(0, kSymbols - 1);
  OwnedPolynomial numerator, denominator;
  for (int k = 0; k < kTerms; ++k) {
    OwnedPolynomial::Term term;
    term.power = k * kPowers / kTerms;
    term.coefficient = k % 3 == 0 ? -1 : 1;
    for (int f = 0; f < 6; ++f) term.factors.push_back({(f * kSymbols / 6) + pick(random) % (kSymbols / 6), 1});
    (k % 2 ? numerator : denominator).terms.push_back(std::move(term));
  }
  std::vector<std::string> symbols;
  ElementValues values;
  std::uniform_real_distribution<double> decade(-9, 4);
  for (int s = 0; s < kSymbols; ++s) {
    symbols.push_back("x" + std::to_string(s));
    values.set(symbols.back(), std::pow(10.0L, decade(random)), "bench");
  }

  auto now = [] { return std::chrono::steady_clock::now(); };
  auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
  auto t0 = now();
  SymbolAssignment assignment = assignSymbols(symbols, values);
  NumericFormula formula = numericFormula(numerator, denominator, assignment.values);
  auto t1 = now();
  std::vector<long double> grid = logFrequencyGrid({1e-3L, 1e9L, 1000});
  FrequencyResponse response = frequencyResponse(formula, grid, "h");
  auto t2 = now();
  std::vector<PolynomialRoot> poles = polynomialRoots(formula.denominator);
  auto t3 = now();
  std::printf("%d terms: coefficients %.1f ms, 1000 frequencies %.2f ms, %zu roots %.2f ms, total %.1f ms"
              " (magnitude at 1 kHz: %.3Lf dB)\n",
              kTerms, ms(t0, t1), ms(t1, t2), poles.size(), ms(t2, t3), ms(t0, t3), response.magnitudeDb[500]);
  return 0;
}
