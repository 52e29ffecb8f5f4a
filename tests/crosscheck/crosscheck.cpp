#include "crosscheck/crosscheck.h"

#include "crosscheck/two_port_rows.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

namespace velkor::crosscheck {

namespace {

int uniform(Random& random, int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random);
}

bool chance(Random& random, int percent) { return uniform(random, 1, 100) <= percent; }

// The prefix with each letter in a random case: the reader ignores case
// in prefixes, while names stay case-sensitive symbols.
std::string randomCase(Random& random, std::string prefix) {
  for (char& c : prefix)
    if (chance(random, 35)) c = static_cast<char>(c - 'a' + 'A');
  return prefix;
}

std::string describeValues(const Values& values, const Rational& s) {
  std::string text = "s=" + s.toString();
  for (const auto& [name, value] : values) text += " " + name + "=" + value.toString();
  return text;
}

// The heading line a row prints with the netlist's typed port labels.
std::string expectedHeading(const Netlist& netlist, const TwoPortRow& row) {
  // The subscript digits: "A21", "a12", "g12", "f21" ...
  std::string word = (row.letter >= 'A' && row.letter <= 'D') || (row.letter >= 'a' && row.letter <= 'd')
                         ? row.alias
                         : row.name;
  auto labels = [&](int port) {
    std::size_t first = port == 1 ? 0 : 2;
    return std::to_string(netlist.ports[first]) + ", " + std::to_string(netlist.ports[first + 1]);
  };
  auto quantity = [&](const PortQuantity& q) {
    const char* text = q.quantity == Quantity::V ? "v" : q.quantity == Quantity::I ? "i" : "-i";
    return std::string(text) + "( " + labels(q.port) + ")";
  };
  std::string heading = std::string(" ") + row.letter + "( " + labels(word[1] - '0') + "; " + labels(word[2] - '0') + ")";
  if (row.scattering) {
    const char* unit = netlist.normalization == 0 ? "Y0" : netlist.normalization == 1 ? "Z0" : "unity";
    return heading + " for " + unit + " normalization";
  }
  return heading + " = " + quantity(row.numerator) + "/" + quantity(row.denominator) + " for " +
         quantity(row.constraint) + "=0";
}

}  // namespace

Rational randomRational(Random& random, int range, bool signed_) {
  BigInt numerator(uniform(random, 1, range));
  BigInt denominator(uniform(random, 1, range));
  if (signed_ && chance(random, 50)) numerator = -numerator;
  return Rational(numerator, denominator);
}

Values randomValues(const Netlist& netlist, Random& random) {
  Values values;
  for (const Element& e : netlist.elements) {
    if (e.kind == ElementKind::OpAmp || values.count(e.name) != 0) continue;
    values[e.name] = randomRational(random, 997, isTwoPort(e.kind));
  }
  values["Y0"] = randomRational(random, 997, false);
  values["Z0"] = randomRational(random, 997, false);
  return values;
}

CheckSummary checkRun(const std::vector<Netlist>& netlists, const std::string& output, int points,
                      std::uint64_t seed) {
  std::vector<PrintedNetlist> printed;
  try {
    printed = parseRunOutput(output);
  } catch (const std::exception& error) {
    CheckSummary summary;
    summary.failures.push_back(std::string("output not readable: ") + error.what());
    return summary;
  }
  return checkRun(netlists, std::move(printed), points, seed);
}

