#include "poly/term_accumulation.h"

#include "support/analysis_context.h"

namespace velkor {

int accumulateTerm(AnalysisContext&, int, int, int, const int*, PolyRecord&) { return 0; }

}  // namespace velkor
