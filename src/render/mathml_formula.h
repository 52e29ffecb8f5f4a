// A finished formula typeset for the report: presentation MathML, which
// browsers render natively, in an HTML fraction that wraps. The parameter
// name, then numerator over denominator (both negated when the denominator
// would start negative: render/formula_signs.h), each polynomial grouped by
// powers of s as the text output groups it and written as one MathML piece
// per term, so that a long polynomial wraps at term boundaries to the width
// of the page (the report's style sheet lays the pieces out). Symbol
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
