#include "analysis/approximation.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <numeric>
#include <optional>
#include <span>

#include "analysis/frequency_response.h"
#include "support/memory_use.h"
#include "support/parallel_for.h"

namespace velkor {

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;
constexpr int kPointsPerDecade = 100;
// Points where |H| is below this share of its maximum over the band do not
// count towards the error.
constexpr long double kNotchLevel = 1e-3L;
// A screened grid weighs every tenth point first, and the points between
// two of them only where one comes within a hundredth of the notch level.
constexpr std::size_t kScreenStride = 10;
constexpr long double kScreenMargin = 1e-2L;
// The budget is searched between 10^kLowestBudgetLog and 1.
constexpr long double kLowestBudgetLog = -18;
constexpr int kBisectionSteps = 24;
// A quick search first looks at budgets this many decades apart: the error
// need not grow with the budget, and bisection alone can step over a larger
// budget that keeps fewer terms and meets eps.
constexpr long double kScanStep = 0.25L;
// How many of the scan's candidates are measured on their kept terms.
constexpr std::size_t kScannedCandidates = 4;
// A formula of at most this many terms is cut at every budget at which a
// cut changes, each just above its breakpoint (in decades).
constexpr std::size_t kEveryBudgetTerms = 200;
constexpr long double kJustAbove = 1e-12L;
// How many of the largest local maxima of the error on the grid are refined.
constexpr std::size_t kRefinedPeaks = 4;
// How often a result whose error, measured on its copied terms, exceeds eps
// sends the search back below its budget.
constexpr int kVerificationRounds = 3;

using Complex = std::complex<long double>;

// One step of the meter (none: never stops); false when the work must stop.
bool step(WorkMeter* meter) { return meter == nullptr || meter->step(); }
bool stopped(const WorkMeter* meter) { return meter != nullptr && meter->stopped() != WorkMeter::Stop::kNone; }

// A term's value divided by its group's scale, as a double. The same
// function computes it in every pass over the terms, so that a term's value
// is the same number each time.
double scaledValue(const TermView& term, std::span<const long double> values, long double scale) {
  if (scale <= 0) return 0.0;
  return static_cast<double>(termValue(term, values) / scale);
}

// The ranking order: by magnitude, then negative before positive.
bool rankedBefore(double a, double b) {
  double ma = std::fabs(a), mb = std::fabs(b);
  return ma < mb || (ma == mb && a < b);
}

// What a budget keeps of one polynomial.
struct Cut {
  std::vector<std::size_t> dropped;  // per group: how many of its smallest terms go
  std::vector<bool> wholeDropped;    // per coefficient
  std::size_t kept = 0;
  NumericPolynomial approximate;  // the kept terms' coefficients
};

// The terms of one polynomial, ranked by magnitude at the values within
// each group (a run of terms of one power of s; printed order has one run
// per power).
class RankedPolynomial {
 public:
  RankedPolynomial(const PolynomialView& view, std::span<const long double> values, const NumericPolynomial& exact,
                   const std::vector<long double>& bandOmegas, std::size_t memoryBound, WorkMeter* meter)
      : view_(view), values_(values), exact_(exact), memoryBound_(memoryBound), meter_(meter) {
    // First pass: the groups, their sizes and scales.
    int lastPower = 0;
    std::size_t count = 0;
    view_.forEachTerm([&](const TermView& term) {
      if (groups_.empty() || term.power != lastPower) {
        groups_.push_back(Group{count, 0, static_cast<std::size_t>(term.power - exact_.lowestPower), 0});
        lastPower = term.power;
      }
      Group& g = groups_.back();
      ++g.count;
      g.scale += std::fabs(termValue(term, values_));
      ++count;
      factors_ += static_cast<std::size_t>(term.factorCount);
    });
    if (stopped(meter_)) return;
    // One number a term, and the sort's room.
    if (!memoryFits(memoryBound_, 2 * count * sizeof(double) + 2 * count * sizeof(long double))) {
      overMemory_ = true;
      return;
    }
    // Second pass: each term's scaled value; then each group is sorted.
    sorted_.resize(count);
    std::size_t index = 0, group = 0;
    view_.forEachTerm([&](const TermView& term) {
      while (index >= groups_[group].begin + groups_[group].count) ++group;
      sorted_[index++] = scaledValue(term, values_, groups_[group].scale);
    });
    for (const Group& g : groups_) {
      auto begin = sorted_.begin() + static_cast<std::ptrdiff_t>(g.begin);
      std::sort(begin, begin + static_cast<std::ptrdiff_t>(g.count), rankedBefore);
    }
    // Each group's running sums in ranking order (all but its largest
    // term, which always stays), and from each on the least magnitude of
    // the sums from there to the end: it never falls along the group, so
    // that the longest run of smallest terms within a budget is found by
    // bisection (see cut()).
    runningSum_.resize(count);
    leastAfter_.resize(count);
    for (const Group& g : groups_) {
      long double sum = 0;
      for (std::size_t j = 0; j + 1 < g.count; ++j) {
        sum += sorted_[g.begin + j];
        runningSum_[g.begin + j] = sum;
      }
      long double least = INFINITY;
      for (std::size_t j = g.count - 1; j-- > 0;) {
        // (A sum that is not a number is within no budget.)
        if (const long double m = std::fabs(runningSum_[g.begin + j]); m < least) least = m;
        leastAfter_[g.begin + j] = least;
      }
    }
    // Each coefficient's largest share of the polynomial over the band.
    share_.assign(exact_.coefficients.size(), 0.0L);
    for (long double omega : bandOmegas) {
      if (!step(meter_)) return;
      long double whole = std::abs(exact_.evaluate(Complex{0.0L, omega}));
      for (std::size_t k = 0; k < share_.size(); ++k) {
        long double part =
            std::fabs(exact_.coefficients[k]) * std::pow(omega, static_cast<long double>(k) + exact_.lowestPower);
        share_[k] = std::max(share_[k], whole > 0 ? part / whole : INFINITY);
      }
    }
  }

