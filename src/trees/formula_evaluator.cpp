#include "trees/formula_evaluator.h"

#include "support/analysis_context.h"

namespace velkor {

void evaluateFormula(AnalysisContext&, int, int, int, int) {}

}  // namespace velkor
