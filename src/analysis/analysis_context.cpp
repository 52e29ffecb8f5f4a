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
  StringOutput text;
  text.printList(format, args);
  va_end(args);
  ctx.out.write(text.text().data(), text.text().size());
  ctx.diag.mirrorError(ctx.marks.endAt, text.text().c_str(), ctx.alloc.takeBoundRefusal());
}

}  // namespace velkor
