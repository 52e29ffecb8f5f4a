#include "analysis/formula_crosscheck.h"

#include <cmath>
#include <cstdio>

namespace velkor {

namespace {

constexpr long double kTolerance = 1e-7L;

// A bound on the rounding error of polynomial(s) from its coefficients'.
long double roundingOf(const NumericPolynomial& polynomial, std::complex<long double> s) {
  long double bound = 0;
  for (std::size_t k = 0; k < polynomial.errorBounds.size(); ++k)
    bound += polynomial.errorBounds[k] * std::pow(std::abs(s), static_cast<long double>(polynomial.lowestPower) + k);
  return bound;
}

std::string complexText(std::complex<long double> z) {
  char text[96];
  std::snprintf(text, sizeof text, "%.12Lg%+.12Lgj", z.real(), z.imag());
  return text;
}

}  // namespace

std::optional<std::string> formulaDisagreement(const NumericFormula& formula, const NumericCircuit& circuit) {
  if (circuit.status() == NumericCircuit::Status::MissingValues) return std::nullopt;
  const bool formulaUndefined = formula.denominator.isZero();
  if (circuit.status() == NumericCircuit::Status::Indeterminate || formulaUndefined) {
    if (circuit.status() == NumericCircuit::Status::Indeterminate && formulaUndefined) return std::nullopt;
    return std::string(formulaUndefined ? "the formula's denominator is 0 at the values, but nodal analysis "
                                          "finds a value"
                                        : "nodal analysis finds no value at the values, but the formula does");
  }
  const long double scale = circuit.frequencyScale();
  for (long double factor : {1e-2L, 1e-1L, 1.0L, 10.0L, 100.0L}) {
    const std::complex<long double> s(0, scale * factor);
    const std::optional<NumericCircuit::Point> nodal = circuit.solve(s);
    const std::complex<long double> d = formula.denominator.evaluate(s);
    if (!nodal || d == std::complex<long double>(0)) continue;
    const std::complex<long double> h = formula.numerator.evaluate(s) / d;
    if (!std::isfinite(h.real()) || !std::isfinite(h.imag())) continue;
    const long double rounding =
        (roundingOf(formula.numerator, s) + std::abs(h) * roundingOf(formula.denominator, s)) / std::abs(d);
    const long double allowed =
        kTolerance * std::max(std::abs(nodal->value), std::abs(h)) + 4 * rounding + 1e-12L * nodal->scale;
    if (std::abs(h - nodal->value) > allowed)
      return "at " + std::to_string(static_cast<double>(scale * factor)) + " rad/s the formula gives " +
             complexText(h) + ", nodal analysis " + complexText(nodal->value);
  }
  return std::nullopt;
}

}  // namespace velkor
