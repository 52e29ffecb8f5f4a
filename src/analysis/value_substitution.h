// Chosen elements written as numbers in a finished formula: each term's
// integer coefficient is multiplied by the values of the chosen symbols it
// holds, those symbols leave the term, and the terms left with the same
// symbols and the same power of s are summed into one. The result is the
// same rational function at every value of the remaining symbols, with real
// coefficients instead of integers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/element_values.h"
#include "analysis/finished_formula.h"

namespace velkor {

// Which symbols are written as numbers: those named, or (`allBut`) every
// symbol except those named.
struct NumericChoice {
  bool allBut = false;
  std::vector<std::string> names;

  bool any() const { return allBut || !names.empty(); }
  bool chosen(const std::string& symbol) const;
};

// A polynomial with real coefficients, stored flat: a formula of many terms
// takes one block for the terms and one for their factors.
class RealPolynomial final : public PolynomialView {
 public:
  void forEachTerm(const std::function<void(const TermView&)>& visit) const override;

  struct Term {
    int power = 0;
    RealCoefficient coefficient;
    std::uint32_t firstFactor = 0;
    std::uint32_t factorCount = 0;
  };
  std::vector<Term> terms;  // in printed order
  std::vector<FormulaFactor> factors;
};

// A formula with its chosen symbols at their values: `formula` is the
// input's copy whose polynomials are the two below (valid as long as this
// object, which therefore neither copies nor moves).
struct SubstitutedFormula {
  SubstitutedFormula() = default;
  SubstitutedFormula(const SubstitutedFormula&) = delete;
  SubstitutedFormula& operator=(const SubstitutedFormula&) = delete;

  FinishedFormula formula;
  RealPolynomial numerator;
  RealPolynomial denominator;
  // Chosen symbols of the formula that have no value: they stay symbols.
  std::vector<std::string> withoutValue;
  // Terms whose parts cancelled to within their rounding and were left out.
  std::size_t cancelled = 0;
};

// Writes the chosen symbols of `formula` (finished, in ohm units, with
// both polynomials) as their values from `values`. Symbols that occur in
// neither polynomial are not written in (the formula does not depend on
// them). A sum of alike terms that cancels to within the rounding of its
// parts (as the numeric coefficients decide that they are 0) is left out:
// it stands for no more than rounding noise.
void substituteValues(const FinishedFormula& formula, const NumericChoice& choice, const ElementValues& values,
                      SubstitutedFormula& result);

}  // namespace velkor