CheckSummary checkRun(const std::vector<Netlist>& netlists, std::vector<PrintedNetlist> printed, int points,
                      std::uint64_t seed) {
  CheckSummary summary;
  // The reader prints its heading once more before it meets the end of input.
  if (printed.size() == netlists.size() + 1 && printed.back().formulas.empty()) printed.pop_back();
  if (printed.size() != netlists.size()) {
    summary.failures.push_back("output holds " + std::to_string(printed.size()) + " netlists, input " +
                               std::to_string(netlists.size()));
    return summary;
  }
  Random random(seed);
  const auto& rows = twoPortRows();
  for (std::size_t n = 0; n < netlists.size(); ++n) {
    const Netlist& netlist = netlists[n];
    std::vector<std::size_t> expectedRows;
    for (std::size_t r = 0; r < 32; ++r)
      if (netlist.requested[r]) expectedRows.push_back(r);
    const auto& formulas = printed[n].formulas;
    if (formulas.size() != expectedRows.size()) {
      summary.failures.push_back("netlist\n" + netlist.text + "prints " + std::to_string(formulas.size()) +
                                 " formulas, requested " + std::to_string(expectedRows.size()));
      continue;
    }
    summary.formulas += static_cast<int>(formulas.size());
    for (int point = 0; point < points; ++point) {
      Values values = randomValues(netlist, random);
      Rational s = randomRational(random, 997, true);
      Rational z0 = referenceImpedance(netlist, values);
      PortRelation relation = analysePorts(netlist, values, s);
      for (std::size_t f = 0; f < formulas.size(); ++f) {
        const TwoPortRow& row = rows[expectedRows[f]];
        const PrintedFormula& formula = formulas[f];
        std::string where = "netlist\n" + netlist.text + "parameter " + row.name + " (" + formula.heading +
                            ")\nprinted " + formula.numerator.toString() + "  /  " +
                            formula.denominator.toString() + "\nat " + describeValues(values, s) + "\n";
        if (point == 0 && formula.heading != expectedHeading(netlist, row)) {
          summary.failures.push_back(where + "heading differs from the requested row's: " +
                                     expectedHeading(netlist, row));
          continue;
        }
        Rational numerator;
        Rational denominator;
        try {
          numerator = formula.numerator.evaluate(values, s);
          denominator = formula.denominator.evaluate(values, s);
        } catch (const std::exception& error) {
          summary.failures.push_back(where + error.what());
          continue;
        }
        ParameterValue expected = twoPortParameter(relation, row, z0);
        ++summary.comparisons;
        if (!expected.regular && denominator.isZero()) {
          // Singular equations: the topological quotient is 0/0 as well.
          ++summary.undefinedSkips;
          continue;
        }
        if (!expected.value) {
          summary.failures.push_back(where + "printed value " + (numerator / denominator).toString() +
                                     " where the parameter is undefined");
        } else if (denominator.isZero()) {
          summary.failures.push_back(where + "printed denominator is 0 (numerator " + numerator.toString() +
                                     "), parameter is " + expected.value->toString());
        } else if (numerator != *expected.value * denominator) {
          summary.failures.push_back(where + "printed value " + (numerator / denominator).toString() +
                                     ", parameter is " + expected.value->toString());
        }
      }
    }
  }
  return summary;
}

