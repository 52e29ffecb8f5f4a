// Dominant-term approximation of a finished formula at the run's element
// values: the fewest printed terms that the method finds such that the
// simplified formula H~ stays within a relative error EPS of the exact H
// over a frequency band,
//
//   e = max over the band of |H~(jw) - H(jw)| / |H(jw)|  <=  EPS.
//
// The maximum is taken over a log grid (100 points a decade) together with
// the frequencies of the exact formula's poles and zeros inside the band;
// points where |H| is below 1e-3 of its maximum over the band (deep notches)
// do not count.
//
// Method (simplification after generation, with the exact formula as the
// reference): within each power-of-s coefficient of numerator and
// denominator the terms are ranked by magnitude at the values, and the
// smallest are dropped for as long as the sum of the dropped ones (signs
// included) stays within a budget beta times the coefficient. Because the
// dropped sum is measured, two large terms that cancel are dropped together
// or not at all, never one of them alone. A whole coefficient goes when its
// share of the polynomial, max over the band of |c_k w^k| / |P(jw)|, is at
// most beta. The largest beta whose result meets EPS is found by bisection.
//
// A formula of millions of terms is never copied: the terms are visited
// through the formula's view (three times), their values kept as one double
// each, and only the kept terms are copied at the end.
#pragma once

#include <complex>
#include <cmath>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "analysis/element_values.h"
#include "analysis/finished_formula.h"
#include "analysis/numeric_formula.h"
#include "analysis/numeric_summary.h"
#include "support/work_meter.h"

namespace velkor {

struct ApproximationSettings {
  long double eps = 0.05;  // in (0, 1)
  // The band in Hz; 0 for an end that was not given: that end is then two
  // decades beyond the outermost pole or zero of the exact formula, as for
  // the Bode plot.
  long double fromHz = 0;
  long double toHz = 0;
  // The run's bound on the memory in use (0: none): an approximation whose
  // numbers would not fit is not made.
  std::size_t memoryBound = 0;
};

struct TermCounts {
  std::size_t numerator = 0;
  std::size_t denominator = 0;
};

struct Approximation {
  enum class Outcome {
    Simplified,     // terms were dropped: `numerator` and `denominator` hold the kept ones
    Whole,          // no term can be dropped within eps: the exact formula stands
    MissingValues,  // symbols without a value (`missing`): nothing was computed
    Undefined,      // the denominator is 0 at the values
    MixedUnits,     // printed in mixed ohm units: its symbols are not the elements' values
    Abandoned,      // stopped at the time bound or by a signal
    OverMemory,     // its numbers would not fit under the memory bound
  };
  Outcome outcome = Outcome::Whole;
  long double eps = 0;
  long double error = 0;  // the achieved e (0 for Whole)
  long double fromHz = 0;
  long double toHz = 0;
  TermCounts kept;
  TermCounts total;
  OwnedPolynomial numerator;  // kept terms, as printed, in printed order
  OwnedPolynomial denominator;
  NumericFormula formula;     // the kept terms at the values (Simplified only)
  std::vector<std::string> missing;
  // Made during generation: the exact formula's term count (`total`) is
  // not known; `generated` counts the terms the search generated.
  bool duringGeneration = false;
  TermCounts generated;
  // False when a bound (time, memory, a signal) stopped the search before
  // eps was met: `error` is then the best reached, above eps, and
  // `stoppedBy` names the bound.
  bool met = true;
  std::string stoppedBy;

