#include "render/approximation_sink.h"

#include "analysis/numeric_summary.h"
#include "render/approximation_text.h"

namespace velkor {

void ApproximationSink::formulaFinished(const FinishedFormula& formula) {
  // Formulas printed with their ohm-unit multipliers dropped have symbols
  // that stand for reciprocal values: they are shown as they are.
  if (formula.outcome != FormulaOutcome::kDone || formula.units != OhmUnits::kConvert ||
      formula.numerator == nullptr || formula.denominator == nullptr || request_.values == nullptr) {
    inner_.formulaFinished(formula);
    return;
  }
  NumericSummary exact =
      numericSummary(formula.name, *formula.numerator, *formula.denominator, formula.symbols, *request_.values);
  Approximation approximation = approximateFormula(*formula.numerator, *formula.denominator, formula.symbols,
                                                   *request_.values, exact, request_.settings);
  FinishedFormula shown = formula;
  if (approximation.simplified()) {
    shown.numerator = &approximation.numerator;
    shown.denominator = &approximation.denominator;
  }
  if (caption_ == Caption::kLines) {
    std::string lines = "\n" + approximationText(approximation);
    out_.write(lines.data(), lines.size());
  } else {
    shown.heading += " -- approximation: " + approximationCaption(approximation);
  }
  inner_.formulaFinished(shown);
}

}  // namespace velkor
