// The numbers of a formula at the element values as LaTeX (--eval with
// --format=latex or latex-body): its numeric form as a display, broken over
// lines like the formulas; in the full document also the DC value, the
// zeros and the poles, each root in its own math so that the paragraph
// breaks between them.
#pragma once

#include <string>

#include "analysis/numeric_summary.h"

namespace velkor {

// `name` is the parameter typeset (latexName()).
std::string numericLatex(const NumericSummary& summary, const std::string& name, bool bodyOnly);

// A number for math mode: "4.7", "-2.25\cdot 10^{-4}".
std::string latexNumber(long double value, int digits = 6);

}  // namespace velkor
