// A finished formula typeset as presentation MathML, which browsers render
// natively: the parameter name, then numerator over denominator, each
// polynomial grouped by powers of s as the text output groups it. Symbol
// names become their first letter with the rest as subscript (r1 as r with
// subscript 1, rpi as r with subscript pi, Y0 as Y with subscript 0).
#pragma once

#include <string>
#include <vector>

#include "analysis/finished_formula.h"

namespace velkor {

// A formula whose two polynomials together have more than `termLimit`
// terms shows the first termLimit / 2 terms of each polynomial and how many
// more there are. An approximated formula's name carries a tilde.
inline constexpr int kMathmlTermLimit = 300;

std::string mathmlFormula(const std::string& parameter, const PolynomialView& numerator,
                          const PolynomialView& denominator, const std::vector<std::string>& symbols,
                          int termLimit = kMathmlTermLimit, bool approximated = false);

// A name as MathML: its first letter, then the rest as a subscript.
std::string mathmlName(const std::string& name);

}  // namespace velkor
