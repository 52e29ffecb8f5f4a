// The topological functions of one pass evaluated by several jobs at once,
// with the output of one job.
//
// Before a pass evaluates its functions one by one, the functions it will
// ask for are evaluated together: their graph pairs are built in pass
// order, each function's search is cut into subtrees (as many as give the
// jobs even shares; one for a small function), and the jobs take the
// subtrees in order, each accumulating its own terms. The pieces of a
// function are merged in order, which gives the terms, their coefficients
// and their order exactly as one enumeration gives them. The pass then
// takes each held result where it would have evaluated the function, with
// the messages the evaluation printed, so that the output is the same
// bytes for any number of jobs.
//
// One job evaluates (the pass then runs as it always has) when the run has
// one job, when a listing of the t entry is asked for (its lines follow
// the enumeration step by step), or when the allocator cannot serve
// several threads.
#pragma once

#include <string>

#include "model/parameter_table.h"
#include "support/work_meter.h"

namespace velkor {

struct AnalysisContext;

// A function evaluated ahead of its pass's loop, until the loop takes it.
struct HeldFunction {
  bool held = false;
  bool started = false;  // its record was created and its graph built
  bool noRecord = false;  // the heap refused its record
  bool boundRefused = false;  // a refusal was for the bound of --max-memory
  int status = 0;        // the tree product's status
  WorkMeter::Stop stop = WorkMeter::Stop::kNone;
  std::string text;  // what its evaluation printed (a failure's report)
};

struct HeldFunctions {
  HeldFunction functions[kTopofunCount];
};

// Evaluates, with the run's jobs, every function that the pass (the
// scattering rows, or the others) will evaluate, when the run allows more
// than one job; otherwise does nothing.
void evaluatePassAhead(AnalysisContext& ctx, bool scattering);

// When `topofun` is held: concludes its evaluation as evaluateFormula would
// (trace label, printed text, messages, the record kept or not) and returns
// true. False when it is not held.
bool takeHeldFunction(AnalysisContext& ctx, int topofun);

// Gives back what is held and was never taken (a pass stopped part way).
void dropHeldFunctions(AnalysisContext& ctx);

}  // namespace velkor
