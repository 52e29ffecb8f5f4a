// The printed formulas.
#pragma once

namespace velkor {

struct AnalysisContext;
struct PolyRecord;

// 0 when the formula was printed, 1 when it was not.
int printFormula(AnalysisContext& ctx, int sign, int numeratorTopofun, int denominatorTopofun);
void printPolynomial(AnalysisContext& ctx, const PolyRecord& record);

}  // namespace velkor
