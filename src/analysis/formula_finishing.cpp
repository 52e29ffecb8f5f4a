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

// Visits the term at row r of column p, when its coefficient is not 0.
template <typename Visit>
void visitTerm(const PolyRecord& record, const CommonFactors& f, int p, int r, const Visit& visit) {
  const Term& term = record.term(record.at(r, p));
  if (term.coefficient == 0) return;
  // No nonzero term anywhere leaves the divisor at 0; nothing is visited then.
  const std::int64_t divisor = f.coefficientGcd == 0 ? 1 : f.coefficientGcd;
  FormulaFactor factors[kSymbolSlots];
  int count = 0;
  // Slots past those the term keeps are 0, and no lowest exponent is
  // below 0, so they hold no factor.
  for (int k = 0; k < record.exponentCount; ++k) {
    const int d = static_cast<int>(term.exponents[k]) - f.minExponents[k];
    if (d > 0) factors[count++] = FormulaFactor{k, d};
  }
  visit(TermView{p - f.minPower, static_cast<std::int64_t>(term.coefficient) * f.overallSign / divisor, factors, count});
}

bool printedColumn(const PolyRecord& record, int p) {
  return record.powerCounts[p] > 0 && columnHasNonzeroTerm(record, p);
}

}  // namespace

void RecordPolynomialView::forEachTerm(const std::function<void(const TermView&)>& visit) const {
  const PolyRecord& record = record_;
  if (!record.live()) return;
  bool go = true;
  WorkMeter* meter = meter_;
  auto stepped = [&](const TermView& term) {
    go = meter == nullptr || meter->step();
    if (go) visit(term);
  };
  for (int p = 0; p < kPowerColumns && go; ++p) {
    if (!printedColumn(record, p)) continue;
    for (int r = 0; r < record.powerCounts[p] && go; ++r) visitTerm(record, factors_, p, r, stepped);
  }
}

std::size_t RecordPolynomialView::positions() const {
  if (!record_.live()) return 0;
  std::size_t count = 0;
  for (int p = 0; p < kPowerColumns; ++p)
    if (printedColumn(record_, p)) count += static_cast<std::size_t>(record_.powerCounts[p]);
  return count;
}

void RecordPolynomialView::forEachTermIn(std::size_t begin, std::size_t end, bool& anyBefore, int& powerBefore,
                                         const std::function<void(const TermView&)>& visit) const {
  const PolyRecord& record = record_;
  anyBefore = false;
  if (!record.live()) return;
  // Every printed column holds a nonzero term, so the last term before
  // `begin` is in the column that holds `begin`, or else the last of the
  // printed column before it.
  std::size_t at = 0;
  int lastColumn = -1;
  bool first = true;
  std::size_t visited = 0;
  for (int p = 0; p < kPowerColumns && at < end; ++p) {
    if (!printedColumn(record, p)) continue;
    const std::size_t rows = static_cast<std::size_t>(record.powerCounts[p]);
    if (at + rows <= begin) {
      lastColumn = p;
      at += rows;
      continue;
    }
    const std::size_t from = begin > at ? begin - at : 0;
    if (first) {
      first = false;
      for (std::size_t r = from; r-- > 0 && !anyBefore;)
        if (record.term(record.at(static_cast<int>(r), p)).coefficient != 0) {
          anyBefore = true;
          powerBefore = p - factors_.minPower;
        }
      if (!anyBefore && lastColumn >= 0) {
        anyBefore = true;
        powerBefore = lastColumn - factors_.minPower;
      }
    }
    const std::size_t to = end - at < rows ? end - at : rows;
    for (std::size_t r = from; r < to; ++r) {
      // A signal stops the pieces too; the caller's meter sees it as well.
      if ((++visited & 1023u) == 0 && meter_ != nullptr && meter_->interrupted()) return;
      visitTerm(record, factors_, p, static_cast<int>(r), visit);
    }
    at += rows;
  }
}

std::vector<std::string> symbolNames(const AnalysisContext& ctx) {
  std::vector<std::string> names(kSymbolSlots);
  for (int k = 0; k < kSymbolSlots && k < kNameSlots; ++k) names[static_cast<std::size_t>(k)] = ctx.store.branchNames[k];
  return names;
}

bool prepareFormula(AnalysisContext& ctx, FinishedFormula& formula) {
  const int numeratorTopofun = formula.numeratorTopofun;
  const int denominatorTopofun = formula.denominatorTopofun;
  if (numeratorTopofun < 0 || numeratorTopofun >= kTopofunCount || denominatorTopofun < 0 ||
      denominatorTopofun >= kTopofunCount)
    return false;
  formula.trace.traceBits = ctx.store.traceBits;
  formula.trace.netlistNumber = ctx.store.netlistNumber;
  formula.trace.traceLabel = ctx.store.traceLabel;
  formula.trace.factors = &ctx.factors;
  formula.units = ctx.traced(kTraceMixedUnits) ? OhmUnits::kMixed : OhmUnits::kConvert;
  formula.symbols = symbolNames(ctx);
  ctx.factors = CommonFactors();
  return true;
}

int computeFormula(AnalysisContext& ctx, FinishedFormula& formula, LastUse lastUse) {
  const int numeratorTopofun = formula.numeratorTopofun;
  const int denominatorTopofun = formula.denominatorTopofun;
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
    return 1;
  }
  if (ctx.traced(kTraceNoAccumulation)) {
    formula.outcome = FormulaOutcome::kSkipped;
  } else if (const int extracted = extractFactors(ctx, formula.units, formula.droppedOhmUnits); extracted != 0) {
    fail(ctx, formula, FormulaOutcome::kFailedConversion,
         extracted == kCoefficientOutOfRange ? "coefficient out of 64-bit range\n"
                                             : "insufficient memory to complete processing\n");
    return 1;
  } else {
    formula.outcome = FormulaOutcome::kDone;
  }
  return 0;
}

int printComputedFormula(AnalysisContext& ctx, FinishedFormula& formula, FormulaSink& sink, int status) {
  if (formula.outcome == FormulaOutcome::kFailedCopy) {
    sink.formulaFinished(formula);
    return 1;
  }
  PolyRecord& numerator = ctx.polyRecords[kNumeratorSlot];
  PolyRecord& denominator = ctx.polyRecords[kDenominatorSlot];
  RecordPolynomialView numeratorView(numerator, ctx.factors, &ctx.meter);
  RecordPolynomialView denominatorView(denominator, ctx.factors, &ctx.meter);
  if (formula.outcome == FormulaOutcome::kDone) {
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

int finishFormula(AnalysisContext& ctx, FinishedFormula& formula, FormulaSink& sink, LastUse lastUse) {
  if (!prepareFormula(ctx, formula)) return 1;
  sink.formulaStarted(formula);
  const int status = computeFormula(ctx, formula, lastUse);
  return printComputedFormula(ctx, formula, sink, status);
}

}  // namespace velkor
