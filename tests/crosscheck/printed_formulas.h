// Reads velkor's printed results back: for every netlist of a run, every
// " Function:" block with its heading and its numerator and denominator
// polynomials, and evaluates those polynomials at given symbol values.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "crosscheck/big_rational.h"

namespace velkor::crosscheck {

struct PrintedTerm {
  int power = 0;  // power of s (the group's)
  BigInt coefficient;
  std::vector<std::pair<std::string, int>> symbols;  // name and exponent
};

struct PrintedPolynomial {
  std::vector<PrintedTerm> terms;  // empty for a printed "0"
  // Value with s and every symbol replaced; throws std::out_of_range for a
  // symbol without a value.
  Rational evaluate(const std::map<std::string, Rational>& values, const Rational& s) const;
  std::string toString() const;  // one line, for failure messages
};

struct PrintedFormula {
  std::string heading;  // the line after " Function:"
  char letter = '?';    // the heading's first letter
  PrintedPolynomial numerator;
  PrintedPolynomial denominator;
};

struct PrintedNetlist {
  std::vector<PrintedFormula> formulas;  // in printed order
};

// Splits a run's output at every "input data:" heading and reads the
// " Function:" blocks of each netlist. Lines outside the blocks (echo,
// listings, traces) are ignored; anything unexpected inside a block throws
// std::runtime_error with the offending line.
std::vector<PrintedNetlist> parseRunOutput(const std::string& output);

}  // namespace velkor::crosscheck