  std::size_t total() const { return sorted_.size(); }

  // The budgets at which cut() changes: where a run of a group's smallest
  // terms first fits within the budget, and where a coefficient is dropped
  // whole.
  void breakpoints(std::vector<long double>& out) const {
    for (std::size_t k = 0; k < share_.size(); ++k)
      if (exact_.coefficients[k] != 0) out.push_back(share_[k]);
    for (const Group& group : groups_) {
      const long double coefficient = std::fabs(exact_.coefficients[group.coefficient]);
      if (coefficient == 0) continue;
      for (std::size_t j = 0; j + 1 < group.count; ++j)
        out.push_back(std::fabs(runningSum_[group.begin + j]) * group.scale / coefficient);
    }
  }
  bool overMemory() const { return overMemory_; }

  Cut cut(long double budget) const {
    Cut cut;
    cut.dropped.assign(groups_.size(), 0);
    cut.wholeDropped.assign(exact_.coefficients.size(), false);
    cut.approximate.lowestPower = exact_.lowestPower;
    cut.approximate.coefficients = exact_.coefficients;
    cut.approximate.errorBounds.assign(exact_.coefficients.size(), 0.0L);
    for (std::size_t k = 0; k < share_.size(); ++k) {
      if (exact_.coefficients[k] == 0 || share_[k] <= budget) {
        cut.wholeDropped[k] = true;
        cut.approximate.coefficients[k] = 0;
      }
    }
    for (std::size_t g = 0; g < groups_.size(); ++g) {
      const Group& group = groups_[g];
      if (cut.wholeDropped[group.coefficient]) {
        cut.dropped[g] = group.count;
        continue;
      }
      // The longest run of smallest terms whose sum stays within the budget
      // (the last running sum within it); the largest term always stays.
      if (!step(meter_)) break;  // the caller sees the meter stopped
      long double limit = budget * std::fabs(exact_.coefficients[group.coefficient]) / group.scale;
      long double droppedSum = 0;
      std::size_t dropped = 0;
      if (group.count > 1 && !std::isnan(limit)) {
        const auto least = leastAfter_.begin() + static_cast<std::ptrdiff_t>(group.begin);
        const auto end = least + static_cast<std::ptrdiff_t>(group.count - 1);
        // The first place from which no running sum is within the limit.
        const auto past = std::upper_bound(least, end, limit);
        dropped = static_cast<std::size_t>(past - least);
        if (dropped > 0) droppedSum = runningSum_[group.begin + dropped - 1];
      }
      cut.dropped[g] = dropped;
      cut.kept += group.count - dropped;
      cut.approximate.coefficients[group.coefficient] -= droppedSum * group.scale;
    }
    return cut;
  }

