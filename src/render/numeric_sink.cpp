#include "render/numeric_sink.h"

#include "render/mathml_formula.h"
#include "render/numeric_json.h"
#include "render/numeric_text.h"

namespace velkor {

std::string NumericSink::currentJson() const {
  if (current_ == nullptr || !settings_.evaluate) return {};
  return "\"numeric\": " + numericJson(*current_).dump();
}

void NumericSink::formulaFinished(const FinishedFormula& formula) {
  for (const std::string& name : formula.symbols)
    if (!name.empty()) results_.symbols.insert(name);
  if (formula.outcome != FormulaOutcome::kDone || formula.numerator == nullptr || formula.denominator == nullptr) {
    inner_.formulaFinished(formula);
    return;
  }
  if (formula.units != OhmUnits::kConvert) {
    // Symbols that stand for reciprocal values: no numbers.
    inner_.formulaFinished(formula);
    if (printText_ && settings_.evaluate) out_.putText(" Numeric: not available for a formula in mixed units\n");
    return;
  }
  NumericResults::Entry entry;
  entry.netlist = formula.trace.netlistNumber;
  entry.heading = formula.heading;
  entry.summary = numericSummary(formula.name, *formula.numerator, *formula.denominator, formula.symbols,
                                 *settings_.values);
  // The inner renderer may ask for the numbers while it writes the entry.
  current_ = &entry.summary;
  inner_.formulaFinished(formula);
  current_ = nullptr;
  if (printText_ && settings_.evaluate) out_.putText(numericText(entry.summary).c_str());
  if (!settings_.keep) return;
  if (settings_.typeset)
    entry.mathml = mathmlFormula(formula.name, *formula.numerator, *formula.denominator, formula.symbols);
  results_.formulas.push_back(std::move(entry));
}

}  // namespace velkor
