// Two passes over the parameter table: evaluate each needed function once,
// finish every requested parameter for the sink, release.
#pragma once

#include "analysis/finished_formula.h"

namespace velkor {

struct AnalysisContext;
class FormulaSink;

// The parameter fields of table row `row` (name, heading by the typed port
// labels, topological formula), as the formula of that row is announced.
FinishedFormula parameterFields(const AnalysisContext& ctx, int row);
// Warns that the parameter of `row` is 0/0, with the reason when the
// netlist tells it.
void warnIndeterminate(AnalysisContext& ctx, int row);

// Hands every requested parameter's formula to `sink`, in output order.
void analyseNetlist(AnalysisContext& ctx, FormulaSink& sink);
void releaseFormulaResults(AnalysisContext& ctx);

}  // namespace velkor
