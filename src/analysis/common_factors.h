// Ohm-unit conversion and the factors common to numerator and denominator.
#pragma once

#include <cstdint>

#include "support/capacities.h"

namespace velkor {

struct AnalysisContext;
struct PolyRecord;

struct CommonFactors {
  int minPower = 2147483647;
  int overallSign = -1;
  std::int64_t coefficientGcd = 0;
  int minExponents[kSymbolSlots];
  CommonFactors() { for (int& e : minExponents) e = 2147483647; }
};

void resetCommonFactors(AnalysisContext& ctx);
// Works on the numerator and denominator copies; 0, 1 when memory ran out,
// or kCoefficientOutOfRange when a merge of two terms would overflow.
int extractFactors(AnalysisContext& ctx);
void collectOhmExponents(AnalysisContext& ctx, const PolyRecord& record);
// 0, 1 or kCoefficientOutOfRange as extractFactors.
int convertToOhmUnits(AnalysisContext& ctx, PolyRecord& record);
void collectCommonFactors(AnalysisContext& ctx, const PolyRecord& record);

}  // namespace velkor
