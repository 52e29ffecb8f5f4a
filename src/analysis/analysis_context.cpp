#include "analysis/analysis_context.h"

namespace velkor {

// Any polynomial still held (a run stopped part way) goes back to the heap.
AnalysisContext::~AnalysisContext() {
  for (PolyRecord& record : polyRecords) releasePolyRecord(poly, record);
}

}  // namespace velkor
