// Ohm-unit conversion and the factors common to numerator and denominator.
#pragma once

#include <cstdint>
#include <vector>

#include "support/capacities.h"

namespace velkor {

struct AnalysisContext;
struct PolyRecord;

// What the ohm-unit conversion does with the impedance symbols.
enum class OhmUnits {
  kConvert,  // symbols stand for the element values (R, L, M, Z): the normal form
  kMixed,    // the multipliers are listed and dropped: R stands for 1/R, s*L for s/L
};

// One ohm-unit multiplier: symbol `symbol` to exponent `exponent` (1 or more).
struct OhmUnitFactor {
  int symbol;
  int exponent;
};

struct CommonFactors {
  int minPower = 2147483647;
  int overallSign = -1;
  std::int64_t coefficientGcd = 0;
  int minExponents[kSymbolSlots];
  CommonFactors() { for (int& e : minExponents) e = 2147483647; }
};

void resetCommonFactors(AnalysisContext& ctx);
// Works on the numerator and denominator copies; 0, 1 when memory ran out,
// or kCoefficientOutOfRange when a merge of two terms would overflow. Under
// OhmUnits::kMixed the multipliers are not applied: they are stored in
// `dropped` (symbols in rising order) and set to 0.
int extractFactors(AnalysisContext& ctx, OhmUnits units, std::vector<OhmUnitFactor>& dropped);
void collectOhmExponents(AnalysisContext& ctx, const PolyRecord& record);
// 0, 1 or kCoefficientOutOfRange as extractFactors.
int convertToOhmUnits(AnalysisContext& ctx, PolyRecord& record);
void collectCommonFactors(AnalysisContext& ctx, const PolyRecord& record);

}  // namespace velkor
