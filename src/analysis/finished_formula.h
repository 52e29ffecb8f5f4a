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

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/common_factors.h"
#include "numeric/nodal_circuit.h"

namespace velkor {

struct Approximation;
class PieceWriter;
class WorkMeter;

// One symbol of a term with its exponent (1 or more).
struct FormulaFactor {
  int symbol;    // index into FinishedFormula::symbols
  int exponent;  // as printed
};

// A real coefficient: the term's integer coefficients times the values of
// the elements written as numbers (--numeric), the terms that became alike
// summed. The numbers need to know how much rounding it holds.
struct RealCoefficient {
  long double value = 0;
  long double magnitude = 0;  // the sum of the absolute values of the parts summed
  int roundings = 0;          // the most roundings in one of those parts
};

// One printed term.
struct TermView {
  int power;                     // power of s, as in the printed "+ s^k" group
  std::int64_t coefficient;      // as printed (1 and -1 included); 0 when `real` is set
  const FormulaFactor* factors;  // in symbol order
  int factorCount;
  // Set in a formula with elements written as numbers: the coefficient is
  // this real number instead of `coefficient`.
  const RealCoefficient* real = nullptr;

  long double value() const { return real != nullptr ? real->value : static_cast<long double>(coefficient); }
  bool negative() const { return real != nullptr ? real->value < 0 : coefficient < 0; }
};

// A polynomial in s as printed: terms grouped by ascending power, each
// group in printed row order. A polynomial with no term is 0.
class PolynomialView {
 public:
  virtual ~PolynomialView() = default;
  // Calls `visit` once per printed term, in printed order. The TermView and
  // its factors are valid only during the call.
  virtual void forEachTerm(const std::function<void(const TermView&)>& visit) const = 0;
  // For printing the terms in pieces side by side: the number of term
  // positions (0: the view is not read in pieces), and the terms at
  // positions [begin, end) visited in printed order, from any thread at
  // once. Before the first visit, `anyBefore` says whether a term comes
  // before `begin`, and `powerBefore` gets its power.
  virtual std::size_t positions() const { return 0; }
  virtual void forEachTermIn(std::size_t begin, std::size_t end, bool& anyBefore, int& powerBefore,
                             const std::function<void(const TermView&)>& visit) const {
    (void)begin;
    (void)end;
    (void)powerBefore;
    (void)visit;
    anyBefore = false;
  }
};

// A polynomial that owns its terms: for small results built after the
// analysis (approximations, tests).
class OwnedPolynomial final : public PolynomialView {
 public:
  struct Term {
    int power = 0;
    std::int64_t coefficient = 0;
    std::vector<FormulaFactor> factors;
    std::optional<RealCoefficient> real = std::nullopt;  // see TermView::real
  };
  std::vector<Term> terms;  // in printed order

  void forEachTerm(const std::function<void(const TermView&)>& visit) const override {
    for (const Term& t : terms)
      visit(TermView{t.power, t.coefficient, t.factors.data(), static_cast<int>(t.factors.size()),
                     t.real ? &*t.real : nullptr});
  }
};

// How finishing a formula ended.
enum class FormulaOutcome {
  kDone,               // numerator and denominator are there
  kSkipped,            // no polynomial work was asked for (trace bit 512): nothing to show
  kFailedCopy,         // out of memory taking the two functions; `message` says which block
  kFailedConversion,   // out of memory, or a coefficient past 64 bits, in the ohm-unit
                       // conversion; `message` says which
  kNoFormula,          // none was asked for (--formulas=none): `nodal` gives the numbers
  kApproximated,       // not expanded: its approximation, made during generation, stands alone
};

// What the listings of a formula show beside it (the text output's trace
// bits 16, 32 and 1024 and the heading line of the topological formula).
struct FormulaTrace {
  int traceBits = 0;
  int netlistNumber = 0;
  int traceLabel = 0;
  // The factors divided out of both polynomials, as collected.
  const CommonFactors* factors = nullptr;
  bool traced(int bits) const { return (traceBits & bits) != 0; }
};

// One requested parameter, finished: what a renderer shows of it.
struct FinishedFormula {
  // The parameter as requested: "g21", "s11", "A" ...
  std::string name;
  int row = 0;              // its row of the parameter table
  bool scattering = false;  // an s or F row, analysed on the embedded network
  // The heading line as printed, without its leading blank, e.g.
  // "g( 2, 0; 1, 0) = v( 2, 0)/v( 1, 0) for i( 2, 0)=0".
  std::string heading;
  // Normalization of s and F rows ("Y0", "Z0" or "unity"); empty otherwise.
  std::string normalization;
  // The topological formula: sign * numerator function / denominator function.
  int sign = 1;
  int numeratorTopofun = 0;
  int denominatorTopofun = 0;

  FormulaOutcome outcome = FormulaOutcome::kDone;
  // For a failure: the message that stands in the formula's place, as
  // printed (with its line end).
  std::string message;
  bool failed() const {
    return outcome == FormulaOutcome::kFailedCopy || outcome == FormulaOutcome::kFailedConversion;
  }

  // Symbol names by symbol index (the index FormulaFactor::symbol holds);
  // an index without a symbol has an empty name.
  std::vector<std::string> symbols;
  // The ohm-unit form, and under OhmUnits::kMixed the multipliers dropped.
  OhmUnits units = OhmUnits::kConvert;
  std::vector<OhmUnitFactor> droppedOhmUnits;

  // Both are set when the outcome is kDone, and valid only while the sink
  // that received the formula runs.
  const PolynomialView* numerator = nullptr;
  const PolynomialView* denominator = nullptr;

  // The elements written as numbers in the polynomials (--numeric), with
  // their values, in symbol order; empty when none is. The terms then have
  // real coefficients.
  struct ValueInFormula {
    std::string name;
    long double value = 0;
  };
  std::vector<ValueInFormula> valuesInFormula;

  // Its approximation at element values, when one was asked for (valid as
  // long as the polynomials): renderers show it after the formula.
  const Approximation* approximation = nullptr;

  // With kNoFormula: the parameter by nodal analysis at the run's values
  // (nullptr when the run has no values).
  std::shared_ptr<const NumericCircuit> nodal;

  FormulaTrace trace;

  // The run's meter, for the long loops of the sinks (approximation): they
  // start a phase of their own on it and stop when it says so. Null in
  // tests that build formulas by hand.
  WorkMeter* meter = nullptr;

  // Where a long polynomial may be printed in pieces of `pieceTerms` term
  // positions by several threads (null: printed whole on the caller's).
  PieceWriter* pieces = nullptr;
  std::size_t pieceTerms = 0;
};

}  // namespace velkor
