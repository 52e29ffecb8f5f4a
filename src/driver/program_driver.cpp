#include "driver/program_driver.h"

#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>
#include <optional>

#include "analysis/analysis_context.h"
#include "analysis/analysis_sequencer.h"
#include "analysis/nodal_parameters.h"
#include "analysis/substitution_sink.h"
#include "input/deck_circuit.h"
#include "input/deck_loader.h"
#include "input/netlist_reader.h"
#include "render/json_document.h"
#include "render/latex_document.h"
#include "render/numeric_sink.h"
#include "render/text_renderer.h"
#include "support/spool_output.h"

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

// The output that the reader and the analysis write to while a document is
// made: the netlist's echo goes to one place, the listings of its analysis
// to another.
class SwitchedOutput final : public Output {
 public:
  explicit SwitchedOutput(Output& first) : target_(&first) {}
  void switchTo(Output& target) { target_ = &target; }
  void write(const char* data, std::size_t size) override { target_->write(data, size); }
  bool failed() const override { return target_->failed(); }

 private:
  Output* target_;
};

std::unique_ptr<FormulaDocument> makeDocument(DocumentFormat format, Output& output, const std::string& version) {
  switch (format) {
    case DocumentFormat::kJson: return std::make_unique<JsonDocument>(output, version);
    case DocumentFormat::kLatex: return std::make_unique<LatexDocument>(output, false);
    case DocumentFormat::kLatexBody: return std::make_unique<LatexDocument>(output, true);
    case DocumentFormat::kText: break;
  }
  return nullptr;
}

// One netlist just read: its formulas, each checked against nodal analysis
// when values are applied; or, with no formulas asked for, its parameters
// by nodal analysis alone.
void analyse(AnalysisContext& ctx, FormulaSink& sink, NumericSink* numeric, const RunOptions& options) {
  if (ctx.generation != nullptr) {
    // Approximations during generation, against nodal analysis.
    analyseNetlist(ctx, sink);
    return;
  }
  if (options.noFormulas && options.numeric != nullptr && options.numeric->values != nullptr) {
    analyseNetlistNumerically(ctx, sink, *options.numeric->values);
    return;
  }
  if (numeric != nullptr) numeric->setNetwork(ctx.store);
  analyseNetlist(ctx, sink);
}

// The sink the analysis hands its formulas to: `inner`, or with --numeric
// a sink that writes the chosen elements' values into them first (so that
// the numbers, the cross-check and the approximation see what is printed).
FormulaSink& withSubstitution(FormulaSink& inner, std::optional<SubstitutionSink>& substitution,
                              const RunOptions& options) {
  if (options.numericChoice == nullptr || options.substitutionValues == nullptr ||
      options.substitutionRecord == nullptr)
    return inner;
  substitution.emplace(inner, *options.numericChoice, *options.substitutionValues, *options.substitutionRecord);
  return *substitution;
}

}  // namespace

