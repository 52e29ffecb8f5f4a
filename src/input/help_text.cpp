#include "input/help_text.h"

#include "support/analysis_context.h"

namespace velkor {

void printHelp(AnalysisContext&) {}

}  // namespace velkor
