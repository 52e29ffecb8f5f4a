#include "poly/common_factors.h"

#include "support/analysis_context.h"

namespace velkor {

void resetCommonFactors(AnalysisContext& ctx) { ctx.factors = CommonFactors(); }
int extractFactors(AnalysisContext&) { return 0; }
void collectOhmExponents(AnalysisContext&, const PolyRecord&) {}
int convertToOhmUnits(AnalysisContext&, PolyRecord&) { return 0; }
void collectCommonFactors(AnalysisContext&, const PolyRecord&) {}

}  // namespace velkor
