// The lines that introduce an approximation where a formula is shown: what
// was asked (eps, the band), what was achieved (the error, the terms kept),
// and what follows (the simplified formula, or the exact one and why).
#pragma once

#include <string>

#include "analysis/approximation.h"

namespace velkor {

// One or two lines, each starting with a blank like the formula's lines:
//
//  Approximation: eps 0.05, error 0.04471 over 11.74 Hz to 3.183e+11 Hz
//  kept terms: numerator 2 of 2, denominator 5 of 12
//
// and for an approximation that dropped nothing, or could not be made,
//
//  Approximation: eps 0.05 over 11.74 Hz to 3.183e+11 Hz: no term can be dropped; the exact formula follows
//  Approximation: none, no value for rs rpi; the exact formula follows
//  Approximation: none, the denominator is 0 at these values; the exact formula follows
std::string approximationText(const Approximation& approximation);

// What the approximation is, in one line without a leading blank or a line
// end ("eps 0.05, error 0.04471 over 11.74 Hz to 3.183e+11 Hz, kept terms
// 2 of 2 / 5 of 12"), for captions.
std::string approximationCaption(const Approximation& approximation);

}  // namespace velkor
