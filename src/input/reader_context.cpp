#include "input/reader_context.h"

namespace velkor {

void reportPrintedError(Output& out, Diagnostics& diag, const SourcePosition& at, const char* format, va_list args) {
  StringOutput text;
  text.printList(format, args);
  out.write(text.text().data(), text.text().size());
  diag.mirrorError(at, text.text().c_str());
}

void reportError(ReaderContext& ctx, const SourcePosition& at, const char* format, ...) {
  va_list args;
  va_start(args, format);
  reportPrintedError(ctx.out, ctx.diag, at, format, args);
  va_end(args);
}

}  // namespace velkor
