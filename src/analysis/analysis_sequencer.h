// Two passes over the parameter table: evaluate each needed function once,
// print every requested parameter, release.
#pragma once

namespace velkor {

struct AnalysisContext;

void analyseNetlist(AnalysisContext& ctx);
void releaseFormulaResults(AnalysisContext& ctx);

}  // namespace velkor
