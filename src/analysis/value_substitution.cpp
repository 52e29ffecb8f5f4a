#include "analysis/value_substitution.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "analysis/numeric_formula.h"

namespace velkor {

namespace {

// One term of the result while its parts are added: Neumaier's compensated
// sum, so that parts of opposite sign cancel without eating the digits.
struct Sum {
  long double sum = 0;
  long double compensation = 0;
  long double magnitude = 0;
  int roundings = 0;
  void add(long double x, int partRoundings) {
    magnitude += std::fabs(x);
    roundings = std::max(roundings, partRoundings);
    const long double t = sum + x;
    compensation += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
    sum = t;
  }
};

// Sums the terms of one polynomial by their power of s and remaining
// symbols, in the order each such term first appears (the printed order:
// powers rise, and a term keeps its power).
class Merger {
 public:
  Merger(RealPolynomial& out, const std::vector<signed char>& written, const std::vector<long double>& values,
         std::vector<bool>& occurs)
      : out_(out), written_(written), values_(values), occurs_(occurs) {}

  void add(const TermView& term) {
    long double part = static_cast<long double>(term.coefficient);
    int roundings = 1;
    key_.assign(reinterpret_cast<const char*>(&term.power), sizeof term.power);
    kept_.clear();
    for (int f = 0; f < term.factorCount; ++f) {
      const FormulaFactor& factor = term.factors[f];
      const std::size_t symbol = static_cast<std::size_t>(factor.symbol);
      const bool known = symbol < written_.size();
      if (known) occurs_[symbol] = true;
      if (known && written_[symbol] > 0) {
        part *= factor.exponent == 1 ? values_[symbol] : integerPower(values_[symbol], factor.exponent);
        roundings += 2 * factor.exponent;
        continue;
      }
      kept_.push_back(factor);
      key_.append(reinterpret_cast<const char*>(&factor), sizeof factor);
    }
    const auto [at, added] = index_.try_emplace(key_, out_.terms.size());
    if (added) {
      RealPolynomial::Term t;
      t.power = term.power;
      t.firstFactor = static_cast<std::uint32_t>(out_.factors.size());
      t.factorCount = static_cast<std::uint32_t>(kept_.size());
      out_.factors.insert(out_.factors.end(), kept_.begin(), kept_.end());
      out_.terms.push_back(t);
      sums_.emplace_back();
    }
    sums_[at->second].add(part, roundings);
  }

  // Writes the sums into the terms and leaves out those that cancelled;
  // returns how many did.
  std::size_t finish() {
    std::size_t cancelled = 0, kept = 0;
    for (std::size_t k = 0; k < out_.terms.size(); ++k) {
      const Sum& s = sums_[k];
      const long double value = s.sum + s.compensation;
      // The parts' products are off by `roundings` units of their last
      // place at most, the compensated sum by about two more of the total.
      const long double bound = static_cast<long double>(s.roundings + 2) * LDBL_EPSILON * s.magnitude;
      if (std::fabs(value) <= bound) {
        ++cancelled;
        continue;
      }
      RealPolynomial::Term t = out_.terms[k];
      t.coefficient = RealCoefficient{value, s.magnitude, s.roundings};
      out_.terms[kept++] = t;
    }
    out_.terms.resize(kept);
    return cancelled;
  }

 private:
  RealPolynomial& out_;
  const std::vector<signed char>& written_;
  const std::vector<long double>& values_;
  std::vector<bool>& occurs_;
  std::unordered_map<std::string, std::size_t> index_;
  std::vector<Sum> sums_;
  std::string key_;
  std::vector<FormulaFactor> kept_;
};

}  // namespace

bool NumericChoice::chosen(const std::string& symbol) const {
  const bool named = std::find(names.begin(), names.end(), symbol) != names.end();
  return allBut ? !named : named;
}

void RealPolynomial::forEachTerm(const std::function<void(const TermView&)>& visit) const {
  for (const Term& t : terms)
    visit(TermView{t.power, 0, t.factorCount == 0 ? nullptr : factors.data() + t.firstFactor,
                   static_cast<int>(t.factorCount), &t.coefficient});
}

void substituteValues(const FinishedFormula& formula, const NumericChoice& choice, const ElementValues& values,
                      SubstitutedFormula& result) {
  // Per symbol: 1 written as its value, 0 kept, -1 chosen but without a value.
  const std::size_t count = formula.symbols.size();
  std::vector<signed char> written(count, 0);
  std::vector<long double> numbers(count, 0.0L);
  for (std::size_t k = 0; k < count; ++k) {
    const std::string& name = formula.symbols[k];
    if (name.empty() || !choice.chosen(name)) continue;
    const ElementValue* value = values.find(name);
    written[k] = value != nullptr ? 1 : -1;
    if (value != nullptr) numbers[k] = value->value;
  }
  std::vector<bool> occurs(count, false);
  Merger numerator(result.numerator, written, numbers, occurs);
  formula.numerator->forEachTerm([&](const TermView& term) { numerator.add(term); });
  Merger denominator(result.denominator, written, numbers, occurs);
  formula.denominator->forEachTerm([&](const TermView& term) { denominator.add(term); });
  result.cancelled = numerator.finish() + denominator.finish();

  result.formula = formula;
  result.formula.numerator = &result.numerator;
  result.formula.denominator = &result.denominator;
  result.formula.valuesInFormula.clear();
  result.withoutValue.clear();
  for (std::size_t k = 0; k < count; ++k) {
    if (!occurs[k]) continue;
    if (written[k] > 0) result.formula.valuesInFormula.push_back({formula.symbols[k], numbers[k]});
    if (written[k] < 0) result.withoutValue.push_back(formula.symbols[k]);
  }
}

}  // namespace velkor