  // Whether the terms that `cut` keeps fit under the memory bound as copies
  // (at most as many factors as all the terms have).
  bool keptTermsFit(const Cut& cut) const {
    constexpr std::size_t kBlockOverhead = 32;  // the C heap's header and rounding of each term's factors
    return memoryFits(memoryBound_, cut.kept * (sizeof(OwnedPolynomial::Term) + kBlockOverhead) +
                                         std::min(factors_, cut.kept * kMaxFactorsPerTerm) * sizeof(FormulaFactor));
  }

  // Copies the terms that `cut` keeps, in printed order. Returns nothing if
  // the count differs from the cut's (it cannot, as long as a term's value
  // is computed alike in every pass, and no stop cut the pass short).
  std::optional<OwnedPolynomial> keptTerms(const Cut& cut) const {
    // Per group: the last dropped value, and how many terms with exactly
    // that value go (the first ones in printed order).
    std::vector<double> threshold(groups_.size(), 0.0);
    std::vector<std::size_t> tiesDropped(groups_.size(), 0);
    for (std::size_t g = 0; g < groups_.size(); ++g) {
      std::size_t m = cut.dropped[g];
      if (m == 0 || m == groups_[g].count) continue;
      const double* first = sorted_.data() + groups_[g].begin;
      threshold[g] = first[m - 1];
      std::size_t equalFrom = m - 1;
      while (equalFrom > 0 && first[equalFrom - 1] == threshold[g]) --equalFrom;
      tiesDropped[g] = m - equalFrom;
    }
    OwnedPolynomial kept;
    kept.terms.reserve(cut.kept);
    std::vector<std::size_t> tiesSeen(groups_.size(), 0);
    std::size_t index = 0, group = 0;
    view_.forEachTerm([&](const TermView& term) {
      while (index >= groups_[group].begin + groups_[group].count) ++group;
      ++index;
      std::size_t m = cut.dropped[group];
      if (m == groups_[group].count) return;
      if (m > 0) {
        double value = scaledValue(term, values_, groups_[group].scale);
        if (rankedBefore(value, threshold[group])) return;
        if (value == threshold[group] && tiesSeen[group]++ < tiesDropped[group]) return;
      }
      kept.terms.push_back(OwnedPolynomial::Term{term.power, term.coefficient,
                                                 std::vector<FormulaFactor>(term.factors, term.factors + term.factorCount),
                                                 term.real != nullptr ? std::optional(*term.real) : std::nullopt});
    });
    if (kept.terms.size() != cut.kept) return std::nullopt;
    return kept;
  }

 private:
  struct Group {
    std::size_t begin = 0;
    std::size_t count = 0;
    std::size_t coefficient = 0;  // index into the exact coefficients
    long double scale = 0;        // sum of the magnitudes of its terms' values
  };

  // A generous bound on the factors of one term (symbols of a netlist).
  static constexpr std::size_t kMaxFactorsPerTerm = 128;

