// One two-port parameter of a netlist at its element values, by modified
// nodal analysis: no formula is involved. The network is read from the
// network store as the reader left it (every element already expanded into
// its passive and active edges), so that the numbers describe exactly the
// network the formulas describe.
//
// Unknowns: the voltage of every node but one datum per connected part, the
// current of every impedance-type edge (r, z, l, m, rm, Z0: v = Z i, so that
// a zero resistance and the inductors' s stay polynomial), the output current
// of every nullor, and the four port quantities V1, I1, V2, I2 (a port
// voltage runs from its + to its - terminal, a port current enters the
// network at its + terminal). Edges:
//   passive  admittance Y (c: sC; g, y: the value; a: 1; Y0: its value) or
//            impedance Z (r, z, rm, Z0: the value; l, m: sL, sM)
//   active   nullor (o): v(+in) = v(-in), any current from +out through it
//            to -out; every other active edge (gm, gy, u, b, and the unit
//            edges a of the expansions) a transconductance: the current
//            g * v(+in, -in) flows from +out through the source to -out
// The parameter adds two rows: its constraint (a port quantity held at 0)
// and its denominator quantity set to 1; the value is then its numerator
// quantity. The scattering rows use the waves a = (V + Z0 I)/2 and
// b = (V - Z0 I)/2 with Z0 = 1/Y0, Z0 or 1 by the netlist's normalization.
//
// So the parameter is H(s) = n' (G + sC)^-1 e, with real matrices G and C.
// Its poles are the finite generalized eigenvalues of the pencil (G, C), its
// zeros those of the pencil bordered by e and n': no polynomial is formed,
// so the roots stay accurate where a polynomial's coefficients would span
// hundreds of decades.
#pragma once

#include <complex>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "numeric/root_clusters.h"

namespace velkor {

struct NetworkStore;

// An element's value by its symbol name (as printed in formulas; also Y0 and
// Z0), or nothing when it has none.
using ValueLookup = std::function<std::optional<long double>(const std::string& name)>;

class NumericCircuit {
 public:
  // Why a parameter has no value at all at the element values.
  enum class Status {
    Regular,        // the equations fix the parameter for almost every s
    MissingValues,  // symbols without a value (missing()); nothing else is set
    Indeterminate,  // the equations are singular for every s: the parameter is 0/0
  };

  // The parameter of parameter-table row `parameter` (0 .. 31) of the
  // network in `store` (before any scattering embedding), with its values
  // from `values`. The circuit keeps its own copy of everything it needs.
  NumericCircuit(const NetworkStore& store, int parameter, const ValueLookup& values);

  Status status() const { return status_; }
  const std::vector<std::string>& missing() const { return missing_; }
  int parameter() const { return parameter_; }

  // H(s). When the equations are singular at this s (a pole, or an
  // indeterminate parameter) the result is nothing; a value that is zero
  // within rounding is returned as exactly 0.
  std::optional<std::complex<long double>> value(std::complex<long double> s) const;
  // H(s) with the size of the solution it came from (the largest unknown
  // times the numerator's weights): rounding leaves the value uncertain by
  // a small multiple of 1e-18 of that size, which matters where H is near 0.
  struct Point {
    std::complex<long double> value;
    long double scale = 0;
  };
  std::optional<Point> solve(std::complex<long double> s) const;
  // H(s) in double; NaN components where value() gives nothing.
  std::complex<double> response(std::complex<double> s) const;
  std::complex<double> atFrequency(double omega) const { return response({0.0, omega}); }

  // True when H is identically 0 (the numerator vanishes for every s).
  bool isZero() const { return zero_; }

  // Finite poles and zeros in rad/s, each numerically repeated root once
  // with its multiplicity (see root_clusters.h): the one at the origin
  // (after a power of s common to both has cancelled), then the real ones
  // by ascending magnitude, then the complex pairs (negative imaginary part
  // first, exactly conjugate) by ascending magnitude. A root far out that
  // the response does not confirm (the argument of H does not turn about
  // it) is an infinite one the deflation left, and is dropped. Empty unless
  // status() is Regular. Worked out on first use.
  const std::vector<RootCluster>& poleClusters() const;
  const std::vector<RootCluster>& zeroClusters() const;
  // The same with every root as many times as it counts.
  const std::vector<std::complex<double>>& poles() const;
  const std::vector<std::complex<double>>& zeros() const;

  // A typical |s| of the network (rad/s): the geometric mean of its
  // reactive elements' corner frequencies against a typical conductance.
  long double frequencyScale() const { return frequencyScale_; }
  // Every element name whose value the circuit looked up.
  const std::vector<std::string>& names() const { return names_; }

  // The size of the equations (for tests and progress).
  int unknowns() const { return static_cast<int>(rows_); }

 private:
  struct Entry {
    std::size_t row, column;
    long double g, c;  // value of G and C at (row, column)
  };

  // b - (G + sC) x for the unscaled x (x times columnScale), b the drive.
  std::vector<std::complex<long double>> residual(std::complex<long double> s, const std::complex<long double>* x,
                                                  const std::vector<long double>& columnScale) const;
  void build(const NetworkStore& store, const ValueLookup& values);
  void analyse();
  void findRoots() const;
  // The number of times the argument of H turns about the circle of
  // `radius` around `centre` (units of the frequency scale): the zeros
  // minus the poles inside; nothing when H is not defined on the circle or
  // turns too fast there to follow.
  std::optional<int> winding(std::complex<long double> centre, long double radius) const;

  int parameter_ = 0;
  Status status_ = Status::Regular;
  std::vector<std::string> missing_;
  std::vector<std::string> names_;
  std::size_t rows_ = 0;
  std::vector<Entry> entries_;
  std::size_t driveRow_ = 0;                                // e: a 1 in this row
  std::vector<std::pair<std::size_t, long double>> output_;  // n: the numerator's weights
  long double frequencyScale_ = 1;                           // a typical |s| of the network
  bool zero_ = false;
  bool regularityKnown_ = false;  // analyse() has run
  mutable bool rootsFound_ = false;
  mutable std::vector<RootCluster> poleClusters_;
  mutable std::vector<RootCluster> zeroClusters_;
  mutable std::vector<std::complex<double>> poles_;
  mutable std::vector<std::complex<double>> zeros_;
};

}  // namespace velkor
