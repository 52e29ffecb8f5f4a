// Ohm-unit conversion and the factors common to numerator and denominator.
#pragma once

#include "support/capacities.h"

namespace velkor {

struct AnalysisContext;
struct PolyRecord;

struct CommonFactors {
  int minPower = 2147483647;
  int overallSign = -1;
  int coefficientGcd = 0;
  int minExponents[kSymbolSlots];
  CommonFactors() { for (int& e : minExponents) e = 2147483647; }
};

void resetCommonFactors(AnalysisContext& ctx);
// Works on the numerator and denominator copies; 0, or 1 when memory ran out.
int extractFactors(AnalysisContext& ctx);
void collectOhmExponents(AnalysisContext& ctx, const PolyRecord& record);
int convertToOhmUnits(AnalysisContext& ctx, PolyRecord& record);
void collectCommonFactors(AnalysisContext& ctx, const PolyRecord& record);

}  // namespace velkor
