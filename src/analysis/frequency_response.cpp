#include "analysis/frequency_response.h"

#include <algorithm>
#include <cmath>

namespace velkor {

namespace {
constexpr long double kPi = 3.14159265358979323846264338327950288L;
}

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

FrequencyResponse frequencyResponse(const NumericFormula& formula, const std::vector<long double>& frequenciesHz,
                                    std::string name) {
  return frequencyResponse([&formula](long double omega) { return formula.atFrequency(omega); }, frequenciesHz,
                           std::move(name));
}

FrequencyResponse frequencyResponse(const std::function<std::complex<long double>(long double)>& at,
                                    const std::vector<long double>& frequenciesHz, std::string name) {
  FrequencyResponse response;
  response.name = std::move(name);
  response.magnitudeDb.reserve(frequenciesHz.size());
  response.phaseDeg.reserve(frequenciesHz.size());
  long double previous = NAN;
  for (long double f : frequenciesHz) {
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
