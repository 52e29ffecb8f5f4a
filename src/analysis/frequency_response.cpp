#include "analysis/frequency_response.h"

#include <algorithm>
#include <cmath>

#include "model/parameter_table.h"

namespace velkor {

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;

// Refinement of a Bode grid: a midpoint is added where the magnitude there
// is further than this from the straight line between its neighbours (in
// dB on the log axis), or the phase further than kPhaseBend degrees; at
// most kAddedPerPoint points per point of the base grid are added.
constexpr long double kMagnitudeBendDb = 0.05L;
constexpr long double kPhaseBendDeg = 2.0L;
constexpr int kAddedPerPoint = 8;
constexpr int kRefinementPasses = 16;
// A magnitude extremum counts when it stands out from both neighbours by
// more than this (rounding noise on a flat response does not).
constexpr long double kExtremumDb = 1e-6L;
// Golden-section steps that narrow an extremum's bracket (each by 0.618):
// far below any visible or printed difference.
constexpr int kExtremumSteps = 80;

long double magnitudeDbAt(const ResponseAt& response, long double hz) {
  return 20 * std::log10(std::abs(response(2 * kPi * hz)));
}

long double phaseDegAt(const ResponseAt& response, long double hz) {
  return std::arg(response(2 * kPi * hz)) * 180 / kPi;
}

// The difference of two angles in degrees, in [-180, 180).
long double angleDifference(long double a, long double b) {
  long double d = std::fmod(a - b + 180, 360.0L);
  if (d < 0) d += 360;
  return d - 180;
}

// Whether the interval from `a` to `b` (Hz) needs a point in the middle.
bool bends(const std::vector<ResponseAt>& responses, long double a, long double b, long double middle) {
  for (const ResponseAt& formula : responses) {
    long double ma = magnitudeDbAt(formula, a), mb = magnitudeDbAt(formula, b), mm = magnitudeDbAt(formula, middle);
    if (std::isfinite(ma) && std::isfinite(mb) && std::isfinite(mm) &&
        std::fabs(mm - (ma + mb) / 2) > kMagnitudeBendDb)
      return true;
    long double pa = phaseDegAt(formula, a), pb = phaseDegAt(formula, b), pm = phaseDegAt(formula, middle);
    if (std::isfinite(pa) && std::isfinite(pb) && std::isfinite(pm) &&
        std::fabs(angleDifference(pm, pa + angleDifference(pb, pa) / 2)) > kPhaseBendDeg)
      return true;
  }
  return false;
}

// The frequency of the extremum of the magnitude between `a` and `b` (Hz),
// by golden-section search on the log axis; `maximum` says which kind.
long double extremumBetween(const ResponseAt& formula, long double a, long double b, bool maximum) {
  const long double ratio = (std::sqrt(5.0L) - 1) / 2;
  long double lo = std::log10(a), hi = std::log10(b);
  auto value = [&](long double x) {
    long double m = magnitudeDbAt(formula, std::pow(10.0L, x));
    return maximum ? m : -m;
  };
  long double x1 = hi - ratio * (hi - lo), x2 = lo + ratio * (hi - lo);
  long double v1 = value(x1), v2 = value(x2);
  for (int step = 0; step < kExtremumSteps && hi - lo > 1e-15L; ++step) {
    if (v1 >= v2) {
      hi = x2;
      x2 = x1;
      v2 = v1;
      x1 = hi - ratio * (hi - lo);
      v1 = value(x1);
    } else {
      lo = x1;
      x1 = x2;
      v1 = v2;
      x2 = lo + ratio * (hi - lo);
      v2 = value(x2);
    }
  }
  return std::pow(10.0L, (lo + hi) / 2);
}

void sortUnique(std::vector<long double>& grid) {
  std::sort(grid.begin(), grid.end());
  grid.erase(std::unique(grid.begin(), grid.end(),
                         [](long double x, long double y) { return std::fabs(y - x) <= 1e-12L * std::fabs(y); }),
             grid.end());
}

// Where the phase of the response starts: that of gain * (j omega)^power,
// in (-180, 180].
long double lowFrequencyPhase(const LowFrequencyBehaviour& low) {
  long double phase = (low.gain < 0 ? 180 : 0) + 90.0L * static_cast<long double>(low.power % 4);
  phase = std::fmod(phase, 360.0L);
  if (phase < 0) phase += 360;
  return phase > 180 ? phase - 360 : phase;
}

}  // namespace

std::vector<long double> logFrequencyGrid(const FrequencyRange& range) {
  std::vector<long double> grid;
  if (range.points <= 0) return grid;
  long double logFrom = std::log10(range.fromHz);
  long double logTo = std::log10(range.toHz);
  grid.reserve(static_cast<std::size_t>(range.points));
  for (int k = 0; k < range.points; ++k) {
    long double fraction = range.points == 1 ? 0 : static_cast<long double>(k) / (range.points - 1);
    grid.push_back(std::pow(10.0L, logFrom + fraction * (logTo - logFrom)));
  }
  // The ends exactly as asked.
  grid.front() = range.fromHz;
  if (range.points > 1) grid.back() = range.toHz;
  return grid;
}

FrequencyRange defaultFrequencyRange(const std::vector<std::vector<PolynomialRoot>>& roots, int points) {
  long double low = INFINITY, high = 0;
  for (const auto& set : roots)
    for (const PolynomialRoot& root : set) {
      if (!root.reliable) continue;
      long double f = hertz(std::abs(root.value));
      if (!std::isfinite(f) || f <= 0) continue;
      low = std::min(low, f);
      high = std::max(high, f);
    }
  if (high == 0) return FrequencyRange{1.0L, 1e6L, points};
  return FrequencyRange{low / 100, high * 100, points};
}

