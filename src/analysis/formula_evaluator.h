// Builds the graph pair of one topological function and evaluates it.
#pragma once

#include "support/work_meter.h"

namespace velkor {

struct AnalysisContext;
struct GraphPair;

// Builds the graph pair of `topofun` into ctx.graph (with its edge maps
// and its port edges' names); false when the netlist does not fit.
bool buildFunctionGraph(AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes, int topofun);

void evaluateFormula(AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes, int topofun);

// The two ends of an evaluation, for evaluations whose tree products run
// elsewhere (the jobs of a parallel evaluation), in the order evaluateFormula
// calls them.
enum class FormulaStart { kReady, kNotEvaluated, kNoRecord };
// Creates the function's record and builds its graph pair into `graph`
// (the topofun id must be valid). kNotEvaluated when the sizes do not fit,
// kNoRecord when the heap refused the record; the function is then marked
// not evaluated, and nothing is printed.
FormulaStart startFormula(AnalysisContext& ctx, int passiveCount, int activeCount, int actualNodes, int topofun,
                          GraphPair& graph);
// Takes the tree product's outcome (its status, and why the work meter
// stopped it): the messages of a failure, or the finished record. With
// `boundRefused`, a failure met on another thread: it says whether a refused
// request met the memory bound.
void concludeFormula(AnalysisContext& ctx, int topofun, int status, WorkMeter::Stop stop,
                     const bool* boundRefused = nullptr);

}  // namespace velkor
