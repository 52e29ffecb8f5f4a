#include "analysis/scattering_ahead.h"

#include <exception>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "analysis/analysis_context.h"
#include "analysis/parallel_evaluation.h"
#include "analysis/scattering_embedding.h"
#include "model/parameter_table.h"
#include "support/char_source.h"

namespace velkor {

// The copy the evaluation works on, and its thread.
struct ScatteringAhead::State {
  explicit State(AnalysisContext& run) : ctx(noInput, text, run.alloc) {}
  StringSource noInput{std::string()};
  StringOutput text;  // anything its context printed (nothing, when all went well)
  AnalysisContext ctx;
  std::thread thread;
  bool failed = false;  // the evaluation threw (set on its thread, read after the join)
};

ScatteringAhead::ScatteringAhead(std::unique_ptr<State> state) : state_(std::move(state)) {}

ScatteringAhead::~ScatteringAhead() {
  if (state_->thread.joinable()) state_->thread.join();
  dropHeldFunctions(state_->ctx);
}

std::unique_ptr<ScatteringAhead> ScatteringAhead::start(AnalysisContext& run) {
  bool scattering = false;
  for (int r = 0; r < kParameterCount; ++r)
    scattering = scattering || (run.store.requestFlags[r] != 0 && isScatteringKind(parameterTable[r].kind));
  // The time bound is kept out: a function's time would count the printing
  // it shares the processors with.
  if (!scattering || run.jobs <= 1 || run.meter.secondsPerFunction > 0 || run.meter.interrupted()) return nullptr;
  std::unique_ptr<State> state(new (std::nothrow) State(run));
  if (state == nullptr) return nullptr;
  AnalysisContext& ctx = state->ctx;
  ctx.store = run.store;
  ctx.maps = run.maps;
  ctx.marks = run.marks;
  ctx.plainPath = run.plainPath;
  ctx.jobs = run.jobs;
  ctx.splitAbove = run.splitAbove;
  ctx.meter.interruptFlag = run.meter.interruptFlag;
  ctx.meter.workLimit = run.meter.workLimit;
  // No progress line: the printing shows its own.
  ctx.meter.progress = nullptr;
  for (int& done : ctx.store.topofunDone) done = 0;
  embedScatteringPorts(ctx);
  State* s = state.get();
  try {
    s->thread = std::thread([s] {
      try {
        evaluatePassAhead(s->ctx, true);
      } catch (...) {
        s->failed = true;
      }
    });
  } catch (const std::system_error&) {
    return nullptr;  // no thread to be had: the pass evaluates as it always has
  }
  std::unique_ptr<ScatteringAhead> ahead(new (std::nothrow) ScatteringAhead(std::move(state)));
  if (ahead == nullptr) {
    s->thread.join();
    dropHeldFunctions(s->ctx);
  }
  return ahead;
}

bool ScatteringAhead::handOver(AnalysisContext& run) {
  if (state_->thread.joinable()) state_->thread.join();
  AnalysisContext& ctx = state_->ctx;
  if (state_->failed || !state_->text.text().empty()) return false;
  bool any = false;
  for (const HeldFunction& held : ctx.held.functions) {
    if (!held.held) continue;
    any = true;
    if (!held.started || held.noRecord || held.boundRefused || held.status != 0) return false;
  }
  if (!any) return false;
  dropHeldFunctions(run);
  for (int topofun = 0; topofun < kTopofunCount; ++topofun) {
    HeldFunction& held = ctx.held.functions[topofun];
    if (!held.held) continue;
    releasePolyRecord(run.poly, run.polyRecords[topofun]);
    std::swap(run.polyRecords[topofun], ctx.polyRecords[topofun]);
    run.held.functions[topofun] = std::move(held);
    held = HeldFunction{};
  }
  run.statistics.rawTrees += ctx.statistics.rawTrees;
  run.statistics.acceptedTrees += ctx.statistics.acceptedTrees;
  run.statistics.terms += ctx.statistics.terms;
  run.statistics.functions += ctx.statistics.functions;
  return true;
}

}  // namespace velkor
