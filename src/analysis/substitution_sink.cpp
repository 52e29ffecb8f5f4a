#include "analysis/substitution_sink.h"

namespace velkor {

void SubstitutionSink::formulaFinished(const FinishedFormula& formula) {
  for (const std::string& name : formula.symbols)
    if (!name.empty()) record_.symbols.insert(name);
  if (formula.outcome != FormulaOutcome::kDone || formula.numerator == nullptr || formula.denominator == nullptr) {
    inner_.formulaFinished(formula);
    return;
  }
  if (formula.units != OhmUnits::kConvert) {
    ++record_.mixedUnits;
    inner_.formulaFinished(formula);
    return;
  }
  SubstitutedFormula substituted;
  substituteValues(formula, choice_, values_, substituted);
  // The reference of the s and F rows (Y0, Z0) is no element: without a
  // value it stays a symbol without a word.
  for (const std::string& name : substituted.withoutValue)
    if (name != formula.normalization) record_.withoutValue.insert(name);
  inner_.formulaFinished(substituted.formula.valuesInFormula.empty() ? formula : substituted.formula);
}

}  // namespace velkor
