#include "analysis/analysis_context.h"

#include <cstdarg>

namespace velkor {

// Any polynomial still held (a run stopped part way) goes back to the heap.
AnalysisContext::~AnalysisContext() {
  endIndexedAccumulation(*this, polyRecords[0], false);
  for (PolyRecord& record : polyRecords) releasePolyRecord(*this, record);
}

namespace {

void printAndMirror(AnalysisContext& ctx, const SourcePosition& at, const char* format, va_list args) {
  StringOutput text;
  text.printList(format, args);
  ctx.out.write(text.text().data(), text.text().size());
  ctx.diag.mirrorError(at, text.text().c_str());
}

}  // namespace

void reportError(AnalysisContext& ctx, const SourcePosition& at, const char* format, ...) {
  va_list args;
  va_start(args, format);
  printAndMirror(ctx, at, format, args);
  va_end(args);
}

void reportAnalysisError(AnalysisContext& ctx, const char* format, ...) {
  va_list args;
  va_start(args, format);
  printAndMirror(ctx, ctx.marks.endAt, format, args);
  va_end(args);
}

}  // namespace velkor
