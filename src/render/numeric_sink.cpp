#include "render/numeric_sink.h"

#include "analysis/formula_crosscheck.h"
#include "analysis/nodal_parameters.h"

#include "render/approximation_text.h"
#include "render/latex_document.h"
#include "render/numeric_latex.h"
#include "render/mathml_formula.h"
#include "render/numeric_json.h"
#include "render/numeric_text.h"
#include "support/work_meter.h"

namespace velkor {

namespace {

// What the plots and the report keep of a formula's approximation.
NumericResults::Entry::Approximated keptApproximation(const FinishedFormula& formula,
                                                      const Approximation& approximation, bool typeset) {
  NumericResults::Entry::Approximated kept;
  kept.caption = approximationCaption(approximation);
  kept.simplified = approximation.simplified();
  if (kept.simplified) {
    if (typeset)
      kept.mathml = mathmlFormula(formula.name, approximation.numerator, approximation.denominator, formula.symbols,
                                  kMathmlTermLimit, true);
    kept.formula = approximation.formula;
  }
  return kept;
}

}  // namespace

std::string NumericSink::currentJson() const {
  if (current_ == nullptr || !settings_.evaluate) return {};
  // Names that are not UTF-8 (the input may hold any bytes) get U+FFFD,
  // as in the rest of the document.
  return "\"numeric\": " + numericJson(*current_).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string NumericSink::currentLatex(const FinishedFormula& formula, bool bodyOnly) const {
  if (current_ == nullptr || !settings_.evaluate) return {};
  return numericLatex(*current_, latexName(formula.name), bodyOnly);
}

void NumericSink::setNetwork(const NetworkStore& store) {
  if (!network_) network_ = std::make_unique<NetworkStore>();
  *network_ = store;
}

void NumericSink::numbersOnly(const FinishedFormula& formula) {
  NumericResults::Entry entry;
  entry.netlist = formula.trace.netlistNumber;
  entry.heading = formula.heading;
  entry.summary = nodalSummary(formula.name, formula.nodal);
  for (const std::string& name : formula.nodal->names()) results_.symbols.insert(name);
  current_ = &entry.summary;
  inner_.formulaFinished(formula);
  current_ = nullptr;
  if (printText_ && settings_.evaluate) out_.putText((numericText(entry.summary) + "\n").c_str());
  if (!settings_.keep) return;
  if (const Approximation* approximation = formula.approximation) {
    // Made during generation: kept for the plots and the report as one
    // made from the exact formula.
    entry.approximation = keptApproximation(formula, *approximation, settings_.typeset);
  }
  results_.formulas.push_back(std::move(entry));
}

void NumericSink::crossCheck(const FinishedFormula& formula, const NumericSummary& summary) {
  if (!network_ || !summary.complete()) return;
  const NumericCircuit circuit(*network_, formula.row, valueLookup(*settings_.values));
  ++results_.crossChecks;
  if (std::optional<std::string> fault = formulaDisagreement(summary.formula, circuit))
    results_.faults.push_back("netlist " + std::to_string(formula.trace.netlistNumber) + ", " + formula.name + ": " +
                              *fault);
}

void NumericSink::formulaFinished(const FinishedFormula& formula) {
  for (const std::string& name : formula.symbols)
    if (!name.empty()) results_.symbols.insert(name);
  if ((formula.outcome == FormulaOutcome::kNoFormula || formula.outcome == FormulaOutcome::kApproximated) &&
      formula.nodal) {
    numbersOnly(formula);
    return;
  }
  if (formula.outcome != FormulaOutcome::kDone || formula.numerator == nullptr || formula.denominator == nullptr) {
    inner_.formulaFinished(formula);
    return;
  }
  if (formula.units != OhmUnits::kConvert) {
    // Symbols that stand for reciprocal values: no numbers.
    FinishedFormula shown = formula;
    Approximation none;
    if (settings_.approximation != nullptr) {
      none.outcome = Approximation::Outcome::MixedUnits;
      none.eps = settings_.approximation->eps;
      shown.approximation = &none;
    }
    inner_.formulaFinished(shown);
    if (printText_ && settings_.evaluate) out_.putText(" Numeric: not available for a formula in mixed units\n");
    return;
  }
  NumericResults::Entry entry;
  entry.netlist = formula.trace.netlistNumber;
  entry.heading = formula.heading;
  for (const FinishedFormula::ValueInFormula& v : formula.valuesInFormula)
    entry.atValues += (entry.atValues.empty() ? "" : ", ") + v.name + " = " + formatNumber(v.value);
  entry.summary = numericSummary(formula.name, *formula.numerator, *formula.denominator, formula.symbols,
                                 *settings_.values);
  crossCheck(formula, entry.summary);
  FinishedFormula shown = formula;
  std::optional<Approximation> approximation;
  if (settings_.approximation != nullptr) {
    // The approximation has a clock of its own; printing starts afresh.
    if (formula.meter != nullptr) formula.meter->beginPhase("approximation");
    approximation = approximateFormula(*formula.numerator, *formula.denominator, formula.symbols, *settings_.values,
                                       entry.summary, *settings_.approximation, formula.meter);
    if (formula.meter != nullptr) formula.meter->beginPhase("printing");
    shown.approximation = &*approximation;
  }
  // The inner renderer may ask for the numbers while it writes the entry.
  current_ = &entry.summary;
  inner_.formulaFinished(shown);
  current_ = nullptr;
  if (printText_ && settings_.evaluate) out_.putText(numericText(entry.summary).c_str());
  if (!settings_.keep) return;
  if (settings_.typeset)
    entry.mathml = mathmlFormula(formula.name, *formula.numerator, *formula.denominator, formula.symbols);
  if (approximation) {
    entry.approximation = keptApproximation(formula, *approximation, settings_.typeset);
  }
  results_.formulas.push_back(std::move(entry));
}

}  // namespace velkor
