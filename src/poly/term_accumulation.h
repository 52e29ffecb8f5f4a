// Merging signed tree products into a polynomial's ordered columns.
#pragma once

namespace velkor {

struct AnalysisContext;
struct PolyRecord;

// 0 when the product is stored (or skipped under trace bit 512), 1 when
// memory ran out.
int accumulateTerm(AnalysisContext& ctx, int sign, int power, int symbolEdgeCount, const int* symbolEdges,
                   PolyRecord& target);

}  // namespace velkor
