// An independent modified nodal analysis, in exact rational arithmetic, of a
// netlist at one complex frequency s and one set of element values, and the
// 32 two-port parameters computed from their definitions.
#pragma once

#include <array>
#include <complex>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "crosscheck/big_rational.h"
#include "crosscheck/netlist_model.h"
#include "crosscheck/two_port_rows.h"

namespace velkor::crosscheck {

using Values = std::map<std::string, Rational>;  // element name -> value

// Every (V1, I1, V2, I2) the network allows at its two ports, as a basis of
// that subspace of Q^4. Port voltages run from the + to the - terminal;
// port currents enter the network at the + terminal.
struct PortRelation {
  std::vector<std::array<Rational, 4>> basis;
  // Solutions of the network's equations that leave every port quantity at
  // zero (a floating part, nullators in parallel, ...): the equations are
  // singular whatever is applied at the ports.
  std::size_t internalFreedom = 0;
};

// A parameter at one point. `regular` says that the network's equations
// together with the parameter's two port conditions have exactly one
// solution; `value` is set whenever the parameter's quotient is fixed, which
// may also be the case for singular equations (a port shorted by a nullor
// pair still has v = 0).
struct ParameterValue {
  bool regular = false;
  std::optional<Rational> value;
};

// Sets up and solves the network's equations. Element conventions (each
// element's terminals +out, -out, +in, -in as typed):
//   one-ports      current v/Z from the first to the second node with the
//                  element's impedance Z: R, sL, 1/(sC), 1/G, 1/Y, Z
//   gm             the current gm*v(+in,-in) flows from +out through the
//                  source to -out
//   b              the current b*ic flows from +out through the source to
//                  -out, ic being the current of a short circuit entering
//                  at +in and leaving at -in
//   u              v(+out,-out) = u*v(+in,-in)
//   rm             v(+out,-out) = rm*ic, ic as for b
//   gy             the current entering at +out is gy*v(+in,-in); the
//                  current entering at +in is -gy*v(+out,-out) (each leaves
//                  at the matching - terminal)
//   o              nullor: v(+in) = v(-in), no input current, any output
//                  current from +out through the op-amp to -out
//   m              ideal coupling without self inductance: with i1 the
//                  current entering at +in and i2 the current entering at
//                  +out (each leaving at the matching - terminal),
//                  v(+in,-in) = s*M*i2 and v(+out,-out) = s*M*i1
PortRelation analysePorts(const Netlist& netlist, const Values& values, const Rational& s);

// The parameter of `row` from its definition, with reference impedance z0
// for the waves of the scattering rows.
ParameterValue twoPortParameter(const PortRelation& relation, const TwoPortRow& row, const Rational& z0);

// The reference impedance of the scattering rows for the netlist's n entry:
// 1/Y0 for n 0, Z0 for n 1, 1 otherwise (Y0 and Z0 are looked up in values).
Rational referenceImpedance(const Netlist& netlist, const Values& values);

// The same network in floating point, for comparisons with numeric
// evaluations: the parameter of `row` at a complex s, from the network's
// equations completed by the parameter's two port conditions, solved with
// full pivoting in long double. Nothing when that system is singular.
// `scale` is the size of the largest unknown of the solution, times the
// numerator's weights: the value is exact only to a fraction of it, which
// matters where the true value is 0.
using Complex = std::complex<long double>;
using NumericValues = std::map<std::string, long double>;  // element name, Y0, Z0 -> value
struct NumericParameter {
  Complex value = 0;
  long double scale = 0;
};
std::optional<NumericParameter> numericParameter(const Netlist& netlist, const NumericValues& values, Complex s,
                                        const TwoPortRow& row);

}  // namespace velkor::crosscheck
