#include "analysis/analysis_context.h"

#include <cstdarg>

namespace velkor {

// Any polynomial still held (a run stopped part way) goes back to the heap.
AnalysisContext::~AnalysisContext() {
  for (PolyRecord& record : polyRecords) releasePolyRecord(poly, record);
}

void reportAnalysisError(AnalysisContext& ctx, const char* format, ...) {
  va_list args;
  va_start(args, format);
  reportPrintedError(ctx.out, ctx.diag, ctx.marks.endAt, format, args);
  va_end(args);
}

}  // namespace velkor
