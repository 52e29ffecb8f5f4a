#include "analysis/numeric_summary.h"

namespace velkor {

NumericSummary numericSummary(std::string name, const PolynomialView& numerator, const PolynomialView& denominator,
                              const std::vector<std::string>& symbols, const ElementValues& values) {
  NumericSummary summary;
  summary.name = std::move(name);
  SymbolAssignment assignment = assignSymbols(symbols, values);
  if (!assignment.complete()) {
    // Only the symbols that the formula's terms use count as missing.
    std::vector<bool> used(symbols.size(), false);
    auto mark = [&](const TermView& term) {
      for (int f = 0; f < term.factorCount; ++f) used[static_cast<std::size_t>(term.factors[f].symbol)] = true;
    };
    numerator.forEachTerm(mark);
    denominator.forEachTerm(mark);
    for (std::size_t k = 0; k < symbols.size(); ++k)
      if (used[k] && !values.find(symbols[k])) summary.missing.push_back(symbols[k]);
    if (!summary.missing.empty()) return summary;
  }
  summary.formula = numericFormula(numerator, denominator, assignment.values);
  summary.lowFrequency = summary.formula.lowFrequency();
  summary.zeros = polynomialRoots(summary.formula.numerator);
  summary.poles = polynomialRoots(summary.formula.denominator);
  return summary;
}

}  // namespace velkor
