// The nodal engine on a circuit whose equations span many decades: a chain
// of capacitor-coupled common-emitter stages (hybrid-pi transistors at
// 1 mA, capacitors from 100 uF down to 2 pF, a voltage gain of 1e10 and
// more in the middle band), against the exact rational nodal analysis of
// the test code. The pivots of such equations are small beside the largest
// because the gain is high, not because the equations are singular; and
// the same chain with a floating part added is singular for every s.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "analysis/analysis_context.h"
#include "crosscheck/nodal_analysis.h"
#include "input/netlist_reader.h"
#include "numeric/nodal_circuit.h"
#include "support/char_source.h"
#include "support/run_helpers.h"

namespace velkor::crosscheck {
namespace {

// A decimal value as an exact rational: mantissa * 10^exponent.
Rational decimal(std::int64_t mantissa, int exponent) {
  BigInt power = BigInt::parse("1");
  for (int k = 0; k < std::abs(exponent); ++k) power *= BigInt::parse("10");
  return exponent >= 0 ? Rational(BigInt::parse(std::to_string(mantissa)) * power, BigInt::parse("1"))
                       : Rational(BigInt::parse(std::to_string(mantissa)), power);
}

long double toLongDouble(const Rational& r) {
  const std::string text = r.toString();
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return std::strtold(text.c_str(), nullptr);
  return std::strtold(text.substr(0, slash).c_str(), nullptr) / std::strtold(text.substr(slash + 1).c_str(), nullptr);
}

struct Chain {
  std::string netlist;
  Values exact;
};

// `stages` stages as in the reference amplifiers; each stage's values a
// little apart from the others' (k percent), so that no root repeats. With
// `floating`, two nodes that only a transconductance drives hang beside it.
Chain amplifierChain(int stages, bool floating) {
  Chain chain;
  std::string& text = chain.netlist;
  text = "{high-gain chain}\nrs 1 2\n";
  chain.exact["rs"] = decimal(1, 3);
  int base = 2;
  for (int k = 1; k <= stages; ++k) {
    const std::string n = std::to_string(k);
    const int collector = 3 * k + 10, emitter = collector + 1;
    const std::string b = std::to_string(base), c = std::to_string(collector), e = std::to_string(emitter);
    text += "rpi" + n + " " + b + " " + e + "\ncpi" + n + " " + b + " " + e + "\ncmu" + n + " " + b + " " + c + "\n";
    text += "gm" + n + " " + c + " " + e + " " + b + " " + e + "\nro" + n + " " + c + " " + e + "\n";
    text += "rc" + n + " " + c + " 0\nre" + n + " " + e + " 0\nce" + n + " " + e + " 0\nrb" + n + " " + b + " 0\n";
    const std::int64_t spread = 100 + k;  // percent
    chain.exact["rpi" + n] = decimal(25 * spread, 0);
    chain.exact["cpi" + n] = decimal(20 * spread, -14);
    chain.exact["cmu" + n] = decimal(2 * spread, -14);
    chain.exact["gm" + n] = decimal(40 * spread, -5);
    chain.exact["ro" + n] = decimal(1000 * spread, 0);
    chain.exact["rc" + n] = decimal(47 * spread, 0);
    chain.exact["re" + n] = decimal(10 * spread, 0);
    chain.exact["ce" + n] = decimal(spread, -6);
    chain.exact["rb" + n] = decimal(200 * spread, 0);
    if (k < stages) {
      const int next = collector + 2;
      text += "cc" + n + " " + c + " " + std::to_string(next) + "\n";
      chain.exact["cc" + n] = decimal(spread, -8);
      base = next;
    } else {
      text += "rl " + c + " 0\nf 1 0 " + c + " 0\n";
      chain.exact["rl"] = decimal(1, 4);
    }
  }
  if (floating) {
    text += "gmx 60 61 2 0\n";
    chain.exact["gmx"] = decimal(1, -3);
  }
  text += "p g21\nend\n";
  return chain;
}

TEST(NodalEngine, HighGainChainAgainstExactRationalAnalysis) {
  for (const bool floating : {false, true}) {
    const Chain chain = amplifierChain(6, floating);
    StringSource source(chain.netlist);
    StringOutput sink;
    HeapAllocator heap;
    auto ctx = std::make_unique<AnalysisContext>(source, sink, heap);
    ASSERT_EQ(readNetlist(*ctx), 0) << chain.netlist;
    const ValueLookup lookup = [&chain](const std::string& name) -> std::optional<long double> {
      const auto at = chain.exact.find(name);
      if (at == chain.exact.end()) return std::nullopt;
      return toLongDouble(at->second);
    };
    int row = -1;
    for (int r = 0; r < 32; ++r)
      if (ctx->store.requestFlags[r] != 0) row = r;
    ASSERT_GE(row, 0);
    const NumericCircuit circuit(ctx->store, row, lookup);
    const Netlist netlist = readNetlists(chain.netlist).at(0);
    const TwoPortRow& definition = twoPortRows()[static_cast<std::size_t>(findRow("g21"))];
    if (floating) {
      // Singular for every s, and said so: no value, no root, no NaN.
      EXPECT_EQ(circuit.status(), NumericCircuit::Status::Indeterminate);
      EXPECT_FALSE(circuit.value({0, 1e4L}));
      EXPECT_TRUE(circuit.poles().empty());
      EXPECT_GT(analysePorts(netlist, chain.exact, decimal(1, 4)).internalFreedom, 0U);
      continue;
    }
    ASSERT_EQ(circuit.status(), NumericCircuit::Status::Regular);
    long double largest = 0;
    // Real s from below the coupling corners to beyond the transistors'.
    for (int exponent = -1; exponent <= 10; ++exponent) {
      const Rational s = decimal(3, exponent);
      const ParameterValue exact = twoPortParameter(analysePorts(netlist, chain.exact, s), definition, Rational(1));
      ASSERT_TRUE(exact.regular && exact.value) << "s = 3e" << exponent;
      const long double want = toLongDouble(*exact.value);
      const std::optional<std::complex<long double>> got = circuit.value({toLongDouble(s), 0});
      ASSERT_TRUE(got) << "s = 3e" << exponent;
      largest = std::max(largest, std::fabs(want));
      EXPECT_LE(std::abs(*got - want), 1e-14L * std::fabs(want)) << "s = 3e" << exponent << ": " << *got << " vs " << want;
    }
    EXPECT_GT(largest, 1e10L);  // the gain the chain was built for
    // A pole for every capacitor but one per capacitor loop (each coupling
    // closes one through two emitter and base capacitors), all of them in
    // the left half-plane.
    for (const std::complex<double>& pole : circuit.poles()) EXPECT_LT(pole.real(), 0) << pole;
    EXPECT_EQ(circuit.poles().size(), 6U * 3);
  }
}

}  // namespace
}  // namespace velkor::crosscheck
