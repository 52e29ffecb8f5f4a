// Frequency response of numeric formulas: magnitude in dB and phase in
// degrees on a logarithmic grid of frequencies in Hz, and the default range
// of that grid from the poles and zeros.
#pragma once

#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "analysis/numeric_formula.h"
#include "analysis/polynomial_roots.h"

namespace velkor {

struct FrequencyRange {
  long double fromHz = 0;
  long double toHz = 0;
  int points = 0;
};

// `points` frequencies from `fromHz` to `toHz` (both included), evenly
// spaced on a log axis. One point gives `fromHz` alone.
std::vector<long double> logFrequencyGrid(const FrequencyRange& range);

// Two decades below the smallest and above the largest nonzero finite root
// among `roots` (rad/s, converted to Hz); 1 Hz to 1 MHz when there is none.
// Unreliable roots count too: they still tell where the response moves.
FrequencyRange defaultFrequencyRange(const std::vector<std::vector<PolynomialRoot>>& roots, int points);

// The range asked for: each end as given (`fromHz`, `toHz`; 0 for an end
// not given) or else by default from `roots`; one end given alone that
// passes the other's default keeps the other four decades away.
FrequencyRange frequencyBand(const std::vector<std::vector<PolynomialRoot>>& roots, int points, long double fromHz,
                             long double toHz);

// One formula's response on the grid. The phase is unwrapped along the grid
// (no jump larger than 180 degrees between neighbours), starting from the
// principal value at the first frequency. Where the response is 0 the
// magnitude is -inf dB; where it is undefined both are NaN.
struct FrequencyResponse {
  std::string name;
  bool approximated = false;  // the response of an approximation
  std::vector<long double> magnitudeDb;
  std::vector<long double> phaseDeg;
};

FrequencyResponse frequencyResponse(const NumericFormula& formula, const std::vector<long double>& frequenciesHz,
                                    std::string name);
// The same for any response H(j omega), omega in rad/s.
FrequencyResponse frequencyResponse(const std::function<std::complex<long double>(long double)>& response,
                                    const std::vector<long double>& frequenciesHz, std::string name);

}  // namespace velkor
