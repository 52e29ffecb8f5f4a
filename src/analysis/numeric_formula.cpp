#include "analysis/numeric_formula.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>

namespace velkor {

namespace {

// Neumaier's compensated sum: `sum + compensation` holds the exact sum of
// the added values far better than `sum` alone when they cancel.
struct CompensatedSum {
  long double sum = 0;
  long double compensation = 0;
  long double magnitude = 0;  // sum of the absolute values
  int roundings = 0;          // most roundings in one added product
  // `size` stands for |x| in the rounding bound when x is itself a sum.
  void add(long double x, int productRoundings, long double size = -1) {
    magnitude += size >= 0 ? std::max(size, std::fabs(x)) : std::fabs(x);
    roundings = std::max(roundings, productRoundings);
    long double t = sum + x;
    if (std::fabs(sum) >= std::fabs(x))
      compensation += (sum - t) + x;
    else
      compensation += (x - t) + sum;
    sum = t;
  }
  long double value() const { return sum + compensation; }
};


}  // namespace

long double integerPower(long double base, int exponent) {
  long double result = 1;
  while (exponent > 0) {
    if (exponent & 1) result *= base;
    base *= base;
    exponent >>= 1;
  }
  return result;
}

SymbolAssignment assignSymbols(const std::vector<std::string>& symbols, const ElementValues& values) {
  SymbolAssignment assignment;
  assignment.values.assign(symbols.size(), 0.0L);
  for (std::size_t k = 0; k < symbols.size(); ++k) {
    if (const ElementValue* v = values.find(symbols[k]))
      assignment.values[k] = v->value;
    else
      assignment.missing.push_back(symbols[k]);
  }
  return assignment;
}

bool NumericPolynomial::isZero() const { return firstNonzero() == coefficients.size(); }

std::size_t NumericPolynomial::firstNonzero() const {
  std::size_t k = 0;
  while (k < coefficients.size() && coefficients[k] == 0) ++k;
  return k;
}

std::size_t NumericPolynomial::endNonzero() const {
  std::size_t k = coefficients.size();
  while (k > 0 && coefficients[k - 1] == 0) --k;
  return k;
}

std::complex<long double> NumericPolynomial::evaluate(std::complex<long double> s) const {
  std::complex<long double> result = 0;
  for (std::size_t k = coefficients.size(); k-- > 0;) result = result * s + coefficients[k];
  if (lowestPower != 0) result *= std::pow(s, lowestPower);
  return result;
}

long double termValue(const TermView& term, std::span<const long double> symbolValues) {
  long double product = term.value();
  for (int f = 0; f < term.factorCount; ++f) {
    const FormulaFactor& factor = term.factors[f];
    long double value = symbolValues[static_cast<std::size_t>(factor.symbol)];
    product *= factor.exponent == 1 ? value : integerPower(value, factor.exponent);
  }
  return product;
}

int lowestPowerOf(const PolynomialView& polynomial) {
  int lowest = INT_MAX;
  polynomial.forEachTerm([&](const TermView& term) { lowest = std::min(lowest, term.power); });
  return lowest == INT_MAX ? 0 : lowest;
}

NumericPolynomial numericPolynomial(const PolynomialView& polynomial, std::span<const long double> symbolValues,
                                    int lowestPower) {
  std::vector<CompensatedSum> sums;
  polynomial.forEachTerm([&](const TermView& term) {
    std::size_t index = static_cast<std::size_t>(term.power - lowestPower);
    if (index >= sums.size()) sums.resize(index + 1);
    int roundings = 1;
    for (int f = 0; f < term.factorCount; ++f) roundings += 2 * term.factors[f].exponent;
    const long double value = termValue(term, symbolValues);
    if (term.real == nullptr) {
      sums[index].add(value, roundings);
      return;
    }
    // A real coefficient is a sum of parts that may have cancelled: its
    // rounding counts with the size of those parts, as if each had been
    // added here on its own.
    const long double scale = term.real->value == 0 ? 0.0L : value / term.real->value;
    sums[index].add(value, roundings + term.real->roundings, std::fabs(term.real->magnitude * scale));
  });
  NumericPolynomial result;
  result.lowestPower = lowestPower;
  result.coefficients.reserve(sums.size());
  result.errorBounds.reserve(sums.size());
  for (const CompensatedSum& sum : sums) {
    // Each product is off by at most `roundings` units of its last place
    // (values included), the compensated sum by about two more of the total.
    long double bound = static_cast<long double>(sum.roundings + 2) * LDBL_EPSILON * sum.magnitude;
    long double value = sum.value();
    result.coefficients.push_back(std::fabs(value) <= bound ? 0.0L : value);
    result.errorBounds.push_back(bound);
  }
  return result;
}

NumericFormula numericFormula(const PolynomialView& numerator, const PolynomialView& denominator,
                              std::span<const long double> symbolValues) {
  int lowest = std::min(lowestPowerOf(numerator), lowestPowerOf(denominator));
  NumericFormula formula{numericPolynomial(numerator, symbolValues, lowest),
                         numericPolynomial(denominator, symbolValues, lowest)};
  return formula;
}

LowFrequencyBehaviour NumericFormula::lowFrequency() const {
  LowFrequencyBehaviour low;
  std::size_t n = numerator.firstNonzero();
  std::size_t d = denominator.firstNonzero();
  if (d == denominator.coefficients.size()) return low;
  low.defined = true;
  if (n == numerator.coefficients.size()) return low;  // the formula is 0
  low.gain = numerator.coefficients[n] / denominator.coefficients[d];
  low.power = static_cast<int>(n) - static_cast<int>(d);
  return low;
}

std::complex<long double> NumericFormula::evaluate(std::complex<long double> s) const {
  // Both polynomials share their lowest power, which cancels.
  auto horner = [s](const std::vector<long double>& coefficients) {
    std::complex<long double> result = 0;
    for (std::size_t k = coefficients.size(); k-- > 0;) result = result * s + coefficients[k];
    return result;
  };
  return horner(numerator.coefficients) / horner(denominator.coefficients);
}

}  // namespace velkor