  const PolynomialView& view_;
  std::span<const long double> values_;
  const NumericPolynomial& exact_;
  std::size_t memoryBound_ = 0;
  WorkMeter* meter_ = nullptr;
  bool overMemory_ = false;
  std::size_t factors_ = 0;  // over all terms
  std::vector<Group> groups_;
  std::vector<double> sorted_;       // scaled term values, each group in ranking order
  std::vector<long double> runningSum_, leastAfter_;  // per term of sorted_ (see the constructor)
  std::vector<long double> share_;  // per coefficient
};

// The band with its defaults filled in, as for the Bode plot.
void fillBand(Approximation& result, const NumericSummary& exact, const ApproximationSettings& settings) {
  FrequencyRange range = frequencyBand({exact.zeros, exact.poles}, 0, settings.fromHz, settings.toHz);
  result.fromHz = range.fromHz;
  result.toHz = range.toHz;
}

}  // namespace

ErrorGrid::ErrorGrid(const std::vector<long double>& frequenciesHz, ExactResponse exact, WorkMeter* meter,
                     const std::vector<long double>* sharpHz, int jobs)
    : exact_(std::move(exact)), meter_(meter), jobs_(jobs) {
  const std::size_t n = frequenciesHz.size();
  omega_.resize(n);
  exactValues_.assign(n, Complex(0));  // a point not weighed stays 0: it does not count
  for (std::size_t i = 0; i < n; ++i) omega_[i] = 2 * kPi * frequenciesHz[i];
  long double largest = 0;
  // The exact response at `points`, worked out by the jobs side by side.
  auto weigh = [&](const std::vector<std::size_t>& points) {
    parallelFor(points.size(), jobs_, [&](std::size_t k) { exactValues_[points[k]] = exact_(omega_[points[k]]); });
    for (std::size_t i : points)
      if (finite(exactValues_[i])) largest = std::max(largest, std::abs(exactValues_[i]));
  };
  std::vector<std::size_t> points;
  if (sharpHz == nullptr) {
    points.resize(n);
    std::iota(points.begin(), points.end(), std::size_t{0});
    weigh(points);
  } else {
    // Screened: every kScreenStride-th point and the sharp frequencies
    // first, then the points between two screen points only where one of
    // them comes within kScreenMargin of the notch level (or is not
    // finite). The others lie where |H| is far below what counts.
    std::vector<std::size_t> screen;
    for (std::size_t i = 0; i < n; ++i)
      if (i % kScreenStride == 0 || i + 1 == n ||
          std::binary_search(sharpHz->begin(), sharpHz->end(), frequenciesHz[i]))
        screen.push_back(i);
    weigh(screen);
    const long double level = kNotchLevel * kScreenMargin * largest;
    auto near = [&](std::size_t i) { return !finite(exactValues_[i]) || std::abs(exactValues_[i]) >= level; };
    for (std::size_t k = 0; k + 1 < screen.size(); ++k)
      if (near(screen[k]) || near(screen[k + 1]))
        for (std::size_t i = screen[k] + 1; i < screen[k + 1]; ++i) points.push_back(i);
    weigh(points);
  }
  floor_ = kNotchLevel * largest;
}

std::vector<long double> ErrorGrid::countedOmegas() const {
    std::vector<long double> counted;
    for (std::size_t i = 0; i < omega_.size(); ++i)
      if (counts(exactValues_[i])) counted.push_back(omega_[i]);
    return counted;
  }

