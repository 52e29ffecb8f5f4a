#include "analysis/formula_finishing.h"

#include <cstdint>
#include <cstring>

#include "analysis/analysis_context.h"
#include "analysis/common_factors.h"
#include "model/parameter_table.h"
#include "support/work_meter.h"

namespace velkor {

namespace {

// A formula that could not be finished: its message goes where the formula
// would have been, and to standard error.
void fail(AnalysisContext& ctx, FinishedFormula& formula, FormulaOutcome outcome, const char* message) {
  formula.outcome = outcome;
  formula.message = message;
  ctx.diag.mirrorError(ctx.marks.endAt, message, ctx.alloc.takeBoundRefusal());
}

}  // namespace

void RecordPolynomialView::forEachTerm(const std::function<void(const TermView&)>& visit) const {
  const PolyRecord& record = record_;
  const CommonFactors& f = factors_;
  if (!record.live()) return;
  // No nonzero term anywhere leaves the divisor at 0; nothing is visited then.
  const std::int64_t divisor = f.coefficientGcd == 0 ? 1 : f.coefficientGcd;
  FormulaFactor factors[kSymbolSlots];
  for (int p = 0; p < kPowerColumns; ++p) {
    if (record.powerCounts[p] <= 0 || !columnHasNonzeroTerm(record, p)) continue;
    const int power = p - f.minPower;
    for (int r = 0; r < record.powerCounts[p]; ++r) {
      const Term& term = record.term(record.at(r, p));
      if (term.coefficient == 0) continue;
      int count = 0;
      // Slots past those the term keeps are 0, and no lowest exponent is
      // below 0, so they hold no factor.
      for (int k = 0; k < record.exponentCount; ++k) {
        const int d = static_cast<int>(term.exponents[k]) - f.minExponents[k];
        if (d > 0) factors[count++] = FormulaFactor{k, d};
      }
      if (meter_ != nullptr && !meter_->step()) return;
      visit(TermView{power, static_cast<std::int64_t>(term.coefficient) * f.overallSign / divisor, factors, count});
    }
  }
}

std::vector<std::string> symbolNames(const AnalysisContext& ctx) {
  std::vector<std::string> names(kSymbolSlots);
  for (int k = 0; k < kSymbolSlots && k < kNameSlots; ++k) names[static_cast<std::size_t>(k)] = ctx.store.branchNames[k];
  return names;
}

int finishFormula(AnalysisContext& ctx, FinishedFormula& formula, FormulaSink& sink, LastUse lastUse) {
  const int numeratorTopofun = formula.numeratorTopofun;
  const int denominatorTopofun = formula.denominatorTopofun;
  if (numeratorTopofun < 0 || numeratorTopofun >= kTopofunCount || denominatorTopofun < 0 ||
      denominatorTopofun >= kTopofunCount)
    return 1;
  formula.trace.traceBits = ctx.store.traceBits;
  formula.trace.netlistNumber = ctx.store.netlistNumber;
  formula.trace.traceLabel = ctx.store.traceLabel;
  formula.trace.factors = &ctx.factors;
  formula.units = ctx.traced(kTraceMixedUnits) ? OhmUnits::kMixed : OhmUnits::kConvert;
  formula.symbols = symbolNames(ctx);
  ctx.factors = CommonFactors();
  sink.formulaStarted(formula);

  PolyRecord& numerator = ctx.polyRecords[kNumeratorSlot];
  PolyRecord& denominator = ctx.polyRecords[kDenominatorSlot];
  // The plain path always works on copies. The fast path takes over a
  // function that nothing needs afterwards; when numerator and denominator
  // are the same function, the numerator is a copy.
  const bool takeNumerator = !ctx.plainPath && lastUse.numerator && numeratorTopofun != denominatorTopofun;
  const bool takeDenominator = !ctx.plainPath && lastUse.denominator;
  CopyStatus copied = takePolyRecord(ctx, formula.sign, numerator, ctx.polyRecords[numeratorTopofun], takeNumerator);
  if (copied == CopyStatus::kDone) {
    copied = takePolyRecord(ctx, 1, denominator, ctx.polyRecords[denominatorTopofun], takeDenominator);
    if (copied != CopyStatus::kDone) releasePolyRecord(ctx, numerator);
  }
  if (copied != CopyStatus::kDone) {
    fail(ctx, formula, FormulaOutcome::kFailedCopy, copyFailureMessage(copied));
    sink.formulaFinished(formula);
    return 1;
  }

  int status = 0;
  RecordPolynomialView numeratorView(numerator, ctx.factors, &ctx.meter);
  RecordPolynomialView denominatorView(denominator, ctx.factors, &ctx.meter);
  if (ctx.traced(kTraceNoAccumulation)) {
    formula.outcome = FormulaOutcome::kSkipped;
  } else if (const int extracted = extractFactors(ctx, formula.units, formula.droppedOhmUnits); extracted != 0) {
    fail(ctx, formula, FormulaOutcome::kFailedConversion,
         extracted == kCoefficientOutOfRange ? "coefficient out of 64-bit range\n"
                                             : "insufficient memory to complete processing\n");
    status = 1;
  } else {
    formula.outcome = FormulaOutcome::kDone;
    formula.numerator = &numeratorView;
    formula.denominator = &denominatorView;
  }
  // Printing the formula (and working out its numbers) is a phase with a
  // clock of its own; one that reaches the time bound is cut short, and
  // says so after what it printed. One stopped by a signal says nothing, as
  // the run ends.
  const int boundsBefore = ctx.meter.timeBoundsReached();
  formula.meter = &ctx.meter;
  ctx.meter.beginPhase("printing");
  sink.formulaFinished(formula);
  ctx.meter.end();
  formula.meter = nullptr;
  if (ctx.meter.timeBoundsReached() != boundsBefore) {
    const bool printing = std::strcmp(ctx.meter.lastStopped(), "printing") == 0;
    reportAnalysisError(ctx, "time bound of %g seconds reached: %s of %s abandoned%s\n", ctx.meter.secondsPerFunction,
                        ctx.meter.lastStopped(), formula.name.c_str(),
                        printing ? "; what is shown of it is incomplete" : "");
    status = 1;
  }
  formula.numerator = nullptr;
  formula.denominator = nullptr;
  releasePolyRecord(ctx, numerator);
  releasePolyRecord(ctx, denominator);
  return status;
}

}  // namespace velkor
