#include "render/bode_csv.h"

#include <cmath>
#include <cstdio>

namespace velkor {

namespace {

void field(std::string& out, long double value) {
  out += ',';
  if (!std::isfinite(value)) return;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.10Lg", value);
  out += buffer;
}

}  // namespace

std::string bodeCsv(const std::vector<long double>& frequenciesHz, const std::vector<FrequencyResponse>& responses) {
  std::string out = "frequency_Hz";
  for (const FrequencyResponse& r : responses) out += "," + r.name + "_magnitude_dB," + r.name + "_phase_deg";
  out += '\n';
  for (std::size_t k = 0; k < frequenciesHz.size(); ++k) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.10Lg", frequenciesHz[k]);
    out += buffer;
    for (const FrequencyResponse& r : responses) {
      field(out, r.magnitudeDb[k]);
      field(out, r.phaseDeg[k]);
    }
    out += '\n';
  }
  return out;
}

}  // namespace velkor
