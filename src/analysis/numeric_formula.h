// The numeric form of a finished formula: its symbols replaced by element
// values, the numerator and the denominator as one coefficient per power of
// s. The coefficients are computed once (each a compensated sum of the
// term products, in long double, so that terms of opposite sign cancel
// without eating the digits); every later evaluation is a Horner step.
#pragma once

#include <complex>
#include <span>
#include <string>
#include <vector>

#include "analysis/element_values.h"
#include "analysis/finished_formula.h"

namespace velkor {

// The values of a formula's symbols, by symbol index, and the names that
// have none (in symbol order).
struct SymbolAssignment {
  std::vector<long double> values;  // 0 where missing
  std::vector<std::string> missing;
  bool complete() const { return missing.empty(); }
};

SymbolAssignment assignSymbols(const std::vector<std::string>& symbols, const ElementValues& values);

// A polynomial in s with numeric coefficients; coefficients[k] belongs to
// s^(lowestPower + k).
struct NumericPolynomial {
  int lowestPower = 0;
  std::vector<long double> coefficients;
  // A bound on each coefficient's rounding error. A coefficient whose terms
  // cancel to within this bound is stored as exactly 0.
  std::vector<long double> errorBounds;

  bool isZero() const;
  // Index of the first and one past the last nonzero coefficient.
  std::size_t firstNonzero() const;
  std::size_t endNonzero() const;
  std::complex<long double> evaluate(std::complex<long double> s) const;
};

// One term's coefficient times its symbols' values.
long double termValue(const TermView& term, std::span<const long double> symbolValues);

// base^exponent for exponent >= 0, by repeated squaring (1 for exponent 0).
long double integerPower(long double base, int exponent);

// Sums every term's coefficient times its symbols' values into one
// coefficient per power of s, from `lowestPower` up to the highest power
// present (`lowestPower` must not exceed the lowest power of any term).
NumericPolynomial numericPolynomial(const PolynomialView& polynomial, std::span<const long double> symbolValues,
                                    int lowestPower);

// The lowest power of s among a polynomial's terms (0 for no term).
int lowestPowerOf(const PolynomialView& polynomial);

// The behaviour for s -> 0: the formula ~ gain * s^power. power 0 is a
// finite nonzero DC value, power > 0 a DC value of 0, power < 0 an infinite
// one. `defined` is false when the denominator is 0; a numerator of 0 gives
// gain 0 at power 0.
struct LowFrequencyBehaviour {
  bool defined = false;
  long double gain = 0;
  int power = 0;
};

// A formula in numbers: numerator and denominator from the same lowest
// power (normally 0: a common power of s is already divided out), each up
// to its own highest power.
struct NumericFormula {
  NumericPolynomial numerator;
  NumericPolynomial denominator;

  LowFrequencyBehaviour lowFrequency() const;
  // numerator(s) / denominator(s); infinite or NaN components where the
  // denominator vanishes.
  std::complex<long double> evaluate(std::complex<long double> s) const;
  std::complex<long double> atFrequency(long double omega) const { return evaluate({0.0L, omega}); }
};

NumericFormula numericFormula(const PolynomialView& numerator, const PolynomialView& denominator,
                              std::span<const long double> symbolValues);

}  // namespace velkor
