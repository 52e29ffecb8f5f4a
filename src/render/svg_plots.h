// Plots as stand-alone SVG documents, drawn by the program itself: the Bode
// plot (magnitude in dB and phase in degrees over a logarithmic frequency
// axis, one curve per formula) and the pole-zero map. Both scale to their
// container (viewBox), so the report can inline them.
#pragma once

#include <string>
#include <vector>

#include "analysis/frequency_response.h"
#include "analysis/numeric_summary.h"

namespace velkor {

// The Bode plot of `responses` (each on `frequenciesHz`): one magnitude
// panel per unit among them (dB, dB re 1 ohm, dB re 1 S) with room above
// the highest curve, then the phase with ticks at multiples of 45 degrees;
// a grid, a legend naming each curve drawn, `title` on top (cut to the
// width). Each frame carries its axis ranges as data-x-min, data-x-max
// (log10 Hz), data-y-min and data-y-max, for checks that read the drawing.
std::string bodeSvg(const std::vector<long double>& frequenciesHz, const std::vector<FrequencyResponse>& responses,
                    const std::string& title);

// One formula's roots on the map.
struct PoleZeroSet {
  std::string name;
  std::vector<PolynomialRoot> zeros;
  std::vector<PolynomialRoot> poles;
};

// The s-plane in log radius: each root at its angle, at a distance from the
// centre that grows with log10 |s| (one circle a decade, roots at the
// origin in the centre), so that roots many decades apart are all seen.
// Poles as crosses, zeros as circles, one colour per formula, unreliable
// roots faded; each root has a <title> (value, frequency, Q) shown on hover
// and data-re, data-im attributes; a legend names each formula.
std::string poleZeroSvg(const std::vector<PoleZeroSet>& sets, const std::string& title);

// Text with &, <, > and quotes escaped for XML and HTML.
std::string escapeXml(const std::string& text);

// A value in engineering notation with at most `digits` significant digits
// and an SI prefix from f to T: "4.7k", "22.508n", "100m"; outside that
// range as formatNumber() writes it.
std::string engineering(long double value, int digits = 6);

// A value with an SI prefix for axis labels: "100m", "1k", "2.5M".
std::string siLabel(long double value);

}  // namespace velkor
