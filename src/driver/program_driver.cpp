#include "driver/program_driver.h"

#include <ctime>
#include <memory>
#include <new>

#include "input/netlist_reader.h"
#include "model/analysis_sequencer.h"
#include "support/analysis_context.h"

namespace velkor {

namespace {

long processorMilliseconds() {
  std::clock_t now = std::clock();
  if (now == static_cast<std::clock_t>(-1)) return 0;
  return static_cast<long>(static_cast<double>(now) * 1000.0 / CLOCKS_PER_SEC);
}

}  // namespace

int runProgram(CharSource& input, Output& output, Allocator& allocator, const RunOptions& options) {
  long start = processorMilliseconds();
  std::unique_ptr<AnalysisContext> ctx(new (std::nothrow) AnalysisContext(input, output, allocator));
  if (!ctx) return 1;
  ctx->plainPath = options.plainPath;
  ctx->workLimit = options.workLimit;
  output.print("{program file name velkor}\n");
  ctx->store.netlistNumber = 0;
  while (!output.failed() && readNetlist(*ctx) == 0) analyseNetlist(*ctx);
  if (options.statistics != nullptr) *options.statistics = ctx->statistics;
  ctx.reset();
  output.print("{elapsed time: %d/%d sec.}\n", static_cast<int>(processorMilliseconds() - start), 1000);
  output.flush();
  return output.failed() ? 1 : 0;
}

std::string runOnString(const std::string& input, const RunOptions& options) {
  StringSource source(input);
  StringOutput output;
  HeapAllocator heap;
  runProgram(source, output, heap, options);
  return output.text();
}

}  // namespace velkor
