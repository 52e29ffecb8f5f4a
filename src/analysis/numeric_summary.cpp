#include "analysis/numeric_summary.h"

#include <algorithm>
#include <cmath>

namespace velkor {

NumericSummary numericSummary(std::string name, const PolynomialView& numerator, const PolynomialView& denominator,
                              const std::vector<std::string>& symbols, const ElementValues& values) {
  NumericSummary summary;
  summary.name = std::move(name);
  SymbolAssignment assignment = assignSymbols(symbols, values);
  if (!assignment.complete()) {
    // Only the symbols that the formula's terms use count as missing.
    std::vector<bool> used(symbols.size(), false);
    auto mark = [&](const TermView& term) {
      for (int f = 0; f < term.factorCount; ++f) used[static_cast<std::size_t>(term.factors[f].symbol)] = true;
    };
    numerator.forEachTerm(mark);
    denominator.forEachTerm(mark);
    for (std::size_t k = 0; k < symbols.size(); ++k)
      if (used[k] && !values.find(symbols[k])) summary.missing.push_back(symbols[k]);
    if (!summary.missing.empty()) return summary;
  }
  summary.formula = numericFormula(numerator, denominator, assignment.values);
  summary.lowFrequency = summary.formula.lowFrequency();
  summary.zeros = polynomialRoots(summary.formula.numerator);
  summary.poles = polynomialRoots(summary.formula.denominator);
  return summary;
}

std::complex<long double> NumericSummary::atFrequency(long double omega) const {
  if (!circuit) return formula.atFrequency(omega);
  if (const std::optional<std::complex<long double>> h = circuit->value({0.0L, omega})) return *h;
  return {NAN, NAN};
}

namespace {

// The DC behaviour H ~ gain s^power from the roots at the origin and the
// value at an s a thousand times below every other root, corrected by the
// factors of those roots: H(s0) / s0^power = gain * prod (1 - s0/z) /
// prod (1 - s0/p). Far lower an s would leave H = gain s^power below the
// rounding of the solution when the power is high (five coupling
// capacitors), and the gain would be noise.
LowFrequencyBehaviour lowFrequencyOf(const NumericCircuit& circuit, const std::vector<PolynomialRoot>& zeros,
                                     const std::vector<PolynomialRoot>& poles) {
  LowFrequencyBehaviour low;
  if (circuit.isZero()) {
    low.defined = true;
    return low;
  }
  long double smallest = INFINITY;
  int power = 0;
  for (const auto* roots : {&zeros, &poles})
    for (const PolynomialRoot& root : *roots) {
      if (root.value == std::complex<long double>(0)) power += (roots == &zeros ? 1 : -1) * root.multiplicity;
      else smallest = std::min(smallest, std::abs(root.value));
    }
  const long double s = power == 0 ? 0.0L : (std::isfinite(smallest) ? smallest : 1.0L) * 1e-3L;
  const std::optional<std::complex<long double>> h = circuit.value({s, 0});
  if (!h) return low;
  std::complex<long double> gain = *h / std::pow(s, static_cast<long double>(power));
  if (s != 0) {
    for (const PolynomialRoot& z : zeros)
      if (z.value != std::complex<long double>(0))
        gain /= std::pow(1.0L - s / z.value, static_cast<long double>(z.multiplicity));
    for (const PolynomialRoot& p : poles)
      if (p.value != std::complex<long double>(0))
        gain *= std::pow(1.0L - s / p.value, static_cast<long double>(p.multiplicity));
  }
  low.defined = true;
  low.power = power;
  low.gain = gain.real();
  return low;
}

}  // namespace

std::vector<PolynomialRoot> nodalRoots(const std::vector<RootCluster>& clusters) {
  std::vector<PolynomialRoot> roots;
  for (const RootCluster& c : clusters) {
    const long double size = std::abs(c.value);
    roots.push_back({c.value, 0, true, c.multiplicity, size > 0 ? c.spread / size : 0});
  }
  return roots;
}

NumericSummary nodalSummary(std::string name, std::shared_ptr<const NumericCircuit> circuit) {
  NumericSummary summary;
  summary.name = std::move(name);
  summary.missing = circuit->missing();
  summary.indeterminate = circuit->status() == NumericCircuit::Status::Indeterminate;
  if (summary.hasNumbers()) {
    summary.zeros = nodalRoots(circuit->zeroClusters());
    summary.poles = nodalRoots(circuit->poleClusters());
    summary.lowFrequency = lowFrequencyOf(*circuit, summary.zeros, summary.poles);
  }
  summary.circuit = std::move(circuit);
  return summary;
}

}  // namespace velkor
