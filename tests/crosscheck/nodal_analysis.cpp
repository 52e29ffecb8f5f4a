#include "crosscheck/nodal_analysis.h"

#include <Eigen/LU>
#include <algorithm>
#include <stdexcept>

namespace velkor::crosscheck {

namespace {

using Row = std::vector<Rational>;
using Matrix = std::vector<Row>;

// Reduces `m` to reduced row echelon form in place; returns the pivot column
// of every nonzero row, in row order.
std::vector<std::size_t> reduceRows(Matrix& m, std::size_t columns) {
  std::vector<std::size_t> pivots;
  std::size_t row = 0;
  for (std::size_t col = 0; col < columns && row < m.size(); ++col) {
    std::size_t found = row;
    while (found < m.size() && m[found][col].isZero()) ++found;
    if (found == m.size()) continue;
    std::swap(m[row], m[found]);
    Rational inverse = Rational(1) / m[row][col];
    for (std::size_t c = col; c < m[row].size(); ++c)
      if (!m[row][c].isZero()) m[row][c] *= inverse;
    for (std::size_t other = 0; other < m.size(); ++other) {
      if (other == row || m[other][col].isZero()) continue;
      Rational factor = m[other][col];
      for (std::size_t c = col; c < m[other].size(); ++c)
        if (!m[row][c].isZero()) m[other][c] -= factor * m[row][c];
    }
    pivots.push_back(col);
    ++row;
  }
  return pivots;
}

// A basis of the null space of m (m is reduced in place).
std::vector<Row> nullSpace(Matrix& m, std::size_t columns) {
  std::vector<std::size_t> pivots = reduceRows(m, columns);
  std::vector<bool> isPivot(columns, false);
  for (std::size_t p : pivots) isPivot[p] = true;
  std::vector<Row> basis;
  for (std::size_t free = 0; free < columns; ++free) {
    if (isPivot[free]) continue;
    Row v(columns);
    v[free] = Rational(1);
    for (std::size_t r = 0; r < pivots.size(); ++r) v[pivots[r]] = -m[r][free];
    basis.push_back(std::move(v));
  }
  return basis;
}

bool isZeroScalar(const Rational& x) { return x.isZero(); }
bool isZeroScalar(const Complex& x) { return x == Complex(0); }

template <class Scalar>
class EquationBuilder {
 public:
  EquationBuilder(const Netlist& netlist) {
    std::vector<int> labels;
    for (const Element& e : netlist.elements) {
      int count = isTwoPort(e.kind) ? 4 : 2;
      for (int k = 0; k < count; ++k) labels.push_back(e.nodes[static_cast<std::size_t>(k)]);
    }
    for (int port : netlist.ports) labels.push_back(port);
    std::sort(labels.begin(), labels.end());
    labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
    // Label 0 (or the lowest label) is the datum: it has neither a voltage
    // unknown nor a current-law row; the other rows imply its current law.
    for (std::size_t k = 1; k < labels.size(); ++k) nodeIndex_[labels[k]] = static_cast<int>(k - 1);
    nodeIndex_[labels[0]] = -1;
    nodeUnknowns_ = labels.size() - 1;
    columns_ = nodeUnknowns_;
    rows_.assign(nodeUnknowns_, {});
  }

  std::size_t newCurrent() { return columns_++; }
  std::size_t newEquation() {
    rows_.emplace_back();
    return rows_.size() - 1;
  }
  // Current law: the row of node n sums the currents leaving n through the
  // elements minus the currents fed into n from the ports.
  void leaving(int label, std::size_t column, const Scalar& factor) {
    int node = nodeIndex_.at(label);
    if (node >= 0) add(static_cast<std::size_t>(node), column, factor);
  }
  // factor * (v(plus) - v(minus)) leaves node `at`.
  void leavingByVoltage(int at, int plus, int minus, const Scalar& factor) {
    voltage(nodeIndexRow(at), plus, minus, factor);
  }
  // factor * (v(plus) - v(minus)) added to equation `row`.
  void voltage(std::optional<std::size_t> row, int plus, int minus, const Scalar& factor) {
    if (!row) return;
    int p = nodeIndex_.at(plus);
    int m = nodeIndex_.at(minus);
    if (p >= 0) add(*row, static_cast<std::size_t>(p), factor);
    if (m >= 0) add(*row, static_cast<std::size_t>(m), -factor);
  }
  void add(std::size_t row, std::size_t column, const Scalar& factor) {
    if (isZeroScalar(factor)) return;
    rows_[row].emplace_back(column, factor);
  }
  std::optional<std::size_t> nodeIndexRow(int label) const {
    int node = nodeIndex_.at(label);
    if (node < 0) return std::nullopt;
    return static_cast<std::size_t>(node);
  }

