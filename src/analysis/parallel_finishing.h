// The formulas of one pass finished by several jobs at once, printed in
// their order.
//
// Finishing a formula (its copies of the two functions, the conversion to
// ohm units, the common factors, the sorted columns) and printing it take
// as long as evaluating its functions on the larger circuits. With several
// jobs, the formulas after the head of the pass are worked out ahead on
// the jobs' threads, largest first, each up to its printing; the caller's
// thread works out the head itself when no job has begun it, and prints
// each formula in turn straight into the sink, its long polynomials in
// pieces that the jobs print beside it when they have nothing to work out:
// the output is the bytes one job prints. Each formula works on its own
// copies of the functions it needs (a function is handed over instead only
// to its last user, once no formula still waiting needs it), with its own
// factors and ohm exponents.
#pragma once

#include <cstdint>

#include <vector>

#include "analysis/finished_formula.h"
#include "analysis/formula_finishing.h"

namespace velkor {

struct AnalysisContext;
class FormulaSink;

// One requested formula of a pass: its table row and its parameter fields.
struct PassFormula {
  int row = 0;
  FinishedFormula fields;
  LastUse lastUse;      // the functions that no later formula of the pass needs
  bool zero = false;    // numerator and denominator both 0 (a 0/0 warning)
};

// Whether the pass's formulas may be finished apart: several jobs, the
// text output (a sink that could print a formula into a text of its own;
// documents finish their formulas one by one), a thread-safe
// allocator, the fast path, nothing (traces, a time bound) that follows
// the finishing step by step, and formulas of enough terms in all
// (`terms`) that threads save more than they cost.
bool finishApart(const AnalysisContext& ctx, const FormulaSink& sink, int formulas, std::int64_t terms);

// Finishes and prints `formulas` (in pass order) as deliverPass does one
// by one: the 0/0 warning of each before it, the same bytes in the same
// order. A formula whose copies could not be made is finished the usual
// way once every formula before it is printed.
void deliverApart(AnalysisContext& ctx, FormulaSink& sink, std::vector<PassFormula>& formulas);

}  // namespace velkor
