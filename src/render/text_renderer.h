// The printed formulas.
#pragma once

namespace velkor {

struct AnalysisContext;
struct PolyRecord;

// Which of the two functions no later formula of the pass needs: on the
// fast path such a function is handed over to the printing instead of
// being copied for it (and is gone afterwards).
struct LastUse {
  bool numerator = false;
  bool denominator = false;
};

// 0 when the formula was printed, 1 when it was not.
int printFormula(AnalysisContext& ctx, int sign, int numeratorTopofun, int denominatorTopofun,
                 LastUse lastUse = LastUse{});
void printPolynomial(AnalysisContext& ctx, const PolyRecord& record);

}  // namespace velkor
