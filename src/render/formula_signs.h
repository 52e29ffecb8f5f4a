// The sign a typeset formula is shown with. The text output and the JSON
// terms print numerator and denominator exactly as the analysis left them;
// the typeset forms (LaTeX, MathML, the report) negate both when every term
// of the denominator's lowest power of s is negative, so that the
// denominator starts with a positive coefficient (-u / (-1 - ...) reads as
// u / (1 + ...)). A mixed lowest group is left as it is: its sign depends
// on the values.
#pragma once

#include "analysis/finished_formula.h"

namespace velkor {

// Whether both polynomials are shown negated. False when a coefficient
// could not be negated (the most negative 64-bit integer).
bool negatedForDisplay(const PolynomialView& numerator, const PolynomialView& denominator);

// A polynomial shown with every coefficient negated, or as it is.
class SignedPolynomial final : public PolynomialView {
 public:
  SignedPolynomial(const PolynomialView& inner, bool negate) : inner_(inner), negate_(negate) {}
  void forEachTerm(const std::function<void(const TermView&)>& visit) const override;

 private:
  const PolynomialView& inner_;
  bool negate_;
};

}  // namespace velkor
