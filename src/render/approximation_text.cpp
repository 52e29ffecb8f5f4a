#include "render/approximation_text.h"

#include "render/numeric_text.h"

namespace velkor {

namespace {

std::string band(const Approximation& a) {
  return formatNumber(a.fromHz, 4) + " Hz to " + formatNumber(a.toHz, 4) + " Hz";
}

std::string keptOfTotal(std::size_t kept, std::size_t total) {
  return std::to_string(kept) + " of " + std::to_string(total);
}

std::string unavailable(const Approximation& a) {
  if (a.outcome == Approximation::Outcome::Undefined) return "none, the denominator is 0 at these values";
  std::string text = "none, no value for";
  for (const std::string& name : a.missing) text += " " + name;
  return text;
}

}  // namespace

std::string approximationText(const Approximation& a) {
  switch (a.outcome) {
    case Approximation::Outcome::Simplified:
      return " Approximation: eps " + formatNumber(a.eps) + ", error " + formatNumber(a.error, 4) + " over " + band(a) +
             "\n kept terms: numerator " + keptOfTotal(a.kept.numerator, a.total.numerator) + ", denominator " +
             keptOfTotal(a.kept.denominator, a.total.denominator) + "\n";
    case Approximation::Outcome::Whole:
      return " Approximation: eps " + formatNumber(a.eps) + " over " + band(a) +
             ": no term can be dropped; the exact formula follows\n";
    case Approximation::Outcome::MissingValues:
    case Approximation::Outcome::Undefined:
      break;
  }
  return " Approximation: " + unavailable(a) + "; the exact formula follows\n";
}

std::string approximationCaption(const Approximation& a) {
  switch (a.outcome) {
    case Approximation::Outcome::Simplified:
      return "eps " + formatNumber(a.eps) + ", error " + formatNumber(a.error, 4) + " over " + band(a) +
             ", kept terms " + keptOfTotal(a.kept.numerator, a.total.numerator) + " / " +
             keptOfTotal(a.kept.denominator, a.total.denominator);
    case Approximation::Outcome::Whole:
      return "eps " + formatNumber(a.eps) + " over " + band(a) + ": no term can be dropped";
    case Approximation::Outcome::MissingValues:
    case Approximation::Outcome::Undefined:
      break;
  }
  return unavailable(a);
}

}  // namespace velkor
