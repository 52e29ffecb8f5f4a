// Finishing one parameter's formula: its numerator and denominator taken
// from the evaluated functions with the parameter's sign, converted to ohm
// units, and the factors common to both collected, so that the result reads
// as a FinishedFormula.
#pragma once

#include "analysis/finished_formula.h"
#include "analysis/formula_sink.h"

namespace velkor {

struct AnalysisContext;
struct PolyRecord;

// Which of the two functions no later formula of the pass needs: on the
// fast path such a function is handed over to the finishing instead of
// being copied for it (and is gone afterwards).
struct LastUse {
  bool numerator = false;
  bool denominator = false;
};

// Finishes `formula`, whose parameter fields are filled, and hands it to
// the sink: formulaStarted before any work, formulaFinished with the
// outcome and both polynomials. The polynomial copies are released after
// the sink returns. 0 when the formula was finished (or skipped under
// trace bit 512), 1 when it failed.
int finishFormula(AnalysisContext& ctx, FinishedFormula& formula, FormulaSink& sink, LastUse lastUse = LastUse{});

// finishFormula in three steps, for a formula worked out on one thread and
// printed on another. prepareFormula fills the fields the sink reads
// (false when the formula names no function: nothing more is done);
// computeFormula takes the two functions into the context's numerator and
// denominator and works out the ohm units and common factors (its status
// is finishFormula's so far); printComputedFormula hands the formula to the
// sink's formulaFinished (formulaStarted is the caller's, before it) and
// releases the polynomials.
bool prepareFormula(AnalysisContext& ctx, FinishedFormula& formula);
int computeFormula(AnalysisContext& ctx, FinishedFormula& formula, LastUse lastUse);
int printComputedFormula(AnalysisContext& ctx, FinishedFormula& formula, FormulaSink& sink, int status);

// The symbol names of the network in the store, by symbol index.
std::vector<std::string> symbolNames(const AnalysisContext& ctx);

// A polynomial of a finished formula read straight from its record: the
// nonzero terms in printed order, with the common factors divided out.
// Each term visited is a step of `meter` (when given): once the meter says
// stop (a signal, or the time bound of the phase), no further term is
// visited.
class RecordPolynomialView final : public PolynomialView {
 public:
  RecordPolynomialView(const PolyRecord& record, const CommonFactors& factors, WorkMeter* meter = nullptr)
      : record_(record), factors_(factors), meter_(meter) {}
  void forEachTerm(const std::function<void(const TermView&)>& visit) const override;
  std::size_t positions() const override;
  void forEachTermIn(std::size_t begin, std::size_t end, bool& anyBefore, int& powerBefore,
                     const std::function<void(const TermView&)>& visit) const override;

 private:
  const PolyRecord& record_;
  const CommonFactors& factors_;
  WorkMeter* meter_;
};

}  // namespace velkor
