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

// The Bode plot of `responses` (each on `frequenciesHz`), with labelled
// axes, a grid and a legend naming each curve. `title` goes on top.
std::string bodeSvg(const std::vector<long double>& frequenciesHz, const std::vector<FrequencyResponse>& responses,
                    const std::string& title);

// One formula's roots on the map.
struct PoleZeroSet {
  std::string name;
  std::vector<PolynomialRoot> zeros;
  std::vector<PolynomialRoot> poles;
};

// The s-plane in rad/s: poles as crosses, zeros as circles, one colour per
// formula, and a legend. Unreliable roots are left out.
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
