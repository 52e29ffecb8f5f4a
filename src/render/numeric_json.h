// The numeric form of a formula as the "numeric" object of the JSON output:
//   "numerator", "denominator": coefficients per power of s, lowest power
//       of the printed formula first (numbers);
//   "zeros", "poles": [re, im] in rad/s, for every root whose position the
//       numbers fix, a repeated one as many times as it counts (its value
//       the mean of the cluster);
//   "multiplicity": {"zeros": [...], "poles": [...]}, only where a root is
//       repeated: beside each entry of "zeros" and "poles", its multiplicity;
//   "ill_conditioned": {"zeros": [...], "poles": [...]}
//       with the approximate [re, im] of the others;
//   "dc": the DC value, or null when it is infinite or undefined;
//   "missing": the symbols without a value (all else empty or null then).
#pragma once

#include <nlohmann/json.hpp>

#include "analysis/numeric_summary.h"

namespace velkor {

nlohmann::ordered_json numericJson(const NumericSummary& summary);

}  // namespace velkor
