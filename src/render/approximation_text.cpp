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

// Why there is no approximation, or nothing for one that was made.
std::string unavailable(const Approximation& a) {
  switch (a.outcome) {
    case Approximation::Outcome::Simplified:
    case Approximation::Outcome::Whole: return {};
    case Approximation::Outcome::Undefined: return "none: the denominator is 0 at these values";
    case Approximation::Outcome::MixedUnits: return "none: the formula is in mixed ohm units";
    case Approximation::Outcome::Abandoned: return "none: abandoned (time bound or signal)";
    case Approximation::Outcome::OverMemory: return "none: its numbers would pass the memory bound";
    case Approximation::Outcome::MissingValues: break;
  }
  std::string text = "none: no value for";
  for (const std::string& name : a.missing) text += " " + name;
  return text;
}

// The kept terms of an approximation made during generation, with the
// terms generated (the exact formula's count is not known).
std::string generatedCounts(const Approximation& a) {
  return "numerator " + std::to_string(a.kept.numerator) + ", denominator " + std::to_string(a.kept.denominator) +
         " (of " + std::to_string(a.generated.numerator) + " and " + std::to_string(a.generated.denominator) +
         " generated, largest first at the values)";
}

std::string notMet(const Approximation& a) {
  return "eps " + formatNumber(a.eps) + " not met: " + a.stoppedBy + " stopped the search at error " +
         formatNumber(a.error, 4) + " over " + band(a);
}

}  // namespace

std::string approximationText(const Approximation& a) {
  if (a.duringGeneration && a.outcome == Approximation::Outcome::Simplified)
    return " " + (a.met ? "eps " + formatNumber(a.eps) + ", error " + formatNumber(a.error, 4) + " over " + band(a)
                        : notMet(a)) +
           "\n kept terms: " + generatedCounts(a) + "\n";
  switch (a.outcome) {
    case Approximation::Outcome::Simplified:
      return " eps " + formatNumber(a.eps) + ", error " + formatNumber(a.error, 4) + " over " + band(a) +
             "\n kept terms: numerator " + keptOfTotal(a.kept.numerator, a.total.numerator) + ", denominator " +
             keptOfTotal(a.kept.denominator, a.total.denominator) + "\n";
    case Approximation::Outcome::Whole:
      return " eps " + formatNumber(a.eps) + " over " + band(a) + ": no term can be dropped; the exact formula stands\n";
    default: return " " + unavailable(a) + "\n";
  }
}

std::string approximationCaption(const Approximation& a) {
  if (a.duringGeneration && a.outcome == Approximation::Outcome::Simplified)
    return (a.met ? "eps " + formatNumber(a.eps) + ", error " + formatNumber(a.error, 4) + " over " + band(a)
                  : notMet(a)) +
           ", kept terms " + generatedCounts(a);
  switch (a.outcome) {
    case Approximation::Outcome::Simplified:
      return "eps " + formatNumber(a.eps) + ", error " + formatNumber(a.error, 4) + " over " + band(a) +
             ", kept terms " + keptOfTotal(a.kept.numerator, a.total.numerator) + " / " +
             keptOfTotal(a.kept.denominator, a.total.denominator);
    case Approximation::Outcome::Whole:
      return "eps " + formatNumber(a.eps) + " over " + band(a) + ": no term can be dropped";
    default: return unavailable(a);
  }
}

}  // namespace velkor
