// Frequency response of numeric formulas: magnitude in dB and phase in
// degrees on a logarithmic grid of frequencies in Hz, and the default range
// of that grid from the poles and zeros.
#pragma once

#include <cmath>
#include <complex>
#include <functional>
#include <string>
#include <vector>

#include "analysis/numeric_formula.h"
#include "analysis/polynomial_roots.h"
#include "support/work_meter.h"

namespace velkor {

// A response H(j omega) as a function of omega in rad/s: a formula's, or
// the circuit's by nodal analysis when no formula was generated.
using ResponseAt = std::function<std::complex<long double>(long double omega)>;

struct FrequencyRange {
  long double fromHz = 0;
  long double toHz = 0;
  int points = 0;
};

// `points` frequencies from `fromHz` to `toHz` (both included), evenly
// spaced on a log axis. One point gives `fromHz` alone.
std::vector<long double> logFrequencyGrid(const FrequencyRange& range);

// Two decades below the smallest and above the largest nonzero finite
// reliable root among `roots` (rad/s, converted to Hz); 1 Hz to 1 MHz when
// there is none. Unreliable roots do not count: their position is not known.
FrequencyRange defaultFrequencyRange(const std::vector<std::vector<PolynomialRoot>>& roots, int points);

// The range asked for: each end as given (`fromHz`, `toHz`; 0 for an end
// not given) or else by default from `roots`; one end given alone that
// passes the other's default keeps the other four decades away.
FrequencyRange frequencyBand(const std::vector<std::vector<PolynomialRoot>>& roots, int points, long double fromHz,
                             long double toHz);

// The grid of a Bode plot: the `range.points` frequencies of
// logFrequencyGrid(), every pole and zero frequency of `roots` inside the
// band (|root| and, for a complex root, its imaginary part, in Hz), points
// added between neighbours where a response of `formulas` bends more than a
// straight line between them would show (a bounded number), and the exact
// frequency of every local maximum and minimum of a magnitude, so that a
// sharp resonance is drawn at its true height (within 0.01 dB). Ascending,
// without repeats. Each point weighed for refinement is a step of `meter`
// (when given): once it says stop, the grid is returned as it stands.
std::vector<long double> bodeFrequencyGrid(const FrequencyRange& range,
                                           const std::vector<std::vector<PolynomialRoot>>& roots,
                                           const std::vector<ResponseAt>& responses, WorkMeter* meter = nullptr);

// What a parameter's magnitude is measured in: a ratio of like quantities
// (dB), an impedance (dB re 1 ohm) or an admittance (dB re 1 S).
enum class ResponseUnit { kRatio, kOhm, kSiemens };

// The unit of a parameter by its name (g21, z11, B, s21 ...); kRatio for a
// name that is not a parameter.
ResponseUnit responseUnitOf(const std::string& parameter);

// One formula's response on the grid. The phase is unwrapped along the grid
// (no jump larger than 180 degrees between neighbours) from the branch of
// the low-frequency behaviour: at the lowest frequency it lies within 180
// degrees of the phase of gain * (j omega)^power taken in (-180, 180], so
// that an inverting amplifier starts at +180 and every curve follows the
// same convention. Without a low-frequency behaviour (a denominator of 0)
// it starts from the principal value. Where the response is 0 the
// magnitude is -inf dB; where it is undefined both are NaN.
struct FrequencyResponse {
  std::string name;
  bool approximated = false;  // the response of an approximation
  ResponseUnit unit = ResponseUnit::kRatio;
  std::vector<long double> magnitudeDb;
  std::vector<long double> phaseDeg;
};

// Each frequency is a step of `meter` (when given): once it says stop, the
// response ends where it was (shorter than the grid).
FrequencyResponse frequencyResponse(const NumericFormula& formula, const std::vector<long double>& frequenciesHz,
                                    std::string name, WorkMeter* meter = nullptr);
// Where a response's phase starts on the plots: that of its low-frequency
// behaviour gain * (j omega)^power, in (-180, 180]; NaN when it has none.
long double startPhaseDeg(const LowFrequencyBehaviour& low);
// The same for any response H(j omega), omega in rad/s. The phase is
// unwrapped from `startPhaseDeg` (NaN: from the principal value at the
// first frequency).
FrequencyResponse frequencyResponse(const ResponseAt& response,
                                    const std::vector<long double>& frequenciesHz, std::string name,
                                    long double startPhaseDeg = NAN, WorkMeter* meter = nullptr);

}  // namespace velkor
