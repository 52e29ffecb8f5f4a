// Bode data as CSV: a header line, then one line per frequency: the
// frequency in Hz, then magnitude (dB) and phase (degrees) of each response
// in the given order. A value that is not finite (a response of 0, or an
// undefined one) is an empty field.
#pragma once

#include <string>
#include <vector>

#include "analysis/frequency_response.h"

namespace velkor {

std::string bodeCsv(const std::vector<long double>& frequenciesHz, const std::vector<FrequencyResponse>& responses);

}  // namespace velkor
