#include "analysis/analysis_context.h"

#include <cstdarg>

namespace velkor {

// Any polynomial still held (a run stopped part way) goes back to the heap.
AnalysisContext::~AnalysisContext() {
  for (PolyRecord& record : polyRecords) releasePolyRecord(poly, record);
}

namespace {

void reportList(AnalysisContext& ctx, const bool* boundRefused, const char* format, va_list args) {
  StringOutput text;
  text.printList(format, args);
  ctx.out.write(text.text().data(), text.text().size());
  ctx.diag.mirrorError(ctx.marks.endAt, text.text().c_str(),
                       boundRefused != nullptr ? *boundRefused : ctx.alloc.takeBoundRefusal());
}

}  // namespace

void reportAnalysisError(AnalysisContext& ctx, const char* format, ...) {
  va_list args;
  va_start(args, format);
  reportList(ctx, nullptr, format, args);
  va_end(args);
}

void reportEarlierAnalysisError(AnalysisContext& ctx, bool boundRefused, const char* format, ...) {
  va_list args;
  va_start(args, format);
  reportList(ctx, &boundRefused, format, args);
  va_end(args);
}

}  // namespace velkor
