#include "render/formula_signs.h"

#include <limits>

namespace velkor {

namespace {

bool negatable(const PolynomialView& polynomial) {
  bool ok = true;
  polynomial.forEachTerm([&](const TermView& term) {
    ok = ok && term.coefficient != std::numeric_limits<std::int64_t>::min();
  });
  return ok;
}

}  // namespace

bool negatedForDisplay(const PolynomialView& numerator, const PolynomialView& denominator) {
  bool first = true, negative = false;
  int lowest = 0;
  denominator.forEachTerm([&](const TermView& term) {
    if (first) {
      first = false;
      lowest = term.power;
      negative = true;
    }
    if (term.power == lowest && !term.negative()) negative = false;
  });
  return negative && negatable(numerator) && negatable(denominator);
}

void SignedPolynomial::forEachTerm(const std::function<void(const TermView&)>& visit) const {
  if (!negate_) {
    inner_.forEachTerm(visit);
    return;
  }
  inner_.forEachTerm([&](const TermView& term) {
    TermView negated = term;
    negated.coefficient = -term.coefficient;
    RealCoefficient real;
    if (term.real != nullptr) {
      real = *term.real;
      real.value = -real.value;
      negated.real = &real;
    }
    visit(negated);
  });
}

}  // namespace velkor