  bool simplified() const { return outcome == Outcome::Simplified; }
  bool computed() const { return outcome == Outcome::Simplified || outcome == Outcome::Whole; }
};

// The exact response H(jw) that e is measured against, by w in rad/s.
using ExactResponse = std::function<std::complex<long double>(long double omega)>;

// The frequencies on which e is measured, with the exact response there.
class ErrorGrid {
 public:
  // Every point weighed is a step of `meter` (when given); a stopped meter
  // makes every error infinite, so that nothing meets eps.
  // With `sharpHz` (ascending, among frequenciesHz: where |H| can change
  // sharply, the poles' and zeros' frequencies), the grid is screened: the
  // points far below the level that counts, told from a tenth of them and
  // the sharp ones, are not weighed and do not count.
  // The exact response is worked out on up to `jobs` threads at once
  // (`exact` must then be safe to call from several).
  ErrorGrid(const std::vector<long double>& frequenciesHz, ExactResponse exact, WorkMeter* meter = nullptr,
            const std::vector<long double>* sharpHz = nullptr, int jobs = 1);
  // The points that count (rad/s), for the shares of the coefficients.
  std::vector<long double> countedOmegas() const;
  // e of `approximate`: the largest relative error at the points, each
  // local maximum among the largest then refined between its neighbours
  // (a narrow resonance can peak between two points).
  // Without `refine`, the largest error at the points alone (a lower
  // bound, for searches whose result is measured again refined).
  long double error(const NumericFormula& approximate, bool refine = true) const;
  // The relative error at each point that counts, by w in rad/s, without
  // the refinement between points: where an approximation falls short.
  struct PointError {
    long double omega;
    long double error;
  };
  std::vector<PointError> errorProfile(const NumericFormula& approximate) const;

 private:
  using Complex = std::complex<long double>;
  static bool finite(Complex h) { return std::isfinite(h.real()) && std::isfinite(h.imag()); }
  bool counts(Complex h) const { return finite(h) && std::abs(h) >= floor_ && std::abs(h) > 0; }
  long double errorAt(const NumericFormula& approximate, long double omega, Complex exact) const;
  long double refinedMaximum(const NumericFormula& approximate, long double fromOmega, long double toOmega,
                             std::map<long double, Complex>& probes) const;

  // The exact response where the refinement asked for it: the searches for
  // different approximations mostly probe the same frequencies. Known ones
  // are in probed_; new ones go to `probes`, the refinement's own.
  Complex exactAt(long double omega, std::map<long double, Complex>& probes) const;

  ExactResponse exact_;
  WorkMeter* meter_ = nullptr;
  int jobs_ = 1;
  mutable std::map<long double, Complex> probed_;
  std::vector<long double> omega_;
  std::vector<Complex> exactValues_;
  long double floor_ = 0;
};

// The fewest terms of a formula, ranked by size at the values within each
// coefficient of `reference` (the formula's own numeric form, or one close
// to it), that keep e within `eps` on `grid`. Sets the outcome (Simplified
// or Whole; Abandoned when `meter` says stop, OverMemory when the numbers
// would not fit under `memoryBound`), the error, the counts, the kept terms
// and their numbers; the band is left to the caller.
// With `quickSearch`, the search for the budget weighs each candidate at
// the grid's points alone, and only the kept terms are measured refined
// between them (the search goes on below a budget whose terms then miss
// eps); besides its bisection it tries every budget at which the cut
// changes (for few terms; else budgets a quarter decade apart) and
// measures those that keep fewer terms first.
Approximation approximateTerms(const PolynomialView& numerator, const PolynomialView& denominator,
                               const std::vector<std::string>& symbols, const ElementValues& values,
                               const NumericFormula& reference, const ErrorGrid& grid, long double eps,
                               std::size_t memoryBound = 0, WorkMeter* meter = nullptr, bool quickSearch = false);

// `exact` is numericSummary() of the same formula and values. Every term
// weighed and every error point is a step of `meter` (when given); the
// approximation is abandoned when the meter says stop.
Approximation approximateFormula(const PolynomialView& numerator, const PolynomialView& denominator,
                                 const std::vector<std::string>& symbols, const ElementValues& values,
                                 const NumericSummary& exact, const ApproximationSettings& settings,
                                 WorkMeter* meter = nullptr);

// The frequencies (Hz) on which e is measured: the log grid over the band
// and the frequencies of the exact formula's reliable poles and zeros inside it
// (natural frequency, and for a complex root also its imaginary part),
// ascending.
std::vector<long double> approximationGrid(long double fromHz, long double toHz, const NumericSummary& exact);
// The frequencies (Hz) of those poles and zeros inside the band, ascending.
std::vector<long double> rootFrequencies(long double fromHz, long double toHz, const NumericSummary& exact);

}  // namespace velkor