FrequencyRange frequencyBand(const std::vector<std::vector<PolynomialRoot>>& roots, int points, long double fromHz,
                             long double toHz) {
  FrequencyRange range = defaultFrequencyRange(roots, points);
  if (fromHz > 0) range.fromHz = fromHz;
  if (toHz > 0) range.toHz = toHz;
  if (!(range.fromHz < range.toHz)) {
    if (fromHz > 0)
      range.toHz = range.fromHz * 1e4L;
    else
      range.fromHz = range.toHz / 1e4L;
  }
  return range;
}

std::vector<long double> bodeFrequencyGrid(const FrequencyRange& range,
                                           const std::vector<std::vector<PolynomialRoot>>& roots,
                                           const std::vector<ResponseAt>& formulas, WorkMeter* meter) {
  // False once the meter says stop (a response from nodal analysis costs a
  // solution of the equations, and a signal must not wait for them all).
  auto go = [meter] { return meter == nullptr || (meter->step() && !meter->interrupted()); };
  std::vector<long double> grid = logFrequencyGrid(range);
  if (grid.size() < 2) return grid;
  const long double from = grid.front(), to = grid.back();
  auto add = [&](long double f) {
    if (std::isfinite(f) && f > from && f < to) grid.push_back(f);
  };
  for (const auto& set : roots)
    for (const PolynomialRoot& root : set) {
      add(hertz(std::abs(root.value)));
      if (root.isComplex()) add(hertz(std::fabs(root.value.imag())));
    }
  sortUnique(grid);

  // Midpoints where a curve bends, pass by pass, within the budget.
  const std::size_t budget = grid.size() + static_cast<std::size_t>(kAddedPerPoint) *
                                               static_cast<std::size_t>(std::max(range.points, 1));
  for (int pass = 0; pass < kRefinementPasses && grid.size() < budget; ++pass) {
    std::vector<long double> added;
    for (std::size_t k = 1; k < grid.size() && grid.size() + added.size() < budget; ++k) {
      if (!go()) return grid;
      long double middle = std::sqrt(grid[k - 1] * grid[k]);
      if (middle > grid[k - 1] && middle < grid[k] && bends(formulas, grid[k - 1], grid[k], middle))
        added.push_back(middle);
    }
    if (added.empty()) break;
    grid.insert(grid.end(), added.begin(), added.end());
    sortUnique(grid);
  }

  // The exact frequency of every peak and dip between grid points.
  std::vector<long double> extrema;
  for (const ResponseAt& formula : formulas) {
    std::vector<long double> magnitude;
    magnitude.reserve(grid.size());
    for (long double f : grid) {
      if (!go()) return grid;
      magnitude.push_back(magnitudeDbAt(formula, f));
    }
    for (std::size_t k = 1; k + 1 < grid.size(); ++k) {
      if (!go()) return grid;
      long double here = magnitude[k], before = magnitude[k - 1], after = magnitude[k + 1];
      if (!std::isfinite(here) || !std::isfinite(before) || !std::isfinite(after)) continue;
      if (here - before > kExtremumDb && here - after > -kExtremumDb)
        extrema.push_back(extremumBetween(formula, grid[k - 1], grid[k + 1], true));
      else if (before - here > kExtremumDb && after - here > -kExtremumDb)
        extrema.push_back(extremumBetween(formula, grid[k - 1], grid[k + 1], false));
    }
  }
  for (long double f : extrema) add(f);
  sortUnique(grid);
  return grid;
}

long double startPhaseDeg(const LowFrequencyBehaviour& low) {
  return low.defined && low.gain != 0 ? lowFrequencyPhase(low) : NAN;
}

ResponseUnit responseUnitOf(const std::string& parameter) {
  const int row = findParameter(parameter.c_str());
  if (row < 0 || isScatteringKind(parameterTable[row].kind)) return ResponseUnit::kRatio;
  auto base = [](const char* quantity) { return quantity[0] == '-' ? quantity[1] : quantity[0]; };
  const char numerator = base(parameterTable[row].numeratorQuantity);
  const char denominator = base(parameterTable[row].denominatorQuantity);
  if (numerator == denominator) return ResponseUnit::kRatio;
  return numerator == 'v' ? ResponseUnit::kOhm : ResponseUnit::kSiemens;
}

FrequencyResponse frequencyResponse(const NumericFormula& formula, const std::vector<long double>& frequenciesHz,
                                    std::string name, WorkMeter* meter) {
  return frequencyResponse([&formula](long double omega) { return formula.atFrequency(omega); }, frequenciesHz,
                           std::move(name), startPhaseDeg(formula.lowFrequency()), meter);
}

FrequencyResponse frequencyResponse(const ResponseAt& at,
                                    const std::vector<long double>& frequenciesHz, std::string name,
                                    long double startPhaseDeg, WorkMeter* meter) {
  FrequencyResponse response;
  response.name = std::move(name);
  response.unit = responseUnitOf(response.name);
  response.magnitudeDb.reserve(frequenciesHz.size());
  response.phaseDeg.reserve(frequenciesHz.size());
  long double previous = startPhaseDeg;
  for (long double f : frequenciesHz) {
    if (meter != nullptr && !meter->step()) break;
    std::complex<long double> h = at(2 * kPi * f);
    long double magnitude = std::abs(h);
    long double phase = NAN;
    if (std::isfinite(h.real()) && std::isfinite(h.imag()) && magnitude > 0) {
      phase = std::arg(h) * 180 / kPi;
      if (std::isfinite(previous)) phase -= 360 * std::round((phase - previous) / 360);
      previous = phase;
    }
    response.magnitudeDb.push_back(std::isfinite(magnitude) ? 20 * std::log10(magnitude) : NAN);
    response.phaseDeg.push_back(phase);
  }
  return response;
}

}  // namespace velkor
