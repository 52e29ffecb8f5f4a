// Every element kind's convention as the manual page and the README state
// it (their element section), checked twice at random exact points: against
// the independent nodal analysis, and against the formulas velkor prints
// for the same netlist. A row's netlist is the element alone with its ports
// across its terminals, or one of the two worked examples.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "crosscheck/crosscheck.h"
#include "driver/program_driver.h"

namespace velkor::crosscheck {
namespace {

// A parameter's value as the documentation states it, from the element
// values and s.
using Stated = std::function<Rational(const Values&, const Rational&)>;

struct Convention {
  const char* what;
  const char* netlist;  // elements and the f entry
  std::vector<std::pair<const char*, Stated>> stated;
};

// The value of `name` in `v`.
Rational at(const Values& v, const char* name) { return v.at(name); }

Stated zero() {
  return [](const Values&, const Rational&) { return Rational(0); };
}
Stated one() {
  return [](const Values&, const Rational&) { return Rational(1); };
}
// The element value itself, or its negative.
Stated value(const char* name, int sign = 1) {
  return [name, sign](const Values& v, const Rational&) { return Rational(sign) * at(v, name); };
}
// s times the value: the impedance of an inductance, the coupling of an m.
Stated sTimes(const char* name) {
  return [name](const Values& v, const Rational& s) { return s * at(v, name); };
}

const std::vector<Convention>& conventions() {
  static const std::vector<Convention> table = {
      // One-ports: the impedance between their two nodes.
      {"r: resistance", "r1 1 2\nf 1 2 1 2\n", {{"z11", value("r1")}}},
      {"l: inductance, impedance s*l", "l1 1 2\nf 1 2 1 2\n", {{"z11", sTimes("l1")}}},
      {"c: capacitance, admittance s*c", "c1 1 2\nf 1 2 1 2\n",
       {{"z11", [](const Values& v, const Rational& s) { return Rational(1) / (s * at(v, "c1")); }}}},
      {"g: conductance", "g1 1 2\nf 1 2 1 2\n",
       {{"z11", [](const Values& v, const Rational&) { return Rational(1) / at(v, "g1"); }}}},
      {"y: admittance", "y1 1 2\nf 1 2 1 2\n",
       {{"z11", [](const Values& v, const Rational&) { return Rational(1) / at(v, "y1"); }}}},
      {"z: impedance", "z1 1 2\nf 1 2 1 2\n", {{"z11", value("z1")}}},
      // Controlled sources: input at port 1, output at port 2.
      {"gm: i into +out = gm v(+in,-in)", "gm 2 0 1 0\nf 1 0 2 0\n",
       {{"y11", zero()}, {"y12", zero()}, {"y21", value("gm")}, {"y22", zero()}}},
      {"u: v(+out,-out) = u v(+in,-in)", "u 2 0 1 0\nf 1 0 2 0\n",
       {{"g11", zero()}, {"g12", zero()}, {"g21", value("u")}, {"g22", zero()}}},
      {"b: i into +out = b i into +in, input shorted", "b 2 0 1 0\nf 1 0 2 0\n",
       {{"h11", zero()}, {"h12", zero()}, {"h21", value("b")}, {"h22", zero()}}},
      {"rm: v(+out,-out) = rm i into +in, input shorted", "rm 2 0 1 0\nf 1 0 2 0\n",
       {{"z11", zero()}, {"z12", zero()}, {"z21", value("rm")}, {"z22", zero()}}},
      // The op-amp as a voltage follower, either way round.
      {"o: nullor, a follower", "o 2 0 1 2\nf 1 0 2 0\n",
       {{"g11", zero()}, {"g12", zero()}, {"g21", one()}, {"g22", zero()}}},
      {"o: nullor, inputs and outputs swapped", "o 0 2 2 1\nf 1 0 2 0\n", {{"g11", zero()}, {"g21", one()}}},
      // The gyrator: port 1 at +out -out, port 2 at +in -in.
      {"gy: y12 = gy, y21 = -gy", "gy 1 7 2 7\nf 1 7 2 7\n",
       {{"y11", zero()}, {"y12", value("gy")}, {"y21", value("gy", -1)}, {"y22", zero()}}},
      {"gy written the other way: y12 = -gy, y21 = gy", "gy 2 7 1 7\nf 1 7 2 7\n",
       {{"y12", value("gy", -1)}, {"y21", value("gy")}}},
      // The manual's gyrator of two ideal op-amps turns the other way.
      {"op-amp gyrator: y12 = -g1, y21 = g1",
       "r1 4 7\nr1 3 4\nr1 5 6\nr1 3 6\ng1 1 3\ng1 1 2\ng1 5 2\no 3 7 1 4\no 5 7 2 6\nf 1 7 2 7\n",
       {{"y11", zero()}, {"y12", value("g1", -1)}, {"y21", value("g1")}, {"y22", zero()}}},
      // The mutual inductance alone, and the transformer written l + m + l.
      {"m: z12 = z21 = s*m, no self-inductance", "m 2 0 1 0\nf 1 0 2 0\n",
       {{"z11", zero()}, {"z12", sTimes("m")}, {"z21", sTimes("m")}, {"z22", zero()}}},
      {"transformer: l1 + m + l2", "l1 1 3\nm 4 0 3 0\nl2 2 4\nf 1 0 2 0\n",
       {{"z11", sTimes("l1")}, {"z12", sTimes("m")}, {"z21", sTimes("m")}, {"z22", sTimes("l2")}}},
  };
  return table;
}

TEST(ElementConventions, AsDocumentedAgreeWithTheNodalAnalysisAndThePrintedFormulas) {
  Random random(26);
  for (const Convention& c : conventions()) {
    std::string input = c.netlist;
    for (const auto& [name, stated] : c.stated) input += std::string("p ") + name + "\n";
    input += "end\n";
    const std::vector<Netlist> netlists = readNetlists(input);
    ASSERT_EQ(netlists.size(), 1u) << c.what;
    const std::vector<PrintedNetlist> printed = parseRunOutput(runOnString(input));
    ASSERT_GE(printed.size(), 1u) << c.what;  // and the empty netlist after the end
    ASSERT_EQ(printed[0].formulas.size(), c.stated.size()) << c.what;
    // The formulas come in the order of the parameter table.
    std::vector<std::pair<int, std::size_t>> order;
    for (std::size_t k = 0; k < c.stated.size(); ++k) order.emplace_back(findRow(c.stated[k].first), k);
    std::sort(order.begin(), order.end());
    std::vector<const PrintedFormula*> formulaOf(c.stated.size());
    for (std::size_t j = 0; j < order.size(); ++j) {
      formulaOf[order[j].second] = &printed[0].formulas[j];
      EXPECT_EQ(printed[0].formulas[j].letter, c.stated[order[j].second].first[0]) << c.what;
    }
    for (int point = 0; point < 3; ++point) {
      const Values values = randomValues(netlists[0], random);
      const Rational s = randomRational(random, 97, true);
      const PortRelation relation = analysePorts(netlists[0], values, s);
      for (std::size_t k = 0; k < c.stated.size(); ++k) {
        const auto& [name, stated] = c.stated[k];
        const Rational expected = stated(values, s);
        const int row = findRow(name);
        ASSERT_GE(row, 0) << name;
        const ParameterValue nodal =
            twoPortParameter(relation, twoPortRows()[static_cast<std::size_t>(row)], Rational(1));
        ASSERT_TRUE(nodal.value.has_value()) << c.what << ": " << name << " undefined in the nodal analysis";
        EXPECT_EQ(nodal.value->toString(), expected.toString()) << c.what << ": " << name << " (nodal analysis)";
        const PrintedFormula& formula = *formulaOf[k];
        const Rational denominator = formula.denominator.evaluate(values, s);
        ASSERT_FALSE(denominator.isZero()) << c.what << ": " << name << " printed with a zero denominator";
        EXPECT_EQ((formula.numerator.evaluate(values, s) / denominator).toString(), expected.toString())
            << c.what << ": " << name << " (printed formula " << formula.numerator.toString() << " / "
            << formula.denominator.toString() << ")";
      }
    }
  }
}

}  // namespace
}  // namespace velkor::crosscheck
