#include "driver/program_driver.h"

#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>

#include "analysis/analysis_context.h"
#include "analysis/analysis_sequencer.h"
#include "input/netlist_reader.h"
#include "render/text_renderer.h"

namespace velkor {

namespace {

long processorMilliseconds() {
  std::clock_t now = std::clock();
  if (now == static_cast<std::clock_t>(-1)) return 0;
  return static_cast<long>(static_cast<double>(now) * 1000.0 / CLOCKS_PER_SEC);
}

struct ContextRelease {
  void operator()(AnalysisContext* ctx) const {
    ctx->~AnalysisContext();
    std::free(ctx);
  }
};

}  // namespace

int runProgram(CharSource& input, Output& output, Allocator& allocator, const RunOptions& options) {
  long start = processorMilliseconds();
  // The context is placed in a block from the C heap: a refusal then
  // returns null instead of raising an exception that could not even be
  // allocated when memory is that short.
  void* room = std::malloc(sizeof(AnalysisContext));
  if (room == nullptr) {
    output.print("{program file name velkor}\n");
    output.print("insufficient memory to complete processing\n");
    output.flush();
    return 1;
  }
  std::unique_ptr<AnalysisContext, ContextRelease> ctx(new (room) AnalysisContext(input, output, allocator));
  ctx->plainPath = options.plainPath;
  ctx->workLimit = options.workLimit;
  ctx->diag.attach(options.errors);
  ctx->diag.quiet = options.quiet;
  ctx->diag.strict = options.strict;
  output.print("{program file name velkor}\n");
  ctx->store.netlistNumber = 0;
  TextRenderer text(output);
  while (!output.failed() && readNetlist(*ctx) == 0) analyseNetlist(*ctx, text);
  if (options.statistics != nullptr) *options.statistics = ctx->statistics;
  const bool errors = ctx->diag.errors() > 0;
  ctx.reset();
  output.print("{elapsed time: %d/%d sec.}\n", static_cast<int>(processorMilliseconds() - start), 1000);
  output.flush();
  return output.failed() || errors ? 1 : 0;
}

std::string runOnString(const std::string& input, const RunOptions& options) {
  StringSource source(input);
  StringOutput output;
  HeapAllocator heap;
  runProgram(source, output, heap, options);
  return output.text();
}

}  // namespace velkor
