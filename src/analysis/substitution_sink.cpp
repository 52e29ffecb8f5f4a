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
  record_.withoutValue.insert(substituted.withoutValue.begin(), substituted.withoutValue.end());
  inner_.formulaFinished(substituted.formula.valuesInFormula.empty() ? formula : substituted.formula);
}

}  // namespace velkor
