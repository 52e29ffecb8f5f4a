// Builds the graph pair of one topological function and evaluates it.
#pragma once

namespace velkor {

struct AnalysisContext;

void evaluateFormula(AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes, int topofun);

}  // namespace velkor
