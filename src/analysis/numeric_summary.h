// Everything the numbers say about one formula at the run's element values:
// which symbols lack a value, or else the numeric form, the DC behaviour,
// the zeros and the poles. Renderers (text block, JSON, report) show it.
#pragma once

#include <string>
#include <vector>

#include "analysis/element_values.h"
#include "analysis/finished_formula.h"
#include "analysis/numeric_formula.h"
#include "analysis/polynomial_roots.h"

namespace velkor {

struct NumericSummary {
  std::string name;                  // the parameter, as requested (g21, s11, ...)
  std::vector<std::string> missing;  // symbols without a value; nothing else is set then
  NumericFormula formula;
  LowFrequencyBehaviour lowFrequency;
  std::vector<PolynomialRoot> zeros;
  std::vector<PolynomialRoot> poles;

  bool complete() const { return missing.empty(); }
};

// `symbols` are the formula's symbol names by index.
NumericSummary numericSummary(std::string name, const PolynomialView& numerator, const PolynomialView& denominator,
                              const std::vector<std::string>& symbols, const ElementValues& values);

}  // namespace velkor