long double ErrorGrid::error(const NumericFormula& approximate, bool refine) const {
    std::vector<long double> errors(omega_.size(), 0.0L);
    long double worst = 0;
    for (std::size_t i = 0; i < omega_.size(); ++i) {
      if (!step(meter_)) return INFINITY;  // the caller sees the meter stopped
      errors[i] = errorAt(approximate, omega_[i], exactValues_[i]);
      worst = std::max(worst, errors[i]);
    }
    if (!std::isfinite(worst) || !refine) return worst;
    std::vector<std::size_t> peaks;
    for (std::size_t i = 1; i + 1 < omega_.size(); ++i)
      if (errors[i] >= worst / 2 && errors[i] > 0 && errors[i] >= errors[i - 1] && errors[i] >= errors[i + 1])
        peaks.push_back(i);
    std::size_t refined = std::min(peaks.size(), kRefinedPeaks);
    std::partial_sort(peaks.begin(), peaks.begin() + static_cast<std::ptrdiff_t>(refined), peaks.end(),
                      [&](std::size_t a, std::size_t b) { return errors[a] > errors[b]; });
    // The peaks are refined side by side, each noting the frequencies it
    // probed apart; they are kept for later searches once all are done.
    std::vector<long double> maxima(refined, 0.0L);
    std::vector<std::map<long double, Complex>> probes(refined);
    parallelFor(refined, jobs_, [&](std::size_t k) {
      maxima[k] = refinedMaximum(approximate, omega_[peaks[k] - 1], omega_[peaks[k] + 1], probes[k]);
    });
    for (std::size_t k = 0; k < refined; ++k) {
      worst = std::max(worst, maxima[k]);
      probed_.merge(probes[k]);
    }
    return worst;
  }

std::vector<ErrorGrid::PointError> ErrorGrid::errorProfile(const NumericFormula& approximate) const {
  std::vector<PointError> profile;
  for (std::size_t i = 0; i < omega_.size(); ++i) {
    if (!counts(exactValues_[i])) continue;
    if (!step(meter_)) break;  // the caller sees the meter stopped
    profile.push_back(PointError{omega_[i], errorAt(approximate, omega_[i], exactValues_[i])});
  }
  return profile;
}

long double ErrorGrid::errorAt(const NumericFormula& approximate, long double omega, Complex exact) const {
    if (!counts(exact)) return 0;
    long double e = std::abs(approximate.atFrequency(omega) - exact) / std::abs(exact);
    return std::isfinite(e) ? e : INFINITY;
  }

std::complex<long double> ErrorGrid::exactAt(long double omega, std::map<long double, Complex>& probes) const {
  if (auto known = probed_.find(omega); known != probed_.end()) return known->second;
  auto [it, fresh] = probes.try_emplace(omega);
  if (fresh) it->second = exact_(omega);
  return it->second;
}

// Golden-section search for the largest error between two frequencies.
long double ErrorGrid::refinedMaximum(const NumericFormula& approximate, long double fromOmega, long double toOmega,
                                      std::map<long double, Complex>& probes) const {
    constexpr long double kInverseGolden = 0.6180339887498948482L;
    auto at = [&](long double logOmega) {
      long double omega = std::exp(logOmega);
      return errorAt(approximate, omega, exactAt(omega, probes));
    };
    long double a = std::log(fromOmega), b = std::log(toOmega);
    long double c = b - kInverseGolden * (b - a), d = a + kInverseGolden * (b - a);
    long double fc = at(c), fd = at(d), best = std::max(fc, fd);
    for (int step = 0; step < 30 && b - a > 1e-7L; ++step) {
      if (fc >= fd) {
        b = d, d = c, fd = fc;
        c = b - kInverseGolden * (b - a);
        fc = at(c);
      } else {
        a = c, c = d, fc = fd;
        d = a + kInverseGolden * (b - a);
        fd = at(d);
      }
      best = std::max({best, fc, fd});
    }
    return best;
}


