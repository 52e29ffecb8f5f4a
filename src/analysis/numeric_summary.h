// Everything the numbers say about one formula at the run's element values:
// which symbols lack a value, or else the numeric form, the DC behaviour,
// the zeros and the poles. Renderers (text block, JSON, report) show it.
#pragma once

#include <complex>
#include <memory>
#include <string>
#include <vector>

#include "analysis/element_values.h"
#include "analysis/finished_formula.h"
#include "analysis/numeric_formula.h"
#include "analysis/polynomial_roots.h"
#include "numeric/nodal_circuit.h"

namespace velkor {

struct NumericSummary {
  std::string name;                  // the parameter, as requested (g21, s11, ...)
  std::vector<std::string> missing;  // symbols without a value; nothing else is set then
  NumericFormula formula;
  LowFrequencyBehaviour lowFrequency;
  std::vector<PolynomialRoot> zeros;
  std::vector<PolynomialRoot> poles;

  // Set when the numbers come from nodal analysis of the netlist instead of
  // a formula (no formula was generated): `formula` is then empty, and the
  // response, DC behaviour, zeros and poles are the circuit's.
  std::shared_ptr<const NumericCircuit> circuit;
  // Nodal analysis only: the equations are singular for every s, so the
  // parameter is 0/0 and has no numbers.
  bool indeterminate = false;

  bool complete() const { return missing.empty(); }
  bool hasNumbers() const { return complete() && !indeterminate; }
  // The parameter at s = j omega (from the formula or the circuit); NaN
  // components where it is undefined.
  std::complex<long double> atFrequency(long double omega) const;
};

// The nodal engine's roots as the formulas' are listed: a numerically
// repeated root once, with its multiplicity and relative spread.
std::vector<PolynomialRoot> nodalRoots(const std::vector<RootCluster>& clusters);

// The summary of one parameter by nodal analysis.
NumericSummary nodalSummary(std::string name, std::shared_ptr<const NumericCircuit> circuit);

// `symbols` are the formula's symbol names by index.
NumericSummary numericSummary(std::string name, const PolynomialView& numerator, const PolynomialView& denominator,
                              const std::vector<std::string>& symbols, const ElementValues& values);

}  // namespace velkor