int runProgram(CharSource& input, Output& output, Allocator& allocator, const RunOptions& options) {
  long start = processorMilliseconds();
  const bool document = options.format != DocumentFormat::kText;
  StringOutput echo;
  SpoolOutput listings;
  SwitchedOutput routed(echo);
  Output& runOutput = document ? static_cast<Output&>(routed) : output;
  // The context is placed in a block from the C heap: a refusal then
  // returns null instead of raising an exception that could not even be
  // allocated when memory is that short.
  void* room = std::malloc(sizeof(AnalysisContext));
  if (room == nullptr) {
    if (document) {
      if (options.errors != nullptr) options.errors->print("velkor: insufficient memory to complete processing\n");
      return 1;
    }
    output.print("{program file name velkor}\n");
    output.print("insufficient memory to complete processing\n");
    output.flush();
    // A failed run says so on standard error too.
    if (options.errors != nullptr) options.errors->print("velkor: error: insufficient memory to complete processing\n");
    return 1;
  }
  std::unique_ptr<AnalysisContext, ContextRelease> ctx(new (room) AnalysisContext(input, runOutput, allocator));
  ctx->plainPath = options.plainPath;
  ctx->jobs = options.jobs;
  ctx->splitAbove = options.splitAbove;
  ctx->meter.workLimit = options.workLimit;
  ctx->diag.attach(options.errors);
  ctx->diag.quiet = options.quiet;
  ctx->diag.strict = options.strict;
  ctx->meter.interruptFlag = options.interruptFlag;
  ctx->meter.secondsPerFunction = options.secondsPerFunction;
  ctx->generation = options.generation;
  ctx->meter.progress = options.progress ? &ctx->diag : nullptr;
  ctx->meter.progressInPlace = options.progressInPlace;
  ctx->store.netlistNumber = 0;
  // The next netlist: read from the input, or the next deck put in the store.
  std::size_t nextDeck = 0;
  auto readNext = [&]() -> int {
    if (options.decks == nullptr) return readNetlist(*ctx);
    if (nextDeck >= options.decks->size()) return 1;
    return loadDeck(*ctx, (*options.decks)[nextDeck++], options.deckParameters);
  };
  if (!document) {
    output.print("{program file name velkor}\n");
    TextRenderer text(output);
    std::optional<NumericSink> numeric;
    if (options.numeric != nullptr) {
      numeric.emplace(text, output, *options.numeric, *options.numericResults);
      numeric->printTextBlocks(true);
    }
    std::optional<SubstitutionSink> substitution;
    FormulaSink& sink = withSubstitution(numeric ? static_cast<FormulaSink&>(*numeric) : text, substitution, options);
    while (!output.failed() && !ctx->meter.interrupted() && readNext() == 0) {
      ++ctx->statistics.netlists;
      analyse(*ctx, sink, numeric ? &*numeric : nullptr, options);
    }
  } else {
    // Each netlist: its echo is kept while it is read, the listings of its
    // analysis while it is analysed; the document gets both afterwards.
    std::unique_ptr<FormulaDocument> doc = makeDocument(options.format, output, options.version);
    std::optional<NumericSink> numeric;
    if (options.numeric != nullptr) {
      numeric.emplace(*doc, output, *options.numeric, *options.numericResults);
      const bool latex = options.format == DocumentFormat::kLatex || options.format == DocumentFormat::kLatexBody;
      const bool bodyOnly = options.format == DocumentFormat::kLatexBody;
      doc->addToParameters([&numeric, latex, bodyOnly](const FinishedFormula& formula) {
        return latex ? numeric->currentLatex(formula, bodyOnly) : numeric->currentJson();
      });
    }
    std::optional<SubstitutionSink> substitution;
    FormulaSink& sink = withSubstitution(numeric ? static_cast<FormulaSink&>(*numeric) : *doc, substitution, options);
    NetlistRecord netlist;
    ctx->diag.keepIn(&netlist.messages);
    doc->beginRun();
    for (;;) {
      echo.clear();
      listings.clear();
      netlist.messages.clear();
      routed.switchTo(echo);
      if (output.failed() || ctx->meter.interrupted() || readNext() != 0) break;
      ++ctx->statistics.netlists;
      netlist.number = ctx->store.netlistNumber;
      netlist.input = echo.text();
      netlist.traced = ctx->store.traceBits != 0;
      doc->beginNetlist(netlist);
      routed.switchTo(listings);
      analyse(*ctx, sink, numeric ? &*numeric : nullptr, options);
      netlist.trace = [&listings](const std::function<void(std::string_view)>& piece) { listings.readBack(piece); };
      doc->endNetlist(netlist);
      netlist.trace = nullptr;
    }
    doc->endRun();
    ctx->diag.keepIn(nullptr);
  }
  if (options.statistics != nullptr) *options.statistics = ctx->statistics;
  // A formula that disagrees with nodal analysis at the values is the
  // program's fault, never passed over.
  const bool faults = options.numericResults != nullptr && !options.numericResults->faults.empty();
  if (faults && options.errors != nullptr)
    for (const std::string& fault : options.numericResults->faults)
      options.errors->print("velkor: internal fault: formula and nodal analysis disagree: %s\n", fault.c_str());
  const bool errors = ctx->diag.errors() > 0;
  const bool interrupted = ctx->meter.interrupted();
  ctx.reset();
  // A run ended by a signal stops where it was, with what it finished.
  if (!document && !interrupted)
    output.print("{elapsed time: %d/%d sec.}\n", static_cast<int>(processorMilliseconds() - start), 1000);
  output.flush();
  return output.failed() || errors || faults ? 1 : 0;
}

std::string runOnString(const std::string& input, const RunOptions& options) {
  StringSource source(input);
  StringOutput output;
  HeapAllocator heap;
  runProgram(source, output, heap, options);
  return output.text();
}

}  // namespace velkor
