#include "trees/spanning_tree_generator.h"

#include "support/analysis_context.h"

namespace velkor {

void nextTree(AnalysisContext& ctx) { ctx.generator.generatorState = kGeneratorExhausted; }

}  // namespace velkor