std::vector<long double> rootFrequencies(long double fromHz, long double toHz, const NumericSummary& exact) {
  std::vector<long double> found;
  auto add = [&](long double radiansPerSecond) {
    long double f = hertz(radiansPerSecond);
    if (std::isfinite(f) && f > fromHz && f < toHz) found.push_back(f);
  };
  for (const auto* roots : {&exact.zeros, &exact.poles})
    for (const PolynomialRoot& root : *roots) {
      if (!root.reliable) continue;
      add(root.naturalFrequency());
      if (root.isComplex()) add(std::fabs(root.value.imag()));
    }
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<long double> approximationGrid(long double fromHz, long double toHz, const NumericSummary& exact) {
  long double decades = std::log10(toHz / fromHz);
  int points = std::max(2, static_cast<int>(std::ceil(decades * kPointsPerDecade)) + 1);
  std::vector<long double> grid = logFrequencyGrid(FrequencyRange{fromHz, toHz, points});
  const std::vector<long double> roots = rootFrequencies(fromHz, toHz, exact);
  grid.insert(grid.end(), roots.begin(), roots.end());
  std::sort(grid.begin(), grid.end());
  grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
  return grid;
}

Approximation approximateFormula(const PolynomialView& numerator, const PolynomialView& denominator,
                                 const std::vector<std::string>& symbols, const ElementValues& values,
                                 const NumericSummary& exact, const ApproximationSettings& settings,
                                 WorkMeter* meter) {
  Approximation result;
  result.eps = settings.eps;
  if (!exact.complete()) {
    result.outcome = Approximation::Outcome::MissingValues;
    result.missing = exact.missing;
    return result;
  }
  fillBand(result, exact, settings);
  if (!exact.lowFrequency.defined) {
    result.outcome = Approximation::Outcome::Undefined;
    return result;
  }
  ErrorGrid grid(approximationGrid(result.fromHz, result.toHz, exact),
                 [&exact](long double omega) { return exact.formula.atFrequency(omega); }, meter);
  Approximation terms =
      approximateTerms(numerator, denominator, symbols, values, exact.formula, grid, settings.eps,
                       settings.memoryBound, meter);
  terms.fromHz = result.fromHz;
  terms.toHz = result.toHz;
  return terms;
}

Approximation approximateTerms(const PolynomialView& numerator, const PolynomialView& denominator,
                               const std::vector<std::string>& symbols, const ElementValues& values,
                               const NumericFormula& reference, const ErrorGrid& grid, long double eps,
                               std::size_t memoryBound, WorkMeter* meter, bool quickSearch) {
  Approximation result;
  result.eps = eps;
  ApproximationSettings settings;
  settings.eps = eps;
  // Work cut short by the meter, or numbers that would not fit.
  auto giveUp = [&](Approximation::Outcome outcome) {
    Approximation none;
    none.eps = eps;
    none.outcome = outcome;
    return none;
  };
  auto abandoned = [&] { return giveUp(Approximation::Outcome::Abandoned); };
  std::vector<long double> counted = grid.countedOmegas();

  SymbolAssignment assignment = assignSymbols(symbols, values);
  RankedPolynomial rankedNumerator(numerator, assignment.values, reference.numerator, counted, memoryBound, meter);
  if (stopped(meter)) return abandoned();
  if (rankedNumerator.overMemory()) return giveUp(Approximation::Outcome::OverMemory);
  RankedPolynomial rankedDenominator(denominator, assignment.values, reference.denominator, counted, memoryBound,
                                     meter);
  if (stopped(meter)) return abandoned();
  if (rankedDenominator.overMemory()) return giveUp(Approximation::Outcome::OverMemory);
  result.total = TermCounts{rankedNumerator.total(), rankedDenominator.total()};
  result.kept = result.total;
  if (counted.empty()) return result;  // a formula that is 0 everywhere: nothing to weigh

  struct Candidate {
    long double budgetLog = 0;
    std::size_t kept = 0;
    long double error = 0;
  };
  auto attempt = [&](long double budgetLog) {
    long double budget = std::pow(10.0L, budgetLog);
    Cut n = rankedNumerator.cut(budget), d = rankedDenominator.cut(budget);
    return Candidate{budgetLog, n.kept + d.kept,
                     grid.error(NumericFormula{std::move(n.approximate), std::move(d.approximate)}, !quickSearch)};
  };
  std::size_t totalTerms = result.total.numerator + result.total.denominator;
  long double high = 0;
  // A quick first round that misses eps does not count among the rounds.
  const int rounds = kVerificationRounds + (quickSearch ? 1 : 0);
  for (int round = 0; round < rounds; ++round) {
    // The largest budget (fewest terms) that meets eps, by bisection on its
    // logarithm; the error need not grow with the budget everywhere, so the
    // best candidate seen is kept. A stopped meter makes every error
    // infinite, so that nothing meets eps.
    std::optional<Candidate> best;
    auto consider = [&](const Candidate& c) {
      bool meets = c.error <= settings.eps;
      if (meets && (!best || c.kept < best->kept || (c.kept == best->kept && c.error < best->error))) best = c;
      return meets;
    };
    const long double top = high;  // the bisection lowers `high`
    long double low = kLowestBudgetLog;
    if (!consider(attempt(high))) {
      if (!consider(attempt(low))) return stopped(meter) ? abandoned() : result;
      for (int step = 0; step < kBisectionSteps && !stopped(meter); ++step) {
        long double middle = (low + high) / 2;
        (consider(attempt(middle)) ? low : high) = middle;
      }
    }
    if (stopped(meter)) return abandoned();
    if (!best || best->kept >= totalTerms) return result;
    // The candidates to measure on their kept terms, fewest terms first:
    // with a quick search, also budgets every kScanStep that keep fewer
    // terms than the bisection's (a few of the fewest), since the error
    // need not grow with the budget and bisection can step over them.
    std::vector<Candidate> candidates;
    if (quickSearch) {
      // Few terms: every budget at which the cut changes (just above it),
      // those above 1 too: a coefficient that counts across the band can
      // still go, with its partner, where a pole and a zero cancel.
      std::vector<long double> budgets;
      if (totalTerms <= kEveryBudgetTerms) {
        std::vector<long double> points;
        rankedNumerator.breakpoints(points);
        rankedDenominator.breakpoints(points);
        for (long double b : points)
          if (b > 0 && std::isfinite(b)) {
            const long double budgetLog = std::log10(b) + kJustAbove;
            if (budgetLog >= kLowestBudgetLog) budgets.push_back(budgetLog);
          }
        std::sort(budgets.begin(), budgets.end());
        budgets.erase(std::unique(budgets.begin(), budgets.end()), budgets.end());
      } else {
        for (long double b = top; b >= kLowestBudgetLog; b -= kScanStep) budgets.push_back(b);
      }
      for (long double budgetLog : budgets) {
        if (stopped(meter)) break;
        const Candidate c = attempt(budgetLog);
        if (c.error <= settings.eps && c.kept < best->kept) candidates.push_back(c);
      }
      if (stopped(meter)) return abandoned();
      std::stable_sort(candidates.begin(), candidates.end(),
                       [](const Candidate& a, const Candidate& b) { return a.kept < b.kept; });
      candidates.resize(std::min(candidates.size(), kScannedCandidates));
    }
    candidates.push_back(*best);

    for (const Candidate& candidate : candidates) {
      // The kept terms, and the error measured on them as printed.
      long double budget = std::pow(10.0L, candidate.budgetLog);
      Cut n = rankedNumerator.cut(budget), d = rankedDenominator.cut(budget);
      if (!rankedNumerator.keptTermsFit(n) || !rankedDenominator.keptTermsFit(d))
        return giveUp(Approximation::Outcome::OverMemory);
      std::optional<OwnedPolynomial> keptNumerator = rankedNumerator.keptTerms(n);
      std::optional<OwnedPolynomial> keptDenominator = rankedDenominator.keptTerms(d);
      if (stopped(meter)) return abandoned();
      if (!keptNumerator || !keptDenominator) return result;
      NumericFormula approximate = numericFormula(*keptNumerator, *keptDenominator, assignment.values);
      long double error = grid.error(approximate);
      if (stopped(meter)) return abandoned();
      if (error <= settings.eps) {
        result.outcome = Approximation::Outcome::Simplified;
        result.error = error;
        result.kept = TermCounts{n.kept, d.kept};
        result.numerator = std::move(*keptNumerator);
        result.denominator = std::move(*keptDenominator);
        result.formula = std::move(approximate);
        return result;
      }
    }
    if (quickSearch) {
      // Missed between the points: the search is done again refined.
      quickSearch = false;
      continue;
    }
    high = best->budgetLog - 1e-6L;  // search again below this budget
  }
  return result;
}

}  // namespace velkor
