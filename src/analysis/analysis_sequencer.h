// Two passes over the parameter table: evaluate each needed function once,
// finish every requested parameter for the sink, release.
#pragma once

namespace velkor {

struct AnalysisContext;
class FormulaSink;

// Hands every requested parameter's formula to `sink`, in output order.
void analyseNetlist(AnalysisContext& ctx, FormulaSink& sink);
void releaseFormulaResults(AnalysisContext& ctx);

}  // namespace velkor
