#include "analysis/analysis_context.h"

namespace velkor {

// Any polynomial still held (a run stopped part way) goes back to the heap.
AnalysisContext::~AnalysisContext() {
  endIndexedAccumulation(*this, polyRecords[0], false);
  for (PolyRecord& record : polyRecords) releasePolyRecord(*this, record);
}

}  // namespace velkor
