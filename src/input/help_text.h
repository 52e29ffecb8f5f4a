// The built-in manual.
#pragma once

namespace velkor {

struct AnalysisContext;

void printHelp(AnalysisContext& ctx);

}  // namespace velkor
