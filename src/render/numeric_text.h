// The numeric form of a formula as a text block (shown after the formula by
// --eval), and the number formats the other numeric renderers share.
#pragma once

#include <complex>
#include <string>

#include "analysis/numeric_summary.h"

namespace velkor {

// A number in at most `digits` significant digits, %g style ("1000",
// "2.5e-08"); "inf", "-inf" and "nan" as such.
std::string formatNumber(long double value, int digits = 6);

// A repeated root's multiplicity in words: "double", "triple", "4-fold".
std::string multiplicityWord(int multiplicity);

// "-707.107 + 707.107j", "-1000" for a real value, "0".
std::string formatComplex(std::complex<long double> value, int digits = 6);

// The block, each line starting with a blank like the formula's lines:
//
//  Numeric:
//  numerator:    s^0  1
//  denominator:  s^0  1
//                s^1  0.000225079
//                s^2  2.53303e-08
//  dc:           1
//  zeros:        none
//  poles:        rad/s                  Hz                     f0 Hz     Q
//                -4442.88 - 4442.88j    -707.107 - 707.107j    1000      0.707107
//                ...
// A root repeated numerically (identical stages) is shown once, with its
// multiplicity in a last column ("double", "triple", "4-fold") that is
// there only when a root is repeated.
//
// or, when values are missing, " Numeric: no value for c1 r2".
std::string numericText(const NumericSummary& summary);

}  // namespace velkor
