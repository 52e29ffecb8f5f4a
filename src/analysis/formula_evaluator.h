// Builds the graph pair of one topological function and evaluates it.
#pragma once

namespace velkor {

struct AnalysisContext;

// Builds the graph pair of `topofun` into ctx.graph (with its edge maps
// and its port edges' names); false when the netlist does not fit.
bool buildFunctionGraph(AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes, int topofun);

void evaluateFormula(AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes, int topofun);

}  // namespace velkor
