// The lines that state what an approximation is: what was asked (eps, the
// band), what was achieved (the error, the terms kept), or why there is
// none.
#pragma once

#include <string>

#include "analysis/approximation.h"

namespace velkor {

// One or two lines, each starting with a blank like the formula's lines:
//
//  eps 0.05, error 0.04471 over 11.74 Hz to 3.183e+11 Hz
//  kept terms: numerator 2 of 2, denominator 5 of 12
//
// and for an approximation that dropped nothing, or could not be made,
//
//  eps 0.05 over 11.74 Hz to 3.183e+11 Hz: no term can be dropped; the exact formula stands
//  none: no value for rs rpi
//  none: the denominator is 0 at these values
//  none: the formula is in mixed ohm units
std::string approximationText(const Approximation& approximation);

// The same in one line without a leading blank or a line end ("eps 0.05,
// error 0.04471 over 11.74 Hz to 3.183e+11 Hz, kept terms 2 of 2 / 5 of
// 12"), for captions.
std::string approximationCaption(const Approximation& approximation);

}  // namespace velkor
