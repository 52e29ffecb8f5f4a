// A finished formula: one requested parameter exactly as the text output
// shows it, as a value that every renderer reads. Nothing here is
// recomputed by a renderer: coefficients are already divided by the common
// factors and carry the common sign, exponents are relative to the common
// symbol factors, powers of s relative to the common power.
//
// The terms of a large formula are not copied into the value: a polynomial
// is a view that visits its terms in printed order, so that a formula with
// millions of terms is never held twice in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velkor {

// One symbol of a term with its exponent (1 or more).
struct FormulaFactor {
  int symbol;    // index into FinishedFormula::symbols
  int exponent;  // as printed
};

// One printed term.
struct TermView {
  int power;                     // power of s, as in the printed "+ s^k" group
  std::int64_t coefficient;      // as printed (1 and -1 included)
  const FormulaFactor* factors;  // in symbol order
  int factorCount;
};

// A polynomial in s as printed: terms grouped by ascending power, each
// group in printed row order. A polynomial with no term is 0.
class PolynomialView {
 public:
  virtual ~PolynomialView() = default;
  // Calls `visit` once per printed term, in printed order. The TermView and
  // its factors are valid only during the call.
  virtual void forEachTerm(const std::function<void(const TermView&)>& visit) const = 0;
};

// A polynomial that owns its terms: for small results built after the
// analysis (approximations, tests).
class OwnedPolynomial final : public PolynomialView {
 public:
  struct Term {
    int power = 0;
    std::int64_t coefficient = 0;
    std::vector<FormulaFactor> factors;
  };
  std::vector<Term> terms;  // in printed order

  void forEachTerm(const std::function<void(const TermView&)>& visit) const override {
    for (const Term& t : terms)
      visit(TermView{t.power, t.coefficient, t.factors.data(), static_cast<int>(t.factors.size())});
  }
};

}  // namespace velkor
