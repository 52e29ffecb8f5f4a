#include "analysis/nodal_parameters.h"

#include "analysis/analysis_context.h"
#include "analysis/analysis_sequencer.h"
#include "analysis/formula_sink.h"
#include "model/parameter_table.h"

namespace velkor {

ValueLookup valueLookup(const ElementValues& values) {
  return [&values](const std::string& name) -> std::optional<long double> {
    if (const ElementValue* value = values.find(name)) return value->value;
    return std::nullopt;
  };
}

void analyseNetlistNumerically(AnalysisContext& ctx, FormulaSink& sink, const ElementValues& values) {
  const ValueLookup lookup = valueLookup(values);
  for (int r = 0; r < kParameterCount; ++r) {
    if (ctx.store.requestFlags[r] == 0) continue;
    if (ctx.meter.interrupted()) break;
    FinishedFormula formula = parameterFields(ctx, r);
    formula.trace.netlistNumber = ctx.store.netlistNumber;
    formula.outcome = FormulaOutcome::kNoFormula;
    auto circuit = std::make_shared<const NumericCircuit>(ctx.store, r, lookup);
    if (circuit->status() == NumericCircuit::Status::Indeterminate) warnIndeterminate(ctx, r);
    formula.nodal = std::move(circuit);
    sink.formulaStarted(formula);
    sink.formulaFinished(formula);
    ctx.out.flush();
  }
}

}  // namespace velkor