  std::vector<std::vector<Scalar>> dense() const {
    std::vector<std::vector<Scalar>> m(rows_.size(), std::vector<Scalar>(columns_));
    for (std::size_t r = 0; r < rows_.size(); ++r)
      for (const auto& [column, factor] : rows_[r]) m[r][column] += factor;
    return m;
  }
  std::size_t columns() const { return columns_; }

 private:
  std::map<int, int> nodeIndex_;
  std::size_t nodeUnknowns_ = 0;
  std::size_t columns_ = 0;
  std::vector<std::vector<std::pair<std::size_t, Scalar>>> rows_;
};

// A one-port of admittance y between a and b.
template <class Scalar>
void stampAdmittance(EquationBuilder<Scalar>& eq, int a, int b, const Scalar& y) {
  eq.leavingByVoltage(a, a, b, y);
  eq.leavingByVoltage(b, a, b, -y);
}

// A branch current (unknown) leaving `plus` through the element into `minus`.
template <class Scalar>
std::size_t branchCurrent(EquationBuilder<Scalar>& eq, int plus, int minus) {
  std::size_t column = eq.newCurrent();
  eq.leaving(plus, column, Scalar(1));
  eq.leaving(minus, column, Scalar(-1));
  return column;
}

template <class Map>
const typename Map::mapped_type& valueOf(const Map& values, const std::string& name) {
  auto found = values.find(name);
  if (found == values.end()) throw std::out_of_range("no value for element " + name);
  return found->second;
}

// The equations of every element and of the two ports; `portColumns`
// receives the columns of V1, I1, V2 and I2.
template <class Scalar, class Map>
void stampNetwork(EquationBuilder<Scalar>& eq, const Netlist& netlist, const Map& values, const Scalar& s,
                  std::array<std::size_t, 4>& portColumns) {
  for (const Element& e : netlist.elements) {
    const Scalar x = e.kind == ElementKind::OpAmp ? Scalar(0) : Scalar(valueOf(values, e.name));
    int pOut = e.nodes[0], mOut = e.nodes[1], pIn = e.nodes[2], mIn = e.nodes[3];
    switch (e.kind) {
      case ElementKind::Resistor:
      case ElementKind::Impedance:
        stampAdmittance(eq, pOut, mOut, Scalar(1) / x);
        break;
      case ElementKind::Inductor:
        stampAdmittance(eq, pOut, mOut, Scalar(1) / (s * x));
        break;
      case ElementKind::Capacitor:
        stampAdmittance(eq, pOut, mOut, s * x);
        break;
      case ElementKind::Conductance:
      case ElementKind::Admittance:
        stampAdmittance(eq, pOut, mOut, x);
        break;
      case ElementKind::Transconductor:
        eq.leavingByVoltage(pOut, pIn, mIn, x);
        eq.leavingByVoltage(mOut, pIn, mIn, -x);
        break;
      case ElementKind::Gyrator:
        eq.leavingByVoltage(pOut, pIn, mIn, x);
        eq.leavingByVoltage(mOut, pIn, mIn, -x);
        eq.leavingByVoltage(pIn, pOut, mOut, -x);
        eq.leavingByVoltage(mIn, pOut, mOut, x);
        break;
      case ElementKind::OpAmp: {
        branchCurrent(eq, pOut, mOut);
        eq.voltage(eq.newEquation(), pIn, mIn, Scalar(1));
        break;
      }
      case ElementKind::VoltageGain: {
        branchCurrent(eq, pOut, mOut);
        std::size_t row = eq.newEquation();
        eq.voltage(row, pOut, mOut, Scalar(1));
        eq.voltage(row, pIn, mIn, -x);
        break;
      }
      case ElementKind::CurrentGain: {
        std::size_t control = branchCurrent(eq, pIn, mIn);
        eq.voltage(eq.newEquation(), pIn, mIn, Scalar(1));
        eq.leaving(pOut, control, x);
        eq.leaving(mOut, control, -x);
        break;
      }
      case ElementKind::Transresistor: {
        std::size_t control = branchCurrent(eq, pIn, mIn);
        eq.voltage(eq.newEquation(), pIn, mIn, Scalar(1));
        branchCurrent(eq, pOut, mOut);
        std::size_t row = eq.newEquation();
        eq.voltage(row, pOut, mOut, Scalar(1));
        eq.add(row, control, -x);
        break;
      }
      case ElementKind::Mutual: {
        // What the reader's ten-edge model of an m entry amounts to: its two
        // M branches carry admittance 1/(sM); the nullors tie G1 to +in, G6
        // to -in and G2, G4 to -out, so the unit branches carry
        // v(+in,-in) and v(+out,-out), and the unit transconductances copy
        // them across the M branches. The current into +in is then
        // v(+out,-out)/(sM) and the current into +out v(+in,-in)/(sM), each
        // returning at the matching - terminal: an open-circuit impedance
        // matrix [[0, sM], [sM, 0]], coupling without self inductance.
        std::size_t inCurrent = branchCurrent(eq, pIn, mIn);
        std::size_t outCurrent = branchCurrent(eq, pOut, mOut);
        Scalar sm = s * x;
        std::size_t inRow = eq.newEquation();
        eq.voltage(inRow, pIn, mIn, Scalar(1));
        eq.add(inRow, outCurrent, -sm);
        std::size_t outRow = eq.newEquation();
        eq.voltage(outRow, pOut, mOut, Scalar(1));
        eq.add(outRow, inCurrent, -sm);
        break;
      }
    }
  }
  // The ports: current I enters at +, leaves at -; V = v(+) - v(-).
  for (int port = 0; port < 2; ++port) {
    int plus = netlist.ports[static_cast<std::size_t>(2 * port)];
    int minus = netlist.ports[static_cast<std::size_t>(2 * port + 1)];
    std::size_t vColumn = eq.newCurrent();
    std::size_t iColumn = eq.newCurrent();
    eq.leaving(plus, iColumn, Scalar(-1));
    eq.leaving(minus, iColumn, Scalar(1));
    std::size_t row = eq.newEquation();
    eq.add(row, vColumn, Scalar(1));
    eq.voltage(row, plus, minus, Scalar(-1));
    portColumns[static_cast<std::size_t>(2 * port)] = vColumn;
    portColumns[static_cast<std::size_t>(2 * port + 1)] = iColumn;
  }
}

}  // namespace

PortRelation analysePorts(const Netlist& netlist, const Values& values, const Rational& s) {
  EquationBuilder<Rational> eq(netlist);
  std::array<std::size_t, 4> portColumns{};
  stampNetwork(eq, netlist, values, s, portColumns);
  Matrix m = eq.dense();
  std::vector<Row> solutions = nullSpace(m, eq.columns());
  // Project onto (V1, I1, V2, I2) and keep an independent set.
  Matrix projected;
  for (const Row& v : solutions) {
    Row p(4);
    for (std::size_t k = 0; k < 4; ++k) p[k] = v[portColumns[k]];
    projected.push_back(std::move(p));
  }
  std::vector<std::size_t> pivots = reduceRows(projected, 4);
  PortRelation relation;
  relation.internalFreedom = solutions.size() - pivots.size();
  for (std::size_t r = 0; r < pivots.size(); ++r)
    relation.basis.push_back({projected[r][0], projected[r][1], projected[r][2], projected[r][3]});
  return relation;
}

namespace {

// The quantity as a linear form over (V1, I1, V2, I2), scaled by 2 for waves.
template <class Scalar>
std::array<Scalar, 4> linearForm(const PortQuantity& q, const Scalar& z0) {
  std::array<Scalar, 4> form{};
  std::size_t v = q.port == 1 ? 0 : 2;
  switch (q.quantity) {
    case Quantity::V: form[v] = Scalar(1); break;
    case Quantity::I: form[v + 1] = Scalar(1); break;
    case Quantity::MinusI: form[v + 1] = Scalar(-1); break;
    case Quantity::WaveIn: form[v] = Scalar(1); form[v + 1] = z0; break;
    case Quantity::WaveOut: form[v] = Scalar(1); form[v + 1] = -z0; break;
  }
  return form;
}

}  // namespace

ParameterValue twoPortParameter(const PortRelation& relation, const TwoPortRow& row, const Rational& z0) {
  // x = sum of lambda_k * basis_k with constraint(x) = 0 and denominator(x) = 1;
  // the parameter is numerator(x), which must not depend on the choice of lambda.
  std::size_t k = relation.basis.size();
  auto apply = [&](const std::array<Rational, 4>& form, std::size_t b) {
    Rational sum;
    for (std::size_t c = 0; c < 4; ++c)
      if (!form[c].isZero()) sum += form[c] * relation.basis[b][c];
    return sum;
  };
  auto numerator = linearForm(row.numerator, z0);
  auto denominator = linearForm(row.denominator, z0);
  auto constraint = linearForm(row.constraint, z0);
  Matrix system(2, Row(k + 1));
  Row target(k);
  for (std::size_t b = 0; b < k; ++b) {
    system[0][b] = apply(constraint, b);
    system[1][b] = apply(denominator, b);
    target[b] = apply(numerator, b);
  }
  system[1][k] = Rational(1);
  std::vector<std::size_t> pivots = reduceRows(system, k + 1);
  ParameterValue result;
  for (std::size_t p : pivots)
    if (p == k) return result;  // 0 = 1: the constraints cannot be met
  result.regular = relation.internalFreedom == 0 && k == 2 && pivots.size() == 2;
  // Particular solution: free lambdas 0, pivot lambdas from the last column.
  Rational value;
  std::vector<bool> isPivot(k, false);
  for (std::size_t r = 0; r < pivots.size(); ++r) {
    isPivot[pivots[r]] = true;
    value += target[pivots[r]] * system[r][k];
  }
  // Every free direction must leave the numerator unchanged.
  for (std::size_t free = 0; free < k; ++free) {
    if (isPivot[free]) continue;
    Rational change = target[free];
    for (std::size_t r = 0; r < pivots.size(); ++r) change -= target[pivots[r]] * system[r][free];
    if (!change.isZero()) return result;
  }
  result.value = value;
  return result;
}

Rational referenceImpedance(const Netlist& netlist, const Values& values) {
  if (netlist.normalization == 0) return Rational(1) / valueOf(values, "Y0");
  if (netlist.normalization == 1) return valueOf(values, "Z0");
  return Rational(1);
}

std::optional<NumericParameter> numericParameter(const Netlist& netlist, const NumericValues& values, Complex s,
                                        const TwoPortRow& row) {
  EquationBuilder<Complex> eq(netlist);
  std::array<std::size_t, 4> portColumns{};
  stampNetwork(eq, netlist, values, s, portColumns);
  long double z0 = netlist.normalization == 0   ? 1 / valueOf(values, "Y0")
                   : netlist.normalization == 1 ? valueOf(values, "Z0")
                                                : 1.0L;
  // The network's equations leave two port quantities free; the
  // parameter's condition and a unit denominator fix them.
  std::vector<std::vector<Complex>> rows = eq.dense();
  std::size_t n = eq.columns();
  if (rows.size() + 2 != n) return std::nullopt;
  using Matrix = Eigen::Matrix<Complex, Eigen::Dynamic, Eigen::Dynamic>;
  using Vector = Eigen::Matrix<Complex, Eigen::Dynamic, 1>;
  Matrix a = Matrix::Zero(static_cast<Eigen::Index>(n), static_cast<Eigen::Index>(n));
  Vector b = Vector::Zero(static_cast<Eigen::Index>(n));
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < n; ++c) a(static_cast<Eigen::Index>(r), static_cast<Eigen::Index>(c)) = rows[r][c];
  auto constraint = linearForm(row.constraint, Complex(z0));
  auto denominator = linearForm(row.denominator, Complex(z0));
  auto numerator = linearForm(row.numerator, Complex(z0));
  for (std::size_t k = 0; k < 4; ++k) {
    a(static_cast<Eigen::Index>(n - 2), static_cast<Eigen::Index>(portColumns[k])) = constraint[k];
    a(static_cast<Eigen::Index>(n - 1), static_cast<Eigen::Index>(portColumns[k])) = denominator[k];
  }
  b(static_cast<Eigen::Index>(n - 1)) = 1;
  Eigen::FullPivLU<Matrix> lu(a);
  if (!lu.isInvertible()) return std::nullopt;
  Vector x = lu.solve(b);
  NumericParameter result;
  long double largest = x.cwiseAbs().maxCoeff();
  for (std::size_t k = 0; k < 4; ++k) {
    result.value += numerator[k] * x(static_cast<Eigen::Index>(portColumns[k]));
    result.scale += std::abs(numerator[k]) * largest;
  }
  return result;
}

}  // namespace velkor::crosscheck