Netlist randomNetlist(Random& random, ElementKind mustHave, int normalization, bool allRows,
                      const NetlistShape& shape) {
  Netlist netlist;
  netlist.normalization = normalization;
  int nodeCount = uniform(random, 3, shape.maxNodes);
  std::vector<int> pool;
  for (int label = 1; label <= 40; ++label) pool.push_back(label);
  std::shuffle(pool.begin(), pool.end(), random);
  std::vector<int> labels;
  if (chance(random, 80)) labels.push_back(0);
  while (static_cast<int>(labels.size()) < nodeCount) labels.push_back(pool[labels.size()]);
  std::shuffle(labels.begin(), labels.end(), random);
  auto anyNode = [&] { return labels[static_cast<std::size_t>(uniform(random, 0, nodeCount - 1))]; };
  auto otherNode = [&](int than) {
    int node = anyNode();
    while (node == than) node = anyNode();
    return node;
  };

  int index = 0;
  static const char* const kOnePorts[] = {"r", "l", "c", "g", "y", "z"};
  static const ElementKind kOnePortKinds[] = {ElementKind::Resistor,    ElementKind::Inductor,
                                              ElementKind::Capacitor,   ElementKind::Conductance,
                                              ElementKind::Admittance, ElementKind::Impedance};
  auto addOnePort = [&](int a, int b) {
    int which = uniform(random, 0, 5);
    Element e;
    e.kind = kOnePortKinds[which];
    // Now and then an earlier name again: equal names are one symbol.
    std::vector<std::string> same;
    for (const Element& old : netlist.elements)
      if (old.kind == e.kind) same.push_back(old.name);
    if (!same.empty() && chance(random, 15)) {
      e.name = same[static_cast<std::size_t>(uniform(random, 0, static_cast<int>(same.size()) - 1))];
    } else {
      e.name = randomCase(random, kOnePorts[which]) + std::to_string(++index);
    }
    e.nodes = {a, b, 0, 0};
    netlist.elements.push_back(e);
  };
  // A tree of one-ports keeps the graph connected.
  for (int k = 1; k < nodeCount; ++k) {
    int a = labels[static_cast<std::size_t>(k)];
    int b = labels[static_cast<std::size_t>(uniform(random, 0, k - 1))];
    if (chance(random, 50)) std::swap(a, b);
    addOnePort(a, b);
  }
  int extra = uniform(random, 0, shape.maxExtraOnePorts);
  for (int k = 0; k < extra; ++k) {
    int a = anyNode();
    addOnePort(a, otherNode(a));
  }
  if (chance(random, 4)) {  // a self-loop, which no tree can contain
    int a = anyNode();
    addOnePort(a, a);
  }

  std::vector<ElementKind> twoPorts{mustHave};
  int mutuals = mustHave == ElementKind::Mutual ? 1 : 0;
  for (int k = 1; k < shape.maxTwoPorts; ++k) {
    if (!chance(random, 60)) continue;
    ElementKind next = chance(random, 15) ? mustHave : kTwoPortKinds[uniform(random, 0, 6)];
    // Each mutual inductance brings six nodes and ten edges; keep to one.
    if (next == ElementKind::Mutual && mutuals++ > 0) continue;
    twoPorts.push_back(next);
  }
  std::string previousName;
  for (std::size_t k = 0; k < twoPorts.size(); ++k) {
    ElementKind kind = twoPorts[k];
    Element e;
    e.kind = kind;
    switch (kind) {
      case ElementKind::Transconductor: e.name = randomCase(random, "gm"); break;
      case ElementKind::Gyrator: e.name = randomCase(random, "gy"); break;
      case ElementKind::OpAmp: e.name = randomCase(random, "o"); break;
      case ElementKind::VoltageGain: e.name = randomCase(random, "u"); break;
      case ElementKind::CurrentGain: e.name = randomCase(random, "b"); break;
      case ElementKind::Transresistor: e.name = randomCase(random, "rm"); break;
      case ElementKind::Mutual: e.name = randomCase(random, "m"); break;
      default: throw std::logic_error("not a two-port kind");
    }
    e.name += std::to_string(++index);
    // Two sources of one kind may share their name, and with it their value.
    if (k > 0 && kind == twoPorts[k - 1] && chance(random, 50)) e.name = previousName;
    previousName = e.name;
    int plusOut = anyNode();
    int minusOut = otherNode(plusOut);
    int plusIn = anyNode();
    int minusIn = chance(random, 4) ? plusIn : otherNode(plusIn);  // now and then no control at all
    e.nodes = {plusOut, minusOut, plusIn, minusIn};
    netlist.elements.push_back(e);
  }
  std::shuffle(netlist.elements.begin(), netlist.elements.end(), random);

  int p1 = anyNode();
  int p2 = anyNode();
  if (chance(random, 50) && p1 != labels[0] && p2 != labels[0]) {
    netlist.ports = {p1, labels[0], p2, labels[0]};
  } else {
    netlist.ports = {p1, otherNode(p1), p2, otherNode(p2)};
  }

  netlist.requested.fill(true);
  if (!allRows) {
    for (auto& flag : netlist.requested) flag = chance(random, 25);
  }
  netlist.text = netlistText(netlist);
  return netlist;
}

NumericValues randomElementValues(const Netlist& netlist, Random& random) {
  auto logUniform = [&](long double low, long double high) {
    std::uniform_real_distribution<long double> u(std::log(low), std::log(high));
    return std::exp(u(random));
  };
  NumericValues values;
  for (const Element& e : netlist.elements) {
    long double v = 1;
    switch (e.kind) {
      case ElementKind::Resistor: case ElementKind::Impedance: case ElementKind::Transresistor:
        v = logUniform(100, 1e5L); break;
      case ElementKind::Capacitor: v = logUniform(1e-9L, 1e-6L); break;
      case ElementKind::Inductor: case ElementKind::Mutual: v = logUniform(1e-5L, 1e-2L); break;
      case ElementKind::Conductance: case ElementKind::Admittance: case ElementKind::Transconductor:
      case ElementKind::Gyrator:
        v = logUniform(1e-5L, 1e-2L); break;
      case ElementKind::VoltageGain: case ElementKind::CurrentGain: v = logUniform(0.1L, 100); break;
      case ElementKind::OpAmp: continue;
    }
    if (isTwoPort(e.kind) && std::uniform_int_distribution<int>(0, 1)(random) == 1) v = -v;
    values.emplace(e.name, v);
  }
  values["Y0"] = 0.02L;
  values["Z0"] = 50;
  return values;
}

}  // namespace velkor::crosscheck
